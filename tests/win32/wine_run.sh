#!/usr/bin/env bash
# Runs a Windows program under Wine in the tests' own prefix, making the
# prefix on first use.
#   wine_run.sh PREFIX PROGRAM [ARGUMENTS...]
set -euo pipefail
export WINEPREFIX=$(realpath -m "$1")
shift
# No .NET or browser engine: their installers would ask for a display. No
# menu builder: it would write menus and file types into the user's home.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
# Wine 10 cannot start with TMPDIR set (as CTest sets it for the tests): its
# server's socket and lock go in /tmp, and wine_end.sh removes them.
unset TMPDIR
if [ ! -f "$WINEPREFIX/.wavrix-ready-4" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.wavrix-ready-4" ]; then
      WINEDEBUG=-all wineboot -i >/dev/null 2>&1
      # With WINEDEBUG=+relay, log only the calls the tests look at.
      WINEDEBUG=-all wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
        /d 'user32.MessageBoxA;kernel32.Sleep' /f >/dev/null 2>&1
      # A program named wavrix98.exe sees Windows 98: the end-to-end table runs
      # once more that way.
      WINEDEBUG=-all wine reg add 'HKCU\Software\Wine\AppDefaults\wavrix98.exe' /v Version \
        /t REG_SZ /d win98 /f >/dev/null 2>&1
      WINEDEBUG=-all wineserver -w
      touch "$WINEPREFIX/.wavrix-ready-4"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
