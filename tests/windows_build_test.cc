// What the Windows program must be as a file: a GUI program for Windows 5.01
// and later, importing only functions Windows XP has and the card's nine
// operations, with no SSE instruction, carrying its version; and a release
// archive holding it and the README.
#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "gtest/gtest.h"
#include "tests/process.h"

#if defined(WAVRIX_WIN32_BIN)

namespace {

const std::string kBin = WAVRIX_WIN32_BIN;
const std::string kExe = kBin + "/wavrix.exe";

class WindowsBuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testproc::ReadFile(kExe).empty()) {
      GTEST_SKIP() << "the Windows build is missing (no MinGW-w64 cross compiler)";
    }
  }
};

// DLL name -> imported names, from the exe's import tables.
std::map<std::string, std::set<std::string>> Imports(const std::string& image) {
  std::map<std::string, std::set<std::string>> imports;
  std::istringstream lines(testproc::Capture("i686-w64-mingw32-objdump -p " + image));
  std::string line;
  std::string dll;
  std::smatch match;
  const std::regex dllName(R"(^\s*DLL Name: (\S+))");
  const std::regex member(R"(^\s+[0-9a-f]+\s+\d+\s+(\S+)$)");
  bool inImports = false;
  while (std::getline(lines, line)) {
    if (line.find("The Import Tables") != std::string::npos) {
      inImports = true;
    } else if (inImports && line.rfind("The ", 0) == 0) {
      inImports = false;
    } else if (inImports && std::regex_search(line, match, dllName)) {
      dll = match[1];
    } else if (inImports && !dll.empty() && std::regex_search(line, match, member)) {
      imports[dll].insert(match[1]);
    }
  }
  return imports;
}

TEST_F(WindowsBuildTest, IsAGuiProgramForWindows501AndLater) {
  const std::string header = testproc::Capture("i686-w64-mingw32-objdump -p " + kExe);
  EXPECT_NE(header.find("Subsystem\t\t00000002\t(Windows GUI)"), std::string::npos) << header;
  EXPECT_NE(header.find("MajorSubsystemVersion\t5\n"), std::string::npos);
  EXPECT_NE(header.find("MinorSubsystemVersion\t1\n"), std::string::npos);
  EXPECT_NE(header.find("file format pei-i386"), std::string::npos);
}

TEST_F(WindowsBuildTest, ImportsOnlyXpFunctionsAndTheNineCardOperations) {
  std::set<std::string> allowed;
  std::istringstream list(testproc::ReadFile(WAVRIX_XP_IMPORTS));
  std::string line;
  while (std::getline(list, line)) {
    if (!line.empty() && line[0] != '#') {
      allowed.insert(line);
    }
  }
  ASSERT_FALSE(allowed.empty());
  const std::set<std::string> card = {"I2CIsInitOK", "I2CInitHWMode", "GPIOIsInitOK",
                                      "SetGPIOMODE", "I2CHWWrite3",   "I2CHWRead",
                                      "GetGPOE",     "SetGPOE",       "SetGPDATABits"};
  const auto imports = Imports(kExe);
  ASSERT_EQ(imports.count("BTVID_32.DLL"), 1u);
  EXPECT_EQ(imports.at("BTVID_32.DLL"), card);
  for (const auto& [dll, names] : imports) {
    if (dll == "BTVID_32.DLL") {
      continue;
    }
    for (const std::string& name : names) {
      EXPECT_EQ(allowed.count(dll + " " + name), 1u) << dll << " " << name << " is not on the list";
    }
  }
}

TEST_F(WindowsBuildTest, SimulatedCardExportsTheNineUndecoratedNames) {
  std::string exports = testproc::Capture("i686-w64-mingw32-objdump -p " + kBin + "/BTVID_32.DLL");
  const size_t table = exports.find("[Ordinal/Name Pointer] Table");
  ASSERT_NE(table, std::string::npos);
  exports = exports.substr(table, exports.find("\n\n", table) - table);
  std::set<std::string> names;
  std::smatch match;
  const std::regex entry(R"(\[\s*\d+\] (\S+))");
  for (auto it = exports.cbegin(); std::regex_search(it, exports.cend(), match, entry);
       it = match.suffix().first) {
    names.insert(match[1]);
  }
  EXPECT_EQ(names, (std::set<std::string>{"I2CIsInitOK", "I2CInitHWMode", "GPIOIsInitOK",
                                          "SetGPIOMODE", "I2CHWWrite3", "I2CHWRead", "GetGPOE",
                                          "SetGPOE", "SetGPDATABits"}));
}

TEST_F(WindowsBuildTest, HasNoSseInstruction) {
  const std::string code =
      testproc::Capture("i686-w64-mingw32-objdump -d --no-show-raw-insn " + kExe);
  ASSERT_GT(code.size(), 100000u);
  // SSE registers and state, and the SSE-era instructions that use neither.
  const std::regex sse(
      R"(%xmm|mxcsr|\s(fisttp|sfence|lfence|mfence|prefetch\w*|movnt\w*|maskmovq|pshufw|pextrw|pinsrw|pmovmskb|pminub|pmaxub|pminsw|pmaxsw|pavg[bw]|pmulhuw|psadbw|clflush)\s)");
  std::smatch match;
  EXPECT_FALSE(std::regex_search(code, match, sse)) << match.str();
}

// The UTF-16 form in which version resources hold their strings.
std::string Utf16(const std::string& ascii) {
  std::string wide;
  for (char ch : ascii) {
    wide += ch;
    wide += '\0';
  }
  return wide;
}

TEST_F(WindowsBuildTest, CarriesItsVersion) {
  const std::string image = testproc::ReadFile(kExe);
  for (const std::string& text : {std::string("ProductName"), std::string("Wavrix"),
                                  std::string("FileVersion"), std::string(WAVRIX_VERSION)}) {
    EXPECT_NE(image.find(Utf16(text)), std::string::npos) << text;
  }
}

TEST_F(WindowsBuildTest, ReleaseArchiveHoldsTheProgramAndTheReadme) {
  const std::string dir = std::string(WAVRIX_WIN32_BIN) + "/..";
  const std::string zip = "wavrix-" + std::string(WAVRIX_VERSION) + "-win32.zip";
  ASSERT_EQ(std::system(("cd " + dir + " && cpack -G ZIP >/dev/null 2>&1").c_str()), 0);
  std::istringstream listing(testproc::Capture("cd " + dir + " && cmake -E tar tf " + zip));
  std::set<std::string> files;
  std::string line;
  while (std::getline(listing, line)) {
    files.insert(line);
  }
  EXPECT_EQ(files, (std::set<std::string>{"wavrix.exe", "README.md"}));
}

}  // namespace

#endif  // WAVRIX_WIN32_BIN
