#!/usr/bin/env bash
# Builds the Windows program for release and packs it with the README into
# build/win32/wavrix-<version>-win32.zip, with build/win32/SHA256SUMS beside
# it. The same commit gives the same bytes on any machine with the same
# tools: every date comes from SOURCE_DATE_EPOCH, which the Windows build takes
# from the last commit, at each build, when it is unset (cmake/windows.cmake).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/need.sh
need windows cmake ninja "i686-w64-mingw32-g++-win32|i686-w64-mingw32-g++" i686-w64-mingw32-windres \
  i686-w64-mingw32-strip zip sha256sum
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target release
