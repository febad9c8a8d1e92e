// What the programs must be as files. The Windows program: a GUI program for
// Windows 4.00 and later, importing exactly four functions of Windows and the
// card's nine operations, with no instruction an i486DX lacks, no static
// constructors, at most 16 KiB as released, carrying its manifest, icon and
// version. The Linux program: the C library and the card library are all it
// needs, with no C++ runtime inside.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/process.h"
#include "tests/scratch.h"
#include "tests/windows_imports.h"
#include "tools/exe_runner/pe_file.h"

namespace {

using windows_imports::kCardOperations;
using windows_imports::Names;

// Names of the C and C++ runtimes and of static constructors, as they would
// show in a symbol table. (An unoptimised build keeps the placement forms of
// operator new and delete, _Znwm/_ZnwjPv and _ZdlPvS_: inline code that
// allocates nothing.)
const std::regex kRuntimeSymbol(
    R"(\b(__cxa_(?!finalize\b)\w+|__gxx_personality\w*|_Unwind_\w+|__dynamic_cast|_ZT[ISV]\w+|_Zn[wa][jm](?!Pv\b)\w*|_Zd[la]Pv(?!S_\b)\w*|_ZSt9terminate\w*|_GLOBAL__sub_I\w*|__main|_?malloc|_?mainCRTStartup|_?WinMainCRTStartup)\b)");

// `image` (given its binutils' `nm` and `strip`) holds none of those names
// and is at most `limit` bytes once stripped of symbols and debug information.
[[maybe_unused]] void ExpectNoRuntimeAndAtMost(const std::string& tools, const std::string& image,
                                               long limit) {
  const std::string symbols = testproc::Capture(tools + "nm " + image);
  ASSERT_NE(symbols.find("RunProgram"), std::string::npos) << "no symbol table to check";
  std::smatch match;
  EXPECT_FALSE(std::regex_search(symbols, match, kRuntimeSymbol)) << match.str();
  const std::string copy = scratch::Folder() + "/wavrix_stripped";
  ASSERT_EQ(std::system((tools + "strip -o " + copy + " " + image).c_str()), 0);
  struct stat info {};
  ASSERT_EQ(stat(copy.c_str(), &info), 0);
  EXPECT_LE(static_cast<long>(info.st_size), limit);
}

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

// The simulated card gives the program the nine operations and nothing
// else: no helper of its own and nothing of the runtime linked into it.
TEST(LinuxProgramFileTest, SimulatedCardExportsTheNineOperationsAlone) {
  std::istringstream defined(
      testproc::Capture(std::string("nm -D --defined-only ") + WAVRIX_CARD_LIBRARY));
  Names exported;
  for (std::string line; std::getline(defined, line);) {
    exported.insert(line.substr(line.find_last_of(' ') + 1));
  }
  EXPECT_EQ(exported, kCardOperations);
}

TEST(LinuxProgramFileTest, HoldsNoCxxRuntimeAndIsSmall) {
  ExpectNoRuntimeAndAtMost("", WAVRIX_EXE, 32 * 1024);
}

#endif  // !WAVRIX_INSTRUMENTED

#if defined(WAVRIX_WIN32_BIN)

const std::string kBin = WAVRIX_WIN32_BIN;
const std::string kExe = kBin + "/wavrix.exe";

class WindowsProgramFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testproc::ReadFile(kExe).empty()) {
      GTEST_SKIP() << "the Windows build has not made " << kExe << " (build wavrix_win32)";
    }
  }
};

pe_file::Bytes BytesOf(const std::string& bytes) {
  return pe_file::View(bytes.data(), bytes.size());
}

// The headers of the program file `image`; a failure when they are not whole.
pe_file::Headers HeadersOf(const std::string& image) {
  pe_file::Headers headers{};
  const char* why = pe_file::ReadHeaders(BytesOf(image), headers);
  EXPECT_EQ(why, nullptr) << why;
  return headers;
}

// DLL name -> imported names (by ordinal: "#"), from the import tables of
// the program file at `path`, as the exe runner's reader of program files
// finds them.
std::map<std::string, Names> Imports(const std::string& path) {
  const std::string image = testproc::ReadFile(path);
  std::map<std::string, Names> imports;
  const char* why = pe_file::WalkImports(
      BytesOf(image), pe_file::Layout::kFile, HeadersOf(image),
      [](void* context, const pe_file::Import& i) {
        (*static_cast<std::map<std::string, Names>*>(context))[i.dll].insert(i.name ? i.name : "#");
        return true;
      },
      &imports);
  EXPECT_EQ(why, nullptr) << why;
  return imports;
}

