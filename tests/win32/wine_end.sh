#!/usr/bin/env bash
# Ends the Wine server of the tests' prefix and removes the folder Wine keeps
# for it in /tmp, which it leaves behind with a lock: wine-XXXXXX/server-DEV-INODE,
# DEV and INODE being the prefix's, in hex. Fails when that folder stays.
#   wine_end.sh PREFIX
set -euo pipefail
prefix=$(realpath -m "$1")
wine_tmp=${WAVRIX_TEST_WINE_TMP:-/tmp}  # the tests give a folder of their own
[ -d "$prefix" ] || exit 0  # no Wine run made it
unset TMPDIR
if command -v wineserver >/dev/null; then
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1 || true
fi
server=server-$(stat -c %D "$prefix")-$(printf %x "$(stat -c %i "$prefix")")
for dir in "$wine_tmp"/wine-*/"$server" "$wine_tmp/.wine-$(id -u)/$server"; do
  [ -d "$dir" ] && [ -O "$dir" ] || continue
  rm -rf -- "$dir"
  rmdir -- "$(dirname "$dir")" 2>/dev/null || true
  [ ! -e "$dir" ] || { echo "wine_end: cannot remove $dir" >&2; exit 1; }
done
