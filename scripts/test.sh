#!/usr/bin/env bash
# Builds every configuration of Wavrix and runs every check:
#   plain Release builds with g++ and clang++, warnings as errors,
#   the Windows program built with a distribution's hardening flags,
#   three release builds that must give the same archive: two in two
#   folders, and one by the README's steps to check a download,
#   static analysis (clang-tidy, cppcheck),
#   the test suite under AddressSanitizer and UndefinedBehaviorSanitizer,
#   coverage of app/, tuner/ and cardbus/ (at least 95% of lines),
#   each fuzz target for a bounded time (WAVRIX_FUZZ_SECONDS, default 60),
#   valgrind memcheck on the end-to-end paths,
#   and last the full suite: unit, end-to-end, the MPFR check of the number
#   reader, the Windows program on an emulated i486 and Pentium, and under
#   Wine where the set-up could install it (the kernel runs 32-bit programs
#   and the mirror has it); the last lines list every test skipped and why.
# What any step puts in a temporary folder goes in build/tmp, which must be
# empty at the end: a step that leaves anything behind fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh all
export TMPDIR=$PWD/build/tmp
bash tests/temp_folder.sh prepare "$TMPDIR"

step() { printf '\n==== %s\n' "$*"; }

step "configure and build (Linux, and Windows beside it)"
cmake --preset native
cmake --build --preset native

step "plain Release builds as a user makes them, warnings as errors (g++, clang++)"
# No preset: the default generator and options, as in docs/DEVELOPING.md; the Windows
# program is built beside the g++ one.
cmake -S . -B build/release-gcc -DCMAKE_BUILD_TYPE=Release -DWAVRIX_WERROR=ON \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build build/release-gcc -j "$(nproc)" >/dev/null
cmake -S . -B build/release-clang -DCMAKE_BUILD_TYPE=Release -DWAVRIX_WERROR=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DWAVRIX_WITH_WINDOWS=OFF >/dev/null
cmake --build build/release-clang -j "$(nproc)" >/dev/null
echo "both built"

step "the exe built with a distribution's hardening flags: still only what the project says"
# Debian's full hardening set as its packages build with it (CPPFLAGS folded
# in, as its CMake helper does), with the two that newer releases add by
# default, -fstack-clash-protection and -fcf-protection. The exe must come out
# with the same imports and headers, no instruction past the i486, within its
# size, and behave the same on the emulated processors.
(
  hardening="-fstack-protector-strong -fstack-clash-protection -fcf-protection -Wformat"
  hardening+=" -Werror=format-security -D_FORTIFY_SOURCE=2"
  export CFLAGS="-g -O2 $hardening" CXXFLAGS="-g -O2 $hardening"
  export LDFLAGS="-Wl,-z,relro -Wl,-z,now"
  cmake -S . -B build/hardened -G Ninja -DCMAKE_BUILD_TYPE=Release -DWAVRIX_WERROR=ON \
    -DWAVRIX_BUILD_BENCHMARKS=OFF >/dev/null
  cmake --build build/hardened --target wavrix_program_tests >/dev/null
  ctest --test-dir build/hardened --output-on-failure \
    -R '^(WindowsProgramFileTest|([A-Za-z0-9]+/)?Emulated[A-Za-z]*Test)\.'
)

step "reproducible release: three builds, one archive"
bash scripts/check_reproducible.sh

step "static analysis"
bash scripts/analyze.sh

step "sanitizers"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
ctest --preset sanitize

step "coverage"
bash scripts/coverage.sh

step "fuzzing"
bash scripts/fuzz.sh "${WAVRIX_FUZZ_SECONDS:-60}"

step "valgrind memcheck"
bash scripts/memcheck.sh

step "tests"
ctest --preset native
bash tests/temp_folder.sh check "$TMPDIR"
# ctest names the tests it skipped; why, each says in its own output. The rows
# of one run of a table (PREFIX/SUITE.TEST/ROW) that skip for one reason make one
# line, their rows shown as *.
awk '/^\[ RUN      \] /{name=$4}
  prev ~ /: Skipped$/{
    if (name ~ /^[^\/]+\/[^\/]+\/[^\/]+$/) sub(/\/[^\/]+$/, "/*", name)
    key = name "\t" $0
    if (!(key in count)) { order[n++] = key; test[key] = name; reason[key] = $0 }
    count[key]++
  }
  {prev=$0}
  END {
    for (i = 0; i < n; i++) {
      k = order[i]
      print "skipped " test[k] (count[k] > 1 ? " (" count[k] " tests)" : "") ": " reason[k]
    }
  }' build/native/Testing/Temporary/LastTest.log
