#!/usr/bin/env bash
# Static analysis of the program's own code: clang-tidy (with .clang-tidy) and
# cppcheck must report nothing. Needs the native build's compile commands.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/native/compile_commands.json ] || cmake --preset native >/dev/null

logic=(app/command_line.cc app/decimal.cc app/faults.cc app/frequency_command.cc
       cardbus/btvid_32.cc cardbus/btvid_32_link_stub.cc tuner/fm1216.cc
       platform/fpu.cc platform/posix.cc app/entry_posix.cc simcard/library.cc simcard/card.cc
       platform/icon/make_icon.cc tests/exe_runner/exe_runner.cc tests/exe_runner/linux_i386.cc
       tests/exe_runner/pe_image.cc tests/exe_runner/windows_api.cc)

echo "analyze: clang-tidy"
# clang-tidy reads the GCC build's compile commands; flags only GCC knows are
# dropped from its copy.
mkdir -p build/analyze
sed -e 's/ -fno-tree-loop-distribute-patterns//g' -e 's/ -Wno-restrict//g' build/native/compile_commands.json \
  > build/analyze/compile_commands.json
clang-tidy --quiet -p build/analyze "${logic[@]}" app/powers_of_ten.cc 2>/dev/null

echo "analyze: cppcheck"
# The power tables are data that cppcheck's number parser cannot take (values
# past the double range); clang-tidy covers them.
cppcheck --quiet --error-exitcode=1 --inline-suppr --std=c++20 \
  --enable=warning,style,performance,portability --suppress=missingIncludeSystem \
  -I . "${logic[@]}" platform/win32.cc app/entry_win32.cc
echo "analyze: nothing reported"
