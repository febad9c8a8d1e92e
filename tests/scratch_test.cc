// The tests' folders: each new, under $TMPDIR, and gone with everything in it
// once its test ends, passed or failed.
#include "tests/scratch.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/process.h"

namespace {

namespace fs = std::filesystem;

TEST(HarnessScratchFolderTest, RemoveTakesEverythingInItButNothingItLinksTo) {
  const std::string outside = scratch::Folder();
  testproc::WriteFile(outside + "/kept", "kept");
  const std::string folder = scratch::Folder();
  fs::create_directories(folder + "/a/b");
  testproc::WriteFile(folder + "/a/b/file", "gone");
  fs::create_directory_symlink(outside, folder + "/a/link");
  EXPECT_TRUE(scratch::Remove(folder));
  EXPECT_FALSE(fs::exists(fs::symlink_status(folder)));
  EXPECT_EQ(testproc::ReadFile(outside + "/kept"), "kept");
}

// Run one after the other in a program of their own by the test below, never
// by CTest: the first makes a folder, and fails when told to; the second finds
// it gone.
std::string probeFolder;

TEST(ScratchFolderProbe, MakesAFolder) {
  probeFolder = scratch::Folder();
  testproc::WriteFile(probeFolder + "/file", "left?");
  std::printf("made %s\n", probeFolder.c_str());
  EXPECT_EQ(std::getenv("WAVRIX_SCRATCH_PROBE_FAILS"), nullptr) << "failing as told";
}

TEST(ScratchFolderProbe, FindsTheFirstOnesFolderGone) {
  if (probeFolder.empty()) {
    GTEST_SKIP() << "runs after ScratchFolderProbe.MakesAFolder";
  }
  EXPECT_FALSE(fs::exists(probeFolder));
}

TEST(HarnessScratchFolderTest, IsNewUnderTmpdirAndGoneOnceItsTestEndsPassedOrFailed) {
  const std::string self = fs::read_symlink("/proc/self/exe");
  std::vector<std::string> made;
  for (const bool fails : {false, true}) {
    SCOPED_TRACE(fails ? "a failed test" : "a passed test");
    const std::string tmpdir = scratch::Folder();
    std::vector<std::string> argv = {"env", "TMPDIR=" + tmpdir};
    if (fails) {
      argv.emplace_back("WAVRIX_SCRATCH_PROBE_FAILS=1");
    }
    argv.insert(argv.end(), {self, "--gtest_filter=ScratchFolderProbe.*"});
    const testproc::Result run = testproc::Run(argv, {}, tmpdir);
    EXPECT_EQ(run.exitCode, fails ? 1 : 0) << run.out;
    EXPECT_NE(run.out.find("[       OK ] ScratchFolderProbe.FindsTheFirstOnesFolderGone"),
              std::string::npos)
        << run.out;
    std::smatch folder;
    ASSERT_TRUE(std::regex_search(run.out, folder, std::regex("made (\\S+)"))) << run.out;
    made.push_back(fs::path(folder[1].str()).filename());
    EXPECT_EQ(fs::path(folder[1].str()).parent_path(), tmpdir);
    EXPECT_TRUE(fs::is_empty(tmpdir)) << "left in " << tmpdir;
  }
  EXPECT_NE(made.front(), made.back());
}

}  // namespace
