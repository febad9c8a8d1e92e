// What the programs must be as files. The Windows program: a GUI program for
// Windows 4.00 and later, importing exactly four functions of Windows and the
// card's nine operations, with no instruction an i486DX lacks, no static
// constructors, small, carrying its version; and a release archive holding it
// and the README. The Linux program: the C library and the card library are
// all it needs, with no C++ runtime inside.
#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/process.h"

namespace {

using Names = std::set<std::string>;

const Names kCardOperations = {"I2CIsInitOK", "I2CInitHWMode", "GPIOIsInitOK",
                               "SetGPIOMODE", "I2CHWWrite3",   "I2CHWRead",
                               "GetGPOE",     "SetGPOE",       "SetGPDATABits"};

// The size of `path` once stripped of its symbols and debug information.
[[maybe_unused]] long StrippedSize(const std::string& strip, const std::string& path) {
  const std::string copy = ::testing::TempDir() + "wavrix_stripped";
  if (std::system((strip + " -o " + copy + " " + path).c_str()) != 0) {
    return -1;
  }
  struct stat info {};
  return stat(copy.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

// Names of the C and C++ runtimes and of static constructors, as they would
// show in a symbol table. (An unoptimised build keeps the placement forms of
// operator new and delete, _Znwm/_ZnwjPv and _ZdlPvS_: inline code that
// allocates nothing.)
const std::regex kRuntimeSymbol(
    R"(\b(__cxa_(?!finalize\b)\w+|__gxx_personality\w*|_Unwind_\w+|__dynamic_cast|_ZT[ISV]\w+|_Zn[wa][jm](?!Pv\b)\w*|_Zd[la]Pv(?!S_\b)\w*|_ZSt9terminate\w*|_GLOBAL__sub_I\w*|__main|_?malloc|_?mainCRTStartup|_?WinMainCRTStartup)\b)");

#if !defined(WAVRIX_INSTRUMENTED)

TEST(LinuxProgramFileTest, NeedsOnlyTheCLibraryAndTheCardLibrary) {
  std::istringstream dynamic(testproc::Capture(std::string("readelf -d ") + WAVRIX_EXE));
  Names needed;
  std::smatch match;
  const std::regex entry(R"(\(NEEDED\)\s+Shared library: \[(.*)\])");
  for (std::string line; std::getline(dynamic, line);) {
    if (std::regex_search(line, match, entry)) {
      needed.insert(match[1]);
    }
  }
  EXPECT_EQ(needed, (Names{"$ORIGIN/libbtvid_32.so", "libc.so.6"}));

  // Every symbol it takes from outside is a card operation or the C library's.
  std::istringstream undefined(
      testproc::Capture(std::string("nm -D --undefined-only ") + WAVRIX_EXE));
  Names card;
  for (std::string line; std::getline(undefined, line);) {
    const std::string name = line.substr(line.find_last_of(' ') + 1);
    if (kCardOperations.count(name) == 1) {
      card.insert(name);
    } else {
      EXPECT_TRUE(name.find("@GLIBC_") != std::string::npos ||
                  line.find(" w ") != std::string::npos)
          << name;
    }
  }
  EXPECT_EQ(card, kCardOperations);
}

TEST(LinuxProgramFileTest, HoldsNoCxxRuntimeAndIsSmall) {
  const std::string symbols = testproc::Capture(std::string("nm ") + WAVRIX_EXE);
  ASSERT_NE(symbols.find("RunProgram"), std::string::npos) << "no symbol table to check";
  std::smatch match;
  EXPECT_FALSE(std::regex_search(symbols, match, kRuntimeSymbol)) << match.str();
  const long size = StrippedSize("strip", WAVRIX_EXE);
  EXPECT_GT(size, 0);
  EXPECT_LE(size, 32 * 1024);
}

#endif  // !WAVRIX_INSTRUMENTED

#if defined(WAVRIX_WIN32_BIN)

const std::string kBin = WAVRIX_WIN32_BIN;
const std::string kExe = kBin + "/wavrix.exe";

class WindowsProgramFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testproc::ReadFile(kExe).empty()) {
      GTEST_SKIP() << "the Windows build is missing (no MinGW-w64 cross compiler)";
    }
  }
};

