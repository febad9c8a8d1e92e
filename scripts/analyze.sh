#!/usr/bin/env bash
# Static analysis of the program, the simulated card and the tools: clang-tidy
# (with .clang-tidy) and cppcheck must report nothing. The files are every
# source the builds compile, read from their compile commands, less the test
# suites (tests/, fuzz/, bench/ and *_test.cc): a new source is analysed
# without a list to keep. clang-tidy reads the Linux build's commands;
# cppcheck also takes the sources only the Windows build compiles. A file
# either analyser cannot read fails the run, with the analyser's own words.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
source scripts/need.sh
# The MinGW-w64 compiler and resource compiler configure the Windows release
# build, whose compile commands list what only Windows compiles.
need all cmake ninja cc c++ clang-tidy cppcheck \
  "$mingw_cxx" "$mingw-windres"

# The project's own C and C++ sources that a compile database lists.
sources() {
  sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$1" | sed "s#^$top/##" | sort -u |
    grep -E '\.(c|cc)$' | grep -v -E '^(/|build/|tests/|fuzz/|bench/)|_test\.cc$' || true
}

cmake --preset native >/dev/null
native=$(sources build/native/compile_commands.json)
# The Windows release build's commands, for what only Windows compiles.
if ! cmake --preset win32 >/dev/null; then
  echo "analyze: the Windows sources cannot be listed: the Windows build does not configure" >&2
  exit 1
fi
windows=$(sources build/win32/compile_commands.json)
all=$(printf '%s\n%s\n' "$native" "$windows" | sort -u)
if [ -z "$native" ] || [ -z "$windows" ]; then
  echo "analyze: no sources found in the compile commands" >&2
  exit 1
fi

# A .clang-tidy this clang-tidy cannot read would leave it checking its
# defaults alone, and passing.
config_errors=$(clang-tidy --dump-config 2>&1 >/dev/null)
if [ -n "$config_errors" ]; then
  echo "analyze: this clang-tidy cannot read .clang-tidy:" >&2
  echo "$config_errors" >&2
  exit 1
fi
echo "analyze: clang-tidy, $(wc -w <<<"$native") files"
# clang-tidy reads the GCC build's compile commands; flags only GCC knows are
# dropped from its copy.
mkdir -p build/analyze
sed -e 's/ -fno-tree-loop-distribute-patterns//g' -e 's/ -Wno-restrict//g' \
  build/native/compile_commands.json >build/analyze/compile_commands.json
# Its count of the warnings it kept quiet (those of system headers) is no
# news; everything else it says is shown.
# shellcheck disable=SC2086 # one file a word
clang-tidy --quiet -p build/analyze $native 2> >(grep -v -E '^[0-9]+ warnings? generated\.$' >&2)

echo "analyze: cppcheck, $(wc -w <<<"$all") files"
# The power tables are data that cppcheck's number parser cannot take (values
# past the double range); clang-tidy covers them.
# A cppcheck that knows check levels (2.11 on) follows only some branches
# unless told to follow all, and reports that it did.
levels=()
if grep -q -- '--check-level' <<<"$(cppcheck --help)"; then
  levels=(--check-level=exhaustive)
fi
# shellcheck disable=SC2046 # one file a word
cppcheck --quiet --error-exitcode=1 --inline-suppr --std=c++20 "${levels[@]}" \
  --enable=warning,style,performance,portability --suppress=missingIncludeSystem \
  -I . $(grep -v -x 'app/powers_of_ten.cc' <<<"$all")
echo "analyze: nothing reported"