// The names the export table of the program file at `path` gives.
Names Exports(const std::string& path) {
  const std::string image = testproc::ReadFile(path);
  Names names;
  const char* why = pe_file::WalkExportNames(
      BytesOf(image), pe_file::Layout::kFile, HeadersOf(image),
      [](void* context, const char* name) { static_cast<Names*>(context)->insert(name); }, &names);
  EXPECT_EQ(why, nullptr) << why;
  return names;
}

TEST_F(WindowsProgramFileTest, IsAGuiProgramForWindows400AndLater) {
  const pe_file::Headers headers = HeadersOf(testproc::ReadFile(kExe));  // a 32-bit x86 image
  EXPECT_EQ(headers.subsystem, 2) << "not a GUI program";
  EXPECT_EQ(headers.subsystemVersion[0], 4);
  EXPECT_EQ(headers.subsystemVersion[1], 0);
  EXPECT_EQ(headers.osVersion[0], 4);
  EXPECT_EQ(headers.osVersion[1], 0);
  // Dynamic base (0x40) and NX compatible (0x100), for current Windows.
  EXPECT_EQ(headers.dllCharacteristics & 0x140, 0x140);
}

TEST_F(WindowsProgramFileTest, ImportsExactlyItsThirteenNames) {
  EXPECT_EQ(Imports(kExe), windows_imports::kExeImports);
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
    {R"(\bnop[wl]?\s+\S)", "multi-byte NOP, 0F 1F (Pentium Pro)"},
    {R"(\bendbr(32|64)\b)",
     "ENDBR32/ENDBR64, CET branch targets (decoded as NOP from the Pentium Pro)"},
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

// The code of `image` against the table: what of it each instruction is,
// with the instruction; how many instructions there are; whether one loads
// the x87 control word.
struct CodeSurvey {
  std::vector<std::string> postI486;
  size_t instructions = 0;
  bool loadsControlWord = false;
};

CodeSurvey SurveyCode(const std::string& image) {
  CodeSurvey survey;
  std::istringstream code(
      testproc::Capture(WAVRIX_MINGW_TOOLS "objdump -d --no-show-raw-insn " + image));
  const std::regex target(R"(<[^>]*>)");  // symbol names, which are not instructions
  for (std::string line; std::getline(code, line);) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || line.find(':') > tab) {
      continue;
    }
    const std::string instruction = std::regex_replace(line.substr(tab + 1), target, "");
    ++survey.instructions;
    survey.loadsControlWord = survey.loadsControlWord || instruction.rfind("fldcw", 0) == 0;
    for (const Forbidden& f : kPostI486) {
      if (std::regex_search(instruction, std::regex(f.pattern))) {
        survey.postI486.push_back(std::string(f.what) + ": " + line);
      }
    }
  }
  return survey;
}

TEST_F(WindowsProgramFileTest, HoldsNoInstructionPastTheI486) {
  const CodeSurvey exe = SurveyCode(kExe);
  EXPECT_EQ(exe.postI486, std::vector<std::string>{});
  EXPECT_GT(exe.instructions, 500u);
  EXPECT_TRUE(exe.loadsControlWord);
  // The table does find what it is for: the probe built for the i686 holds a
  // CMOV.
  const CodeSurvey probe = SurveyCode(kBin + "/cmov_probe.exe");
  ASSERT_FALSE(probe.postI486.empty());
  EXPECT_EQ(probe.postI486.front().rfind("CMOVcc", 0), 0u) << probe.postI486.front();
}

TEST_F(WindowsProgramFileTest, IsSmallWithNoRuntimeAndNoStaticConstructors) {
  // manifest, icon and version resource included: 16 KiB as released, 24 KiB
  // unoptimised (a Debug build)
  ExpectNoRuntimeAndAtMost(WAVRIX_MINGW_TOOLS, kExe, WAVRIX_EXE_MOST_BYTES);
  const std::string sections = testproc::Capture(WAVRIX_MINGW_TOOLS "objdump -h " + kExe);
  for (const char* section : {".ctors", ".CRT", ".tls", ".eh_frame"}) {
    EXPECT_EQ(sections.find(std::string(" ") + section + " "), std::string::npos) << section;
  }
}

