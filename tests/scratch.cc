#include "tests/scratch.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "gtest/gtest.h"

namespace scratch {
namespace {

// The folders made and not yet removed. Each remembers the process that made
// it: a forked child that exits (a death test, a run that failed to start)
// must not remove its parent's.
struct Made {
  std::string path;
  pid_t owner;
  bool ofATest;  ///< made inside a test, so removed when that test ends
};

class Registry {
 public:
  // When the program ends, whatever is left goes, a test runner's or not.
  ~Registry() { RemoveAll(false); }

  void Add(const Made& made) { made_.push_back(made); }

  void Forget(const std::string& path) {
    std::erase_if(made_, [&](const Made& m) { return m.path == path; });
  }

  /// Removes this process's folders; with `testsOnly`, those made in a test.
  void RemoveAll(bool testsOnly) {
    std::vector<Made> kept;
    for (const Made& m : made_) {
      if (m.owner == getpid() && (m.ofATest || !testsOnly)) {
        std::error_code ignored;
        std::filesystem::remove_all(m.path, ignored);
      } else {
        kept.push_back(m);
      }
    }
    made_.swap(kept);
  }

 private:
  std::vector<Made> made_;
};

Registry& Folders() {
  static Registry folders;
  return folders;
}

// A failed test's folder goes too: what it held is in the failure message,
// or can be made again by running the test alone.
class RemoveWhenTheTestEnds : public ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo&) override { Folders().RemoveAll(true); }
};

// Registered as the program starts, before gtest_main runs any test.
[[maybe_unused]] const bool kRegistered = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new RemoveWhenTheTestEnds);
  return true;
}();

}  // namespace

std::string Base() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string base = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
  while (base.size() > 1 && base.back() == '/') {
    base.pop_back();
  }
  return base;
}

std::string Folder() {
  std::string path = Base() + "/wavrix_test_XXXXXX";
  if (mkdtemp(path.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "cannot make a folder in " + Base());
  }
  const bool inATest = ::testing::UnitTest::GetInstance()->current_test_info() != nullptr;
  Folders().Add({path, getpid(), inATest});
  return path;
}

bool Remove(const std::string& path) {
  Folders().Forget(path);
  std::error_code error;
  std::filesystem::remove_all(path, error);
  return !std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

}  // namespace scratch
