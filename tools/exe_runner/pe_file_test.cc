// The reader of program files, on a small image made here and on copies of
// it broken one field at a time or cut short. Each copy ends where an
// unreadable page begins, so that a read past its end stops the test.
#include "tools/exe_runner/pe_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "gtest/gtest.h"

namespace {

constexpr uint32_t kPe = 0x40;
constexpr uint32_t kOptional = kPe + 24;
constexpr uint32_t kOptionalSize = 96 + 16 * 8;
constexpr uint32_t kSectionTable = kOptional + kOptionalSize;
constexpr uint32_t kRaw = 0x200;   // file offset of the one section, the resources
constexpr uint32_t kRva = 0x1000;  // and its address in the image
constexpr uint32_t kResourceBytes = 0x8D;
constexpr uint32_t kTimeStamp = 0x5F5E1000;

struct Put {
  uint32_t offset;
  uint32_t width;
  uint32_t value;
};

// Two manifests (type 24), names 1 and 2, each in one language; the second's
// data are the file's last bytes.
const Put kImage[] = {
    {0, 2, 0x5A4D},
    {0x3C, 4, kPe},
    {kPe, 4, 0x4550},
    {kPe + 4, 2, 0x14C},
    {kPe + 6, 2, 1},
    {kPe + 8, 4, kTimeStamp},
    {kPe + 20, 2, kOptionalSize},
    {kOptional, 2, 0x10B},
    {kOptional + 16, 4, kRva},
    {kOptional + 28, 4, 0x400000},
    {kOptional + 32, 4, 0x1000},
    {kOptional + 56, 4, 0x2000},
    {kOptional + 60, 4, kRaw},
    {kOptional + 92, 4, 16},
    {kOptional + 96 + 2 * 8, 4, kRva},
    {kOptional + 100 + 2 * 8, 4, kResourceBytes},
    {kSectionTable + 8, 4, kResourceBytes},
    {kSectionTable + 12, 4, kRva},
    {kSectionTable + 16, 4, kResourceBytes},
    {kSectionTable + 20, 4, kRaw},
    // The types: one, numbered, 24.
    {kRaw + 0x0E, 2, 1},
    {kRaw + 0x10, 4, 24},
    {kRaw + 0x14, 4, 0x80000018},
    // Its names: 1 and 2.
    {kRaw + 0x18 + 0x0E, 2, 2},
    {kRaw + 0x28, 4, 1},
    {kRaw + 0x2C, 4, 0x80000038},
    {kRaw + 0x30, 4, 2},
    {kRaw + 0x34, 4, 0x80000050},
    // Their languages, one each.
    {kRaw + 0x38 + 0x0E, 2, 1},
    {kRaw + 0x48, 4, 0x409},
    {kRaw + 0x4C, 4, 0x68},
    {kRaw + 0x50 + 0x0E, 2, 1},
    {kRaw + 0x60, 4, 0x409},
    {kRaw + 0x64, 4, 0x78},
    // Their data: "de" and "abc".
    {kRaw + 0x68, 4, kRva + 0x88},
    {kRaw + 0x6C, 4, 2},
    {kRaw + 0x78, 4, kRva + 0x8A},
    {kRaw + 0x7C, 4, 3},
};

void Apply(std::string& image, const Put& put) {
  for (uint32_t b = 0; b < put.width; ++b) {
    image.at(put.offset + b) = static_cast<char>(put.value >> (8 * b));
  }
}

std::string Image() {
  std::string image(kRaw + kResourceBytes, '\0');
  for (const Put& put : kImage) {
    Apply(image, put);
  }
  image.replace(kRaw + 0x88, 5, "deabc");
  return image;
}

// A copy of `bytes` whose last byte is the last readable one.
class Guarded {
 public:
  explicit Guarded(const std::string& bytes) {
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    span_ = (bytes.size() + page - 1) / page * page + page;
    void* map = mmap(nullptr, span_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) {
      ADD_FAILURE() << "no memory";
      return;
    }
    map_ = static_cast<uint8_t*>(map);
    EXPECT_EQ(mprotect(map_ + span_ - page, page, PROT_NONE), 0);
    uint8_t* data = map_ + span_ - page - bytes.size();
    std::memcpy(data, bytes.data(), bytes.size());
    bytes_ = pe_file::View(data, bytes.size());
  }
  ~Guarded() {
    if (map_ != nullptr) {
      munmap(map_, span_);
    }
  }
  Guarded(const Guarded&) = delete;
  Guarded& operator=(const Guarded&) = delete;

  const pe_file::Bytes& bytes() const { return bytes_; }