// DLL name -> imported names, from the exe's import tables.
std::map<std::string, Names> Imports(const std::string& image) {
  std::map<std::string, Names> imports;
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

TEST_F(WindowsProgramFileTest, IsAGuiProgramForWindows400AndLater) {
  const std::string header = testproc::Capture("i686-w64-mingw32-objdump -p " + kExe);
  EXPECT_NE(header.find("file format pei-i386"), std::string::npos);
  EXPECT_NE(header.find("Subsystem\t\t00000002\t(Windows GUI)"), std::string::npos) << header;
  for (const char* field : {"MajorSubsystemVersion\t4\n", "MinorSubsystemVersion\t0\n",
                            "MajorOSystemVersion\t4\n", "MinorOSystemVersion\t0\n"}) {
    EXPECT_NE(header.find(field), std::string::npos) << field;
  }
  // Dynamic base (0x40) and NX compatible (0x100), for current Windows.
  std::smatch match;
  ASSERT_TRUE(std::regex_search(header, match, std::regex(R"(DllCharacteristics\s+([0-9a-f]+))")));
  EXPECT_EQ(std::stoul(match[1].str(), nullptr, 16) & 0x140, 0x140u);
}

TEST_F(WindowsProgramFileTest, ImportsExactlyItsThirteenNames) {
  const std::map<std::string, Names> expected = {
      {"KERNEL32.dll", {"GetCommandLineA", "Sleep", "ExitProcess"}},
      {"USER32.dll", {"MessageBoxA"}},
      {"BTVID_32.DLL", kCardOperations},
  };
  EXPECT_EQ(Imports(kExe), expected);
}

// Instructions an i486DX does not have, as objdump names them, with the
// processor generation that brought them.
struct Forbidden {
  const char* pattern;
  const char* what;
};
const Forbidden kPostI486[] = {
    {R"(\bcmov\w+)", "CMOVcc (Pentium Pro)"},
    {R"(\bfcmov\w+)", "FCMOVcc (Pentium Pro)"},
    {R"(\bfu?comip?\b)", "FCOMI/FUCOMI (Pentium Pro)"},
    {R"(\bnop[wl]\b)", "long NOP (Pentium Pro)"},
    {R"(\bud2\b)", "UD2 (Pentium Pro)"},
    {R"(\bcmpxchg8b\b)", "CMPXCHG8B (Pentium)"},
    {R"(\b(rdtscp?|rdpmc|rdmsr|wrmsr)\b)", "time stamp and model registers (Pentium)"},
    {R"(\bcpuid\b)", "CPUID (late i486 only)"},
    {R"(\b(sysenter|sysexit|syscall|sysret)\b)", "fast system calls (Pentium II, K6)"},
    {R"(\bfisttp\w*)", "FISTTP (SSE3)"},
    {R"(\b(f?emms)\b|%mm\d)", "MMX"},
    {R"(%[xy]mm\d|\b(ldmxcsr|stmxcsr|[slm]fence|clflush\w*|prefetch\w*|movnti|fxsave|fxrstor)\b)",
     "SSE"},
};

TEST_F(WindowsProgramFileTest, HoldsNoInstructionPastTheI486) {
  std::istringstream code(
      testproc::Capture("i686-w64-mingw32-objdump -d --no-show-raw-insn " + kExe));
  size_t instructions = 0;
  bool loadsControlWord = false;
  const std::regex target(R"(<[^>]*>)");  // symbol names, which are not instructions
  for (std::string line; std::getline(code, line);) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || line.find(':') > tab) {
      continue;
    }
    const std::string instruction = std::regex_replace(line.substr(tab + 1), target, "");
    ++instructions;
    loadsControlWord = loadsControlWord || instruction.rfind("fldcw", 0) == 0;
    for (const Forbidden& f : kPostI486) {
      EXPECT_FALSE(std::regex_search(instruction, std::regex(f.pattern))) << f.what << ": " << line;
    }
  }
  EXPECT_GT(instructions, 500u);
  EXPECT_TRUE(loadsControlWord);
}

TEST_F(WindowsProgramFileTest, IsSmallWithNoRuntimeAndNoStaticConstructors) {
  const long size = StrippedSize("i686-w64-mingw32-strip", kExe);
  EXPECT_GT(size, 0);
  EXPECT_LE(size, 16 * 1024);
  const std::string symbols = testproc::Capture("i686-w64-mingw32-nm " + kExe);
  ASSERT_NE(symbols.find("RunProgram"), std::string::npos) << "no symbol table to check";
  std::smatch match;
  EXPECT_FALSE(std::regex_search(symbols, match, kRuntimeSymbol)) << match.str();
  const std::string sections = testproc::Capture("i686-w64-mingw32-objdump -h " + kExe);
  for (const char* section : {".ctors", ".CRT", ".tls", ".eh_frame"}) {
    EXPECT_EQ(sections.find(std::string(" ") + section + " "), std::string::npos) << section;
  }
}

TEST_F(WindowsProgramFileTest, SimulatedCardExportsTheNineUndecoratedNames) {
  std::string exports = testproc::Capture("i686-w64-mingw32-objdump -p " + kBin + "/BTVID_32.DLL");
  const size_t table = exports.find("[Ordinal/Name Pointer] Table");
  ASSERT_NE(table, std::string::npos);
  exports = exports.substr(table, exports.find("\n\n", table) - table);
  Names names;
  std::smatch match;
  const std::regex entry(R"(\[\s*\d+\] (\S+))");
  for (auto it = exports.cbegin(); std::regex_search(it, exports.cend(), match, entry);
       it = match.suffix().first) {
    names.insert(match[1]);
  }
  EXPECT_EQ(names, kCardOperations);
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

TEST_F(WindowsProgramFileTest, CarriesItsVersion) {
  const std::string image = testproc::ReadFile(kExe);
  for (const std::string& text : {std::string("ProductName"), std::string("Wavrix"),
                                  std::string("FileVersion"), std::string(WAVRIX_VERSION)}) {
    EXPECT_NE(image.find(Utf16(text)), std::string::npos) << text;
  }
}

TEST_F(WindowsProgramFileTest, ReleaseArchiveHoldsTheProgramAndTheReadmeWithTheirChecksum) {
  const std::string dir = std::string(WAVRIX_WIN32_BIN) + "/..";
  const std::string zip = "wavrix-" + std::string(WAVRIX_VERSION) + "-win32.zip";
  ASSERT_EQ(std::system(("cmake --build " + dir + " --target release >/dev/null 2>&1").c_str()), 0);
  std::istringstream listing(testproc::Capture("cd " + dir + " && unzip -Z1 " + zip));
  std::vector<std::string> files;
  for (std::string line; std::getline(listing, line);) {
    files.push_back(line);
  }
  EXPECT_EQ(files, (std::vector<std::string>{"README.md", "wavrix.exe"}));
  EXPECT_EQ(testproc::Capture("cd " + dir + " && sha256sum -c SHA256SUMS"), zip + ": OK\n");
}

#endif  // WAVRIX_WIN32_BIN

}  // namespace
