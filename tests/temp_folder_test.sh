#!/usr/bin/env bash
# The check that the tests left nothing in their temporary folder
# (tests/temp_folder.sh), on a folder of its own. One case a run:
#   temp_folder_test.sh CASE
set -euo pipefail
script="$(cd "$(dirname "$0")" && pwd)/temp_folder.sh"
case_name=$1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dir=$work/tmp

source "$(dirname "$0")/script_checks.sh"
run() {
  status=0
  output=$(bash "$script" "$1" "$dir" 2>&1) || status=$?
}
is_empty() {
  if [ ! -d "$dir" ] || [ -n "$(ls -A "$dir")" ]; then fail "$dir is not there and empty"; fi
}
# What a test that failed to clean up leaves, a folder it cannot write included.
leave() { mkdir -p "$dir/wavrix_test_1/locked" && touch "$dir/.hidden" "$dir/wavrix_test_1/file" &&
  chmod 500 "$dir/wavrix_test_1/locked"; }

case $case_name in
  AnythingLeftFailsNamedAndIsRemoved)
    leave
    run check
    exits 1
    expect "temp_folder: the tests left behind in $dir:"
    expect "  .hidden"
    expect "  wavrix_test_1/"
    expect "  wavrix_test_1/file"
    expect "  wavrix_test_1/locked/"
    is_empty
    ;;
  PreparingEmptiesWhatAKilledRunLeft)
    leave
    run prepare
    exits 0
    is_empty
    ;;
  *) echo "temp_folder_test.sh: no case $case_name" >&2; exit 2 ;;
esac
finish