TEST_F(WindowsProgramFileTest, SimulatedCardExportsTheNineUndecoratedNames) {
  EXPECT_EQ(Exports(kBin + "/BTVID_32.DLL"), kCardOperations);
  EXPECT_EQ(Exports(kBin + "/cdecl/BTVID_32.DLL"), kCardOperations);
}

// The little-endian value of the `width` bytes at `at`; a failure when they
// lie past the end.
uint32_t Le(const std::string& bytes, uint32_t at, uint32_t width) {
  uint32_t value = 0;
  EXPECT_TRUE(pe_file::Read(BytesOf(bytes), at, width, value))
      << width << " bytes at " << at << " of " << bytes.size();
  return value;
}

using ResourceMap = std::map<std::pair<uint32_t, uint32_t>, std::string>;

// The image's resources with numeric type and name, first language of each:
// (type, name) -> bytes, as the exe runner's reader of program files finds
// them in the resource directory.
ResourceMap Resources(const std::string& image) {
  ResourceMap resources;
  pe_file::Headers headers{};
  if (const char* why = pe_file::ReadHeaders(BytesOf(image), headers)) {
    ADD_FAILURE() << why;
    return resources;
  }
  pe_file::WalkResources(
      BytesOf(image), headers,
      [](void* context, const pe_file::Resource& r) {
        static_cast<ResourceMap*>(context)->emplace(
            std::pair(r.type, r.name),
            std::string(reinterpret_cast<const char*>(r.data.data), r.data.size));
      },
      &resources);
  return resources;
}

constexpr uint32_t kRtIcon = 3;
constexpr uint32_t kRtGroupIcon = 14;
constexpr uint32_t kRtManifest = 24;

// xmllint's answer to an XPath expression over `file`.
std::string XPath(const std::string& file, const std::string& expression) {
  std::string answer = testproc::Capture("xmllint --xpath \"" + expression + "\" " + file);
  if (!answer.empty() && answer.back() == '\n') {
    answer.pop_back();
  }
  return answer;
}

TEST_F(WindowsProgramFileTest, CarriesAManifestWindowsXpAndLaterTake) {
  const auto resources = Resources(testproc::ReadFile(kExe));
  ASSERT_EQ(resources.count({kRtManifest, 1}), 1u) << "no manifest as resource 1";
  const std::string manifest = resources.at({kRtManifest, 1});
  const std::string file = scratch::Folder() + "/wavrix.manifest";
  testproc::WriteFile(file, manifest);
  ASSERT_EQ(std::system(("xmllint --noout " + file).c_str()), 0) << manifest;

  struct Query {
    std::string expression;
    std::string answer;
  };
  const std::string asmV1 = "namespace-uri()='urn:schemas-microsoft-com:asm.v1'";
  const Query queries[] = {
      {"concat(local-name(/*), ' ', namespace-uri(/*), ' ', /*/@manifestVersion)",
       "assembly urn:schemas-microsoft-com:asm.v1 1.0"},
      // the program's own identity, first of all (Windows XP wants it there)
      {"concat(local-name(/*/*[1]), ' ', /*/*[1]/@type, ' ', /*/*[1]/@name, ' ', "
       "/*/*[1]/@version, ' ', /*/*[1]/@processorArchitecture)",
       "assemblyIdentity win32 Wavrix.Wavrix " + std::string(WAVRIX_VERSION) + ".0 x86"},
      {"count(/*/*[" + asmV1 + "][local-name()='dependency']/*[" + asmV1 +
           "][local-name()='dependentAssembly']/*[local-name()='assemblyIdentity']"
           "[@type='win32'][@name='Microsoft.Windows.Common-Controls'][@version='6.0.0.0']"
           "[@processorArchitecture='x86'][@publicKeyToken='6595b64144ccf1df'][@language='*'])",
       "1"},
      {"concat(namespace-uri(/*/*[local-name()='trustInfo']), ' ', "
       "local-name(/*/*[local-name()='trustInfo']/*/*/*), ' ', "
       "//*[local-name()='requestedExecutionLevel']/@level, ' ', "
       "//*[local-name()='requestedExecutionLevel']/@uiAccess)",
       "urn:schemas-microsoft-com:asm.v2 requestedExecutionLevel asInvoker false"},
      {"count(/*/*[local-name()='compatibility'][namespace-uri()="
       "'urn:schemas-microsoft-com:compatibility.v1']/*/*[local-name()='supportedOS'][@Id="
       "'{e2011457-1546-43c5-a5fe-008deee3d3f0}' or @Id='{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' "
       "or @Id='{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}' or "
       "@Id='{1f676c76-80e1-4239-95bb-83d0f6d0da78}' or "
       "@Id='{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'])",
       "5"},  // Vista, 7, 8, 8.1, 10 and 11
      {"string(/*/*[local-name()='application'][namespace-uri()="
       "'urn:schemas-microsoft-com:asm.v3']/*/*[local-name()='dpiAware'])",
       "true"},
      // the command line must keep arriving in the system's ANSI code page
      {"count(//*[local-name()='activeCodePage'])", "0"},
  };
  for (const Query& q : queries) {
    EXPECT_EQ(XPath(file, q.expression), q.answer) << q.expression;
  }
  // Windows XP SP2 restarts the computer on a trustInfo whose namespace is
  // declared twice: the asm.v2 namespace is named once in the whole text.
  const std::string asmV2 = "urn:schemas-microsoft-com:asm.v2";
  EXPECT_EQ(manifest.find(asmV2), manifest.rfind(asmV2));
}