 private:
  uint8_t* map_ = nullptr;
  size_t span_ = 0;
  pe_file::Bytes bytes_{nullptr, 0};
};

using Found = std::vector<std::tuple<uint32_t, uint32_t, std::string>>;

// What the walk hands over, in its order.
Found ResourcesOf(const pe_file::Bytes& file, const pe_file::Headers& headers) {
  Found found;
  pe_file::WalkResources(
      file, headers,
      [](void* context, const pe_file::Resource& r) {
        static_cast<Found*>(context)->emplace_back(
            r.type, r.name, std::string(reinterpret_cast<const char*>(r.data.data), r.data.size));
      },
      &found);
  return found;
}

const Found kBoth = {{24, 1, "de"}, {24, 2, "abc"}};

TEST(HarnessPeFileTest, GivesWhatAnImageHoldsAndNothingBrokenOrPastItsEnd) {
  struct Row {
    const char* what;
    std::vector<Put> puts;
    const char* why;  ///< what the headers' reading says; null: they are whole
    Found found;
  };
  const Row rows[] = {
      {"the image as made", {}, nullptr, kBoth},
      {"no MZ", {{0, 1, 'N'}}, "not a Windows program (no MZ header)", {}},
      {"PE header past the end", {{0x3C, 4, 0x7FFFFFF0}}, "not a PE image", {}},
      {"PE header running past the end",
       {{0x3C, 4, kRaw + kResourceBytes - 2}},
       "not a PE image",
       {}},
      {"another machine", {{kPe + 4, 2, 0x8664}}, "not a 32-bit x86 image", {}},
      {"a 64-bit optional header", {{kOptional, 2, 0x20B}}, "not a 32-bit x86 image", {}},
      {"optional header too short", {{kPe + 20, 2, 92}}, "its optional header is cut short", {}},
      {"seventeen directories",
       {{kOptional + 92, 4, 17}},
       "its data directories do not fit its optional header",
       {}},
      {"more directories than the header holds",
       {{kPe + 20, 2, 96 + 8 * 2}},
       "its data directories do not fit its optional header",
       {}},
      {"no resource directory", {{kOptional + 92, 4, 2}}, nullptr, {}},
      {"resources past the image", {{kOptional + 96 + 2 * 8, 4, 0x7FFF0000}}, nullptr, {}},
      {"resources longer than their section",
       {{kOptional + 100 + 2 * 8, 4, kResourceBytes + 1}},
       nullptr,
       {}},
      {"no sections", {{kPe + 6, 2, 0}}, nullptr, {}},
      {"a section table past the end", {{kPe + 20, 2, 0xFFF0}}, nullptr, {}},
      {"the section in memory only", {{kSectionTable + 16, 4, 0}}, nullptr, {}},
      {"the section's data past the end", {{kSectionTable + 20, 4, 0x7FFFFFF0}}, nullptr, {}},
      {"more types counted than there are", {{kRaw + 0x0E, 2, 0xFFFF}}, nullptr, kBoth},
      {"a named type", {{kRaw + 0x10, 4, 0x80000000}}, nullptr, {}},
      {"a type that is data", {{kRaw + 0x14, 4, 0x18}}, nullptr, {}},
      {"a type pointing past the resources", {{kRaw + 0x14, 4, 0x80001000}}, nullptr, {}},
      {"a type pointing at their last bytes", {{kRaw + 0x14, 4, 0x80000088}}, nullptr, {}},
      {"a name pointing past the resources",
       {{kRaw + 0x2C, 4, 0x80001000}},
       nullptr,
       {{24, 2, "abc"}}},
      {"a named second name", {{kRaw + 0x30, 4, 0x80000002}}, nullptr, {{24, 1, "de"}}},
      {"a language that is a directory", {{kRaw + 0x4C, 4, 0x80000068}}, nullptr, {{24, 2, "abc"}}},
      {"a language pointing past the resources",
       {{kRaw + 0x64, 4, 0x7FFFFFFC}},
       nullptr,
       {{24, 1, "de"}}},
      {"data running past the end", {{kRaw + 0x7C, 4, 4}}, nullptr, {{24, 1, "de"}}},
      {"data of every size", {{kRaw + 0x7C, 4, 0xFFFFFFFF}}, nullptr, {{24, 1, "de"}}},
      {"data in the headers", {{kRaw + 0x68, 4, 0x10}}, nullptr, {{24, 2, "abc"}}},
      {"data past the section in memory",
       {{kSectionTable + 8, 4, 0x1000}, {kRaw + 0x68, 4, kRva + 0x800}},
       nullptr,
       {{24, 2, "abc"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::string image = Image();
    for (const Put& put : row.puts) {
      Apply(image, put);
    }
    const Guarded file(image);
    pe_file::Headers headers{};
    const char* why = pe_file::ReadHeaders(file.bytes(), headers);
    EXPECT_STREQ(why, row.why);
    if (why == nullptr) {
      EXPECT_EQ(headers.timeStamp, kTimeStamp);
      EXPECT_EQ(ResourcesOf(file.bytes(), headers), row.found);
    }
  }
}

// Cut anywhere, the image gives the reason of the first field it lacks, and
// no resource: the resources reach to its last byte.
TEST(HarnessPeFileTest, ACutShortImageGivesItsReasonAndNoResource) {
  struct Row {
    uint32_t from;  ///< cut at this length and longer, up to the next row's
    const char* why;
  };
  const Row rows[] = {
      {0, "not a Windows program (no MZ header)"},
      {kPe, "not a PE image"},
      {kOptional + 2, "its optional header is cut short"},
      {kOptional + 96, "its data directories are cut short"},
      {kOptional + kOptionalSize, nullptr},
  };
  const std::string image = Image();
  size_t row = 0;
  for (uint32_t length = 0; length < image.size(); ++length) {
    row += row + 1 < std::size(rows) && length >= rows[row + 1].from ? 1 : 0;
    SCOPED_TRACE("cut at " + std::to_string(length));
    const Guarded file(image.substr(0, length));
    pe_file::Headers headers{};
    const char* why = pe_file::ReadHeaders(file.bytes(), headers);
    ASSERT_STREQ(why, rows[row].why);
    if (why == nullptr) {
      ASSERT_EQ(ResourcesOf(file.bytes(), headers), Found{});
    }
  }
}

// An image as the loader maps it (each address its own offset): one DLL with
// an import by name and one by ordinal, and an export table of two names.
constexpr uint32_t kImports = 0x100;
constexpr uint32_t kExports = 0x200;
const Put kMapped[] = {
    {kImports, 4, 0x140},       // lookup list
    {kImports + 12, 4, 0x180},  // DLL name
    {kImports + 16, 4, 0x160},  // slots; a second descriptor of zeros ends the table
    {0x140, 4, 0x190},          // "Sleep", after its hint
    {0x144, 4, 0x80000007},     // ordinal 7
    {0x160, 4, 0x190},         {0x164, 4, 0x80000007}, {kExports + 24, 4, 2},  // two names
    {kExports + 32, 4, 0x240}, {0x240, 4, 0x250},      {0x244, 4, 0x258},
};

std::string Mapped() {
  std::string image(0x260, '\0');
  for (const Put& put : kMapped) {
    Apply(image, put);
  }
  image.replace(0x180, 5, "K.dll");
  image.replace(0x192, 5, "Sleep");
  image.replace(0x250, 3, "One");
  image.replace(0x258, 3, "Two");
  return image;
}

using Imported = std::vector<std::tuple<std::string, std::string, uint32_t>>;

// Cut anywhere, the walks give what lies before the cut and the reason of
// the first read that reaches past it; whole, everything.
TEST(HarnessPeFileTest, WalksImportsAndExportsUpToTheFirstFieldCutShort) {
  struct Row {
    uint32_t from;  ///< cut at this length and longer, up to the next row's
    const char* importsWhy;
    const char* exportsWhy;
  };
  const Row rows[] = {
      {0, "its import table lies outside the image", "its export table is cut short"},
      {kImports, "its import table is cut short", "its export table is cut short"},
      {kImports + 20, "an imported DLL's name is cut short", "its export table is cut short"},
      {0x186, "an imported name is cut short", "its export table is cut short"},
      {0x198, nullptr, "its export table is cut short"},
      {kExports + 36, nullptr, "its export names are cut short"},
      {0x248, nullptr, "an exported name is cut short"},
      {0x25C, nullptr, nullptr},
  };
  pe_file::Headers headers{};
  headers.directory[pe_file::kImportDirectory][0] = kImports;
  headers.directory[pe_file::kImportDirectory][1] = 40;
  headers.directory[pe_file::kExportDirectory][0] = kExports;
  headers.directory[pe_file::kExportDirectory][1] = 40;
  const std::string image = Mapped();
  size_t row = 0;
  for (uint32_t length = 0; length <= image.size(); ++length) {
    row += row + 1 < std::size(rows) && length >= rows[row + 1].from ? 1 : 0;
    SCOPED_TRACE("cut at " + std::to_string(length));
    const Guarded bytes(image.substr(0, length));
    Imported imported;
    ASSERT_STREQ(pe_file::WalkImports(
                     bytes.bytes(), pe_file::Layout::kMapped, headers,
                     [](void* context, const pe_file::Import& i) {
                       static_cast<Imported*>(context)->emplace_back(
                           i.dll, i.name != nullptr ? i.name : "#", i.slot);
                       return true;
                     },
                     &imported),
                 rows[row].importsWhy);
    ASSERT_EQ(imported, rows[row].importsWhy == nullptr
                            ? (Imported{{"K.dll", "Sleep", 0x160}, {"K.dll", "#", 0x164}})
                            : Imported{});
    std::vector<std::string> exported;
    ASSERT_STREQ(pe_file::WalkExportNames(
                     bytes.bytes(), pe_file::Layout::kMapped, headers,
                     [](void* context, const char* name) {
                       static_cast<std::vector<std::string>*>(context)->emplace_back(name);
                     },
                     &exported),
                 rows[row].exportsWhy);
    const std::vector<std::string> both = {"One", "Two"};
    ASSERT_EQ(exported, rows[row].exportsWhy == nullptr ? both
                        : length >= 0x254               ? std::vector<std::string>{"One"}
                                                        : std::vector<std::string>{});
  }
}

}  // namespace
