#include "tests/end_to_end_cases.h"

#include <initializer_list>

namespace e2e {
namespace {

using Calls = std::vector<std::string>;

Calls Join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

const Calls kSetUp = {"I2CIsInitOK() = 1", "I2CInitHWMode(100000) = 0", "GPIOIsInitOK() = 1",
                      "SetGPIOMODE(0) = 0"};
const Calls kPins = {"GetGPOE() = 00000000", "SetGPOE(00000F00) = 0",
                     "SetGPDATABits(9, 11, 2, 0) = 0"};
const std::vector<uint32_t> kLockedWaits = {30, 1};

Calls Tuned(const std::string& divider) {
  return Join({kSetUp,
               {"I2CHWWrite3(C0, " + divider + ") = 0", "I2CHWRead(C0) = 0 -> 40",
                "I2CHWWrite3(C0, 8E, A5) = 0", "I2CHWRead(C0) = 0 -> 40"},
               kPins});
}

Message Box(const std::string& text) {
  return {"Wavrix error", text, 1};
}
Message Fatal(int code) {
  return {"Error", "Runtime error " + std::to_string(code) + " at [0-9A-F]{8}", 0};
}

}  // namespace

std::vector<Case> Cases() {
  const Message none = Box("No frequency parameter");
  const Message invalid = Box("Invalid frequency parameter");
  const Message refused = Box("Unable to set tuner \\(frequency\\?\\)");
  const Calls refusedCalls = Join({kSetUp, kPins});
  const std::string zeros4096(4096, '0');

  // A line near the longest Windows allows: the argument after 31,900 blanks.
  std::string longLine = "wavrix.exe";
  for (int i = 0; i < 3190; ++i) {
    longLine += " \t        ";
  }
  longLine += "98.5 " + std::string(80, 'x');

  return {
      {"no argument", "wavrix.exe", std::nullopt, "", {none}, 0, kSetUp, {}},
      {"only blanks", "wavrix.exe \t  ", std::nullopt, "", {none}, 0, kSetUp, {}},
      {"only an empty quoted pair", "wavrix.exe \"\"", std::nullopt, "", {none}, 0, kSetUp, {}},
      {"quoted program name",
       "\"C:\\Program Files\\Wavrix\\wavrix.exe\" 98.5",
       "98.5",
       "",
       {},
       0,
       Tuned("06, D3"),
       kLockedWaits},
      {"MHz", "wavrix.exe 98.5", "98.5", "", {}, 0, Tuned("06, D3"), kLockedWaits},
      {"Hz", "wavrix.exe 98500000", "98500000", "", {}, 0, Tuned("06, D3"), kLockedWaits},
      {"empty quoted pair before the argument",
       "wavrix.exe \"\" 98.5",
       "98.5",
       "",
       {},
       0,
       Tuned("06, D3"),
       kLockedWaits},
      {"quoted argument with a leading space",
       "wavrix.exe \" 98.5\"",
       " 98.5",
       "",
       {},
       0,
       Tuned("06, D3"),
       kLockedWaits},
      {"leading tab inside quotes",
       "wavrix.exe \"\t98.5\"",
       "\t98.5",
       "",
       {invalid},
       0,
       kSetUp,
       {}},
      {"quote inside a token",
       "wavrix.exe 98\".\"5",
       "98.5",
       "",
       {},
       0,
       Tuned("06, D3"),
       kLockedWaits},
      {"quoted blank inside a token",
       "wavrix.exe 9\"8.5 M\"Hz",
       "98.5 MHz",
       "",
       {invalid},
       0,
       kSetUp,
       {}},
      {"unclosed quote", "wavrix.exe \"98.5", "98.5", "", {}, 0, Tuned("06, D3"), kLockedWaits},
      {"second argument ignored",
       "wavrix.exe 98.5 abc",
       "98.5",
       "",
       {},
       0,
       Tuned("06, D3"),
       kLockedWaits},
      {"unquoted run over 4096 characters",
       "wavrix.exe " + zeros4096 + "12x",
       zeros4096 + "12x",
       "",
       {refused},
       0,
       refusedCalls,
       {}},
      {"quoted run over 4096 characters",
       "wavrix.exe \"" + zeros4096 + "12 x\" 1",
       zeros4096 + "12 x",
       "",
       {refused},
       0,
       refusedCalls,
       {}},
      {"bytes of 128 and above",
       "wavrix.exe 98.5\xe9\xfc",
       "98.5\xe9\xfc",
       "",
       {invalid},
       0,
       kSetUp,
       {}},
      {"line near 32,000 characters", longLine, "98.5", "", {}, 0, Tuned("06, D3"), kLockedWaits},
      {"not a number", "wavrix.exe 98,5", "98,5", "", {invalid}, 0, kSetUp, {}},
      {"1000 is Hz", "wavrix.exe 1000", "1000", "", {refused}, 0, refusedCalls, {}},
      {"below the band", "wavrix.exe -98.5", "-98.5", "", {refused}, 0, refusedCalls, {}},
      {"low 32 bits",
       "wavrix.exe 4394967296",
       "4394967296",
       "",
       {},
       0,
       Tuned("06, EB"),
       kLockedWaits},
      {"tie to the band edge",
       "wavrix.exe 87499999.5",
       "87499999.5",
       "",
       {},
       0,
       Tuned("06, 23"),
       kLockedWaits},
      {"slow tuner",
       "wavrix.exe 100",
       "100",
       "20,00,fail,40",
       {},
       0,
       Join({kSetUp,
             {"I2CHWWrite3(C0, 06, EB) = 0", "I2CHWRead(C0) = 0 -> 20",
              "I2CHWWrite3(C0, 8E, A1) = 0", "I2CHWWrite3(C0, 8E, A5) = 0",
              "I2CHWRead(C0) = 0 -> 00", "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 0 -> 40"},
             kPins}),
       {30, 30, 30, 30, 1}},
      {"tuner never locks",
       "wavrix.exe 108",
       "108",
       "fail",
       {},
       0,
       Join({kSetUp,
             {"I2CHWWrite3(C0, 07, 6B) = 0", "I2CHWRead(C0) = 1", "I2CHWWrite3(C0, 8E, A5) = 0",
              "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 1", "I2CHWRead(C0) = 1",
              "I2CHWRead(C0) = 1"},
             kPins}),
       {30, 30, 30, 30, 30, 1}},
      {"rounding out of range", "wavrix.exe 1e19", "1e19", "", {Fatal(207)}, 207, kSetUp, {}},
      {"infinity", "wavrix.exe 1e5120", "1e5120", "", {Fatal(207)}, 207, kSetUp, {}},
      {"overflow at the store", "wavrix.exe 1e400", "1e400", "", {Fatal(205)}, 205, kSetUp, {}},
      {"overflow at the MHz product",
       "wavrix.exe -1e303",
       "-1e303",
       "",
       {Fatal(205)},
       205,
       kSetUp,
       {}},
      {"overflow while reading", "wavrix.exe 1e5119", "1e5119", "", {Fatal(205)}, 205, kSetUp, {}},
      {"overflow before the error position",
       "wavrix.exe 2" + std::string(308, '0') + "x",
       "2" + std::string(308, '0') + "x",
       "",
       {Fatal(205)},
       205,
       kSetUp,
       {}},
  };
}

}  // namespace e2e
