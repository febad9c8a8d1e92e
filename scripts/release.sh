#!/usr/bin/env bash
# Builds the Windows program for release and packs, in build/win32:
#   wavrix-<version>-win32.zip        wavrix.exe and README.TXT
#   wavrix-<version>-win32.buildinfo  the build record: the version, the
#                                     commit, the date, the system and the
#                                     tools that built it, and the checksums
#                                     of the exe and the archive
#   SHA256SUMS                        the checksums of the archive and the
#                                     record
# The same commit gives the same bytes on any machine with the same tools:
# every date comes from SOURCE_DATE_EPOCH, which the Windows build takes from
# the last commit, at each build, when it is unset (cmake/windows.cmake). The
# commit recorded is the one checked out; a copy of the source without its
# .git is told it by WAVRIX_SOURCE_COMMIT (scripts/source_commit.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/need.sh
need windows cmake ninja "$mingw_cxx" "$mingw-windres" \
  "$mingw-strip" zip sha256sum
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target release
