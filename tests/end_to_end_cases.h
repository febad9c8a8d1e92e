// The end-to-end cases: one table that every run of the programs goes
// through, the Linux program with its argument, the Windows program with an
// exact command line (under Wine, and on emulated processors), and all must
// give these results; how a run is held to them; each row as a test of its
// own, named by the row; and the faults whose reported location must be the
// check that detected them.
#ifndef WAVRIX_TESTS_END_TO_END_CASES_H_
#define WAVRIX_TESTS_END_TO_END_CASES_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/expect_seen.h"
#include "tests/process.h"
#include "tests/traffic.h"

namespace e2e {

using traffic::Message;
using traffic::Seen;  // in the cases and their runs below

/// The simulated card a case runs against; a row names only what differs
/// from the default card.
struct Card {
  std::string status;       ///< WAVRIX_SIM_STATUS; empty: the default
  std::string controlWord;  ///< WAVRIX_SIM_CONTROL_WORD; empty: the x87 is left alone
};

/// One row of the table, written with designated initializers; a field left
/// out keeps the default here.
struct Case {
  /// Its test's name: an identifier in CamelCase, unique in the table.
  std::string name;
  /// The whole command line as Windows hands it over, program name first.
  std::string commandLine;
  /// What the Linux program gets as argv[1] for the same request: the first
  /// argument the command line holds, none when it holds none.
  std::optional<std::string> argument;
  Card card;
  std::vector<Message> messages;
  int exitCode = 0;
  /// The calls the simulated card traced (tests/traffic.h).
  std::vector<std::string> calls;
  /// The waits asked of the operating system, in ms, in order.
  std::vector<uint32_t> waits;
};

std::vector<Case> Cases();

/// A driver as the simulated card can be built beyond the bare promise of
/// its operations: each kind must leave the whole table as it is.
struct Driver {
  std::string name;
  std::string traits;  ///< WAVRIX_SIM_DRIVER
  /// Whether what it does shows only on a processor whose x87 faults on a
  /// register-stack overflow (a real one, not QEMU's).
  bool needsRealX87 = false;
};

/// The bare driver: what the simulated card does without being told.
inline const Driver kBareDriver{"bare driver", "", false};

/// One driver for each thing a driver may do that the program must survive:
/// store a whole word for a byte read, read byte arguments as whole slots,
/// leave all eight x87 registers in use after every call.
const std::vector<Driver>& Drivers();

/// What a finished run showed by itself: its exit code and output. Its
/// messages, bus calls and waits are each run's own to read.
Seen SeenOf(const testproc::Result& result);

/// The simulated card's settings for the case under `driver`, as environment
/// entries.
std::vector<std::string> CardEnv(const Case& c, const Driver& driver = kBareDriver);

/// The kind of driver in Drivers() with `traits`, for an instantiation of the
/// table of its own in the runs named `runs`; without one the test program
/// stops as it starts, saying so. The lookup is kept for DriversNotRun.
const Driver& DriverWith(const std::string& traits, const std::string& runs);

/// The names of the kinds of driver in Drivers() that no instantiation of
/// `runs` looked up: a driver added there without its run.
std::vector<std::string> DriversNotRun(const std::string& runs);

/// Cases(), made once for the whole test program, for the rows to point into:
/// each test program registers the table a dozen times over, and starts once
/// for each test a ctest run makes.
const std::vector<Case>& TheCases();

/// One row of the table as one kind of run goes through it: the parameter of
/// a test of that row alone.
template <typename Run>
struct Row {
  Run run;
  const Case* c;
};

/// Every row of the table, for one instantiation of a run's test.
template <typename Run>
std::vector<Row<Run>> RowsFor(const Run& run) {
  std::vector<Row<Run>> rows;
  for (const Case& c : TheCases()) {
    rows.push_back({run, &c});
  }
  return rows;
}

/// A command line on one line, escaped, a long one cut in the middle: what a
/// test list or a failure report shows of a row.
std::string Shown(const std::string& commandLine);

template <typename Run>
void PrintTo(const Row<Run>& row, std::ostream* os) {
  *os << Shown(row.c->commandLine);
}

/// A fault the program must detect, and the check that must detect it: the
/// call that makes the check, as it stands on its line in the source.
struct FaultSite {
  std::string name;  ///< its test's name, as a row's
  std::string argument;
  std::string code;
};

const std::vector<FaultSite>& FaultSites();

inline void PrintTo(const FaultSite& site, std::ostream* os) {
  *os << site.argument;
}

/// Names each test of a row, or of a fault site, by it. GoogleTest stops the
/// test program as it starts on a name that is not letters, digits and
/// underscores, or that one instantiation uses twice; nothing renames it.
struct ParamName {
  template <typename Run>
  std::string operator()(const ::testing::TestParamInfo<Row<Run>>& info) const {
    return info.param.c->name;
  }
  std::string operator()(const ::testing::TestParamInfo<FaultSite>& info) const {
    return info.param.name;
  }
};

/// Runs the site's argument with `run`, and checks that the location its
/// report gives is the site's check: the debug information of `image`, read
/// with `addr2line` (binutils', LLVM's for a clang build, the cross one for a
/// Windows image), puts it on a source line that holds the site's code, in
/// the function that made the call or in one inlined into it. Skips where
/// `image` has no debug information.
void ExpectFaultAt(const FaultSite& site, const std::function<Seen(const Case&)>& run,
                   const std::string& addr2line, const std::string& image);

/// Runs every site's argument with `run`: each report gives a location, and no
/// two the same.
void ExpectDistinctFaultLocations(const std::function<Seen(const Case&)>& run);

}  // namespace e2e

#endif  // WAVRIX_TESTS_END_TO_END_CASES_H_
