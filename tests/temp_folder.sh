#!/usr/bin/env bash
# A temporary folder of a build's own, the TMPDIR of every test CTest runs
# and of every step of scripts/test.sh.
#   temp_folder.sh prepare DIR   makes DIR empty, whatever a killed run left
#   temp_folder.sh check DIR     fails naming everything left in DIR, and
#                                empties it for the next run
set -euo pipefail
action=${1:-}
dir=${2:-}
case $dir in
  "" | /) echo "usage: temp_folder.sh prepare|check DIR" >&2; exit 2 ;;
esac

# A test may have left a folder it cannot enter or write.
empty() {
  chmod -R u+rwx -- "$dir" 2>/dev/null || true
  rm -rf -- "$dir"
  mkdir -p -- "$dir"
}

case $action in
  prepare) empty ;;
  check)
    [ -d "$dir" ] || { echo "temp_folder: $dir is gone" >&2; exit 1; }
    left=$(find "$dir" -mindepth 1 \( -type d -printf '  %P/\n' -o -printf '  %P\n' \) | sort)
    empty
    if [ -n "$left" ]; then
      printf 'temp_folder: the tests left behind in %s:\n%s\n' "$dir" "$left" >&2
      exit 1
    fi
    ;;
  *) echo "usage: temp_folder.sh prepare|check DIR" >&2; exit 2 ;;
esac
