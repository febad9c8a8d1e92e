#!/usr/bin/env bash
# The end of the tests' Wine server (tests/win32/wine_end.sh), against a
# stand-in wineserver and a temporary folder of the case's own.
#   wine_end_test.sh CASE
set -euo pipefail
script="$(cd "$(dirname "$0")" && pwd)/win32/wine_end.sh"
case_name=$1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/tmp" "$work/prefix" "$work/other"
export CALLS=$work/calls WAVRIX_TEST_WINE_TMP=$work/tmp
: >"$CALLS"
printf '#!/bin/sh\necho "WINEPREFIX=$WINEPREFIX TMPDIR=${TMPDIR-unset} wineserver $*" >>"$CALLS"\n' \
  >"$work/bin/wineserver"
chmod +x "$work/bin/wineserver"
server() { echo "server-$(stat -c %D "$1")-$(printf %x "$(stat -c %i "$1")")"; }

source "$(dirname "$0")/script_checks.sh"
run() {
  status=0
  output=$(env PATH="$work/bin:$PATH" TMPDIR="$work" bash "$script" "$@" 2>&1) || status=$?
}

case $case_name in
  ItsServerFolderGoesAndNoOtherPrefixs)
    mkdir -p "$work/tmp/wine-ab12CD/$(server "$work/prefix")" "$work/tmp/wine-Ef34gh/$(server "$work/other")"
    touch "$work/tmp/wine-ab12CD/$(server "$work/prefix")/lock"
    run "$work/prefix"
    exits 0
    [ ! -e "$work/tmp/wine-ab12CD" ] || fail "its server's folder is left"
    [ -d "$work/tmp/wine-Ef34gh/$(server "$work/other")" ] || fail "another prefix's server folder went"
    called "WINEPREFIX=$work/prefix TMPDIR=unset wineserver -k"
    ;;
  APrefixNoRunMadeIsLeftAlone)
    run "$work/none"
    exits 0
    [ ! -s "$CALLS" ] || fail "wineserver was started"
    ;;
  *) echo "wine_end_test.sh: no case $case_name" >&2; exit 2 ;;
esac
finish
