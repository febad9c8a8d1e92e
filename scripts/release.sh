#!/usr/bin/env bash
# Builds the Windows program for release and packs it with the README into
# build/win32/wavrix-<version>-win32.zip.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh windows
cmake --preset win32 >/dev/null
cmake --build --preset win32
cpack --preset win32
