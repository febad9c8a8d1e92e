#!/usr/bin/env bash
# Runs the Linux program under valgrind's memcheck on every case of the
# end-to-end table (tests/end_to_end_cases.cc): every run must be free of
# memory errors and leaks and end with the case's exit code. (valgrind carries
# x87 extended arithmetic in double precision, so the numbers themselves are
# not judged here, and either fault report stands for the other; the tests
# judge them natively.) A run that ends any other way, valgrind's own trouble
# included, fails with its log shown, and so does a machine without valgrind.
# The program and the card library are built first, so that the runs check
# what the sources are now.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/need.sh
need all valgrind cmake ninja cc c++
cmake --preset native >/dev/null
cmake --build --preset native --target wavrix btvid_32 wavrix_e2e_cases_list
exe=build/native/bin/wavrix
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
memory_errors=99
runs=0
failures=0

# One run of the program under valgrind: check NAME EXIT-CODE [NAME=VALUE...]
# -- [ARGUMENT], with the simulated card's settings before the --.
check() {
  local name=$1 expected=$2 settings=() status=0
  shift 2
  while [ "$1" != -- ]; do
    settings+=("$1")
    shift
  done
  shift
  env WAVRIX_SIM_TRACE="$work/trace" "${settings[@]}" \
    valgrind -q --error-exitcode=$memory_errors --leak-check=full \
    --errors-for-leak-kinds=definite,indirect "$exe" "$@" >/dev/null 2>"$work/log" || status=$?
  runs=$((runs + 1))
  # Past the double range valgrind's arithmetic is not the x87's: a number
  # that the x87 carries to an invalid rounding (207) may overflow there
  # (205) instead. Either fault is the program's own report.
  if [[ "$expected $status" =~ ^20[57]\ 20[57]$ ]]; then
    status=$expected
  fi
  if [ "$status" -ne "$expected" ]; then
    failures=$((failures + 1))
    local what="ended with $status, not $expected"
    [ "$status" -ne $memory_errors ] || what="has memory errors"
    echo "memcheck: $name: ${settings[*]:+${settings[*]} }wavrix ${*@Q} $what:" >&2
    cat "$work/log" >&2
  fi
}

# The cases are the end-to-end table's, as its lister gives them: name, exit
# code, the number of settings and the settings, then whether there is an
# argument and the argument, each field ended by a NUL.
build/native/bin/wavrix_e2e_cases_list >"$work/cases"
while IFS= read -r -d '' name; do
  IFS= read -r -d '' code
  IFS= read -r -d '' count
  settings=()
  for ((i = 0; i < count; i++)); do
    IFS= read -r -d '' setting
    settings+=("$setting")
  done
  IFS= read -r -d '' has_argument
  argument=()
  if [ "$has_argument" = 1 ]; then
    IFS= read -r -d '' value
    argument=("$value")
  fi
  check "$name" "$code" "${settings[@]}" -- "${argument[@]}"
done <"$work/cases"
[ "$runs" -gt 0 ] || { echo "memcheck: the end-to-end table lists no cases" >&2; exit 1; }

if [ "$failures" -ne 0 ]; then
  echo "memcheck: $failures of $runs runs failed" >&2
  exit 1
fi
echo "memcheck: $runs runs, no errors"