TEST_F(WindowsProgramFileTest, CarriesItsIconIn16And256Colours) {
  const auto resources = Resources(testproc::ReadFile(kExe));
  ASSERT_EQ(resources.count({kRtGroupIcon, 1}), 1u) << "no icon group as resource 1";
  const std::string group = resources.at({kRtGroupIcon, 1});
  ASSERT_EQ(Le(group, 2, 2), 1u);  // an icon, not a cursor
  // (width, height, colour count, bits per pixel), as Explorer picks them.
  std::set<std::vector<uint32_t>> images;
  for (uint32_t i = 0; i < Le(group, 4, 2); ++i) {
    const uint32_t entry = 6 + 14 * i;
    const uint32_t width = Le(group, entry, 1);
    const uint32_t height = Le(group, entry + 1, 1);
    const uint32_t bits = Le(group, entry + 6, 2);
    images.insert({width, height, Le(group, entry + 2, 1), bits});
    // The image itself: a bitmap of that size and depth (mask included, so
    // twice the height), as long as the group says.
    const auto image = resources.find({kRtIcon, Le(group, entry + 12, 2)});
    ASSERT_NE(image, resources.end()) << "icon image " << i;
    const std::string& bitmap = image->second;
    EXPECT_EQ(bitmap.size(), Le(group, entry + 8, 4));
    EXPECT_EQ(Le(bitmap, 0, 4), 40u);
    EXPECT_EQ(Le(bitmap, 4, 4), width);
    EXPECT_EQ(Le(bitmap, 8, 4), 2 * height);
    EXPECT_EQ(Le(bitmap, 14, 2), bits);
  }
  EXPECT_EQ(images, (std::set<std::vector<uint32_t>>{
                        {16, 16, 16, 4}, {32, 32, 16, 4}, {16, 16, 0, 8}, {32, 32, 0, 8}}));
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

// The image's time stamp is the release date: SOURCE_DATE_EPOCH when it is
// set, else the last commit's, also when the commit came after the configure.
TEST_F(WindowsProgramFileTest, IsDatedByTheLastCommit) {
  std::string expected;
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    expected = epoch;
  } else {
    expected = testproc::Capture("bash " + std::string(WAVRIX_SOURCE_DIR) +
                                 "/scripts/source_commit.sh --date " + WAVRIX_SOURCE_DIR);
    if (expected.empty()) {
      GTEST_SKIP() << "the source is no git checkout of its own and SOURCE_DATE_EPOCH is not set";
    }
    expected.pop_back();  // the newline
  }
  EXPECT_EQ(std::to_string(HeadersOf(testproc::ReadFile(kExe)).timeStamp), expected)
      << "a build after the last commit dates the exe by it";
}

TEST_F(WindowsProgramFileTest, CarriesItsVersion) {
  const std::string image = testproc::ReadFile(kExe);
  for (const std::string& text : {std::string("ProductName"), std::string("Wavrix"),
                                  std::string("FileVersion"), std::string(WAVRIX_VERSION)}) {
    EXPECT_NE(image.find(Utf16(text)), std::string::npos) << text;
  }
}

#endif  // WAVRIX_WIN32_BIN

}  // namespace
