#!/usr/bin/env bash
# Builds Wavrix for Linux and tunes the simulated card, showing the card's
# trace of every call on standard error, then wavrix's exit code. Arguments go
# to wavrix; with none, it tunes 98.5. A first argument "--" is dropped and
# what follows goes as it is: `run.sh --` runs wavrix with no argument at all.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/need.sh
need native cmake ninja cc c++
cmake --preset native >/dev/null
cmake --build --preset native --target wavrix btvid_32 >/dev/null
if [ $# -eq 0 ]; then
  set -- 98.5
elif [ "$1" = -- ]; then
  shift
fi
status=0
WAVRIX_SIM_TRACE=${WAVRIX_SIM_TRACE:-stderr} WAVRIX_SIM_TIME=${WAVRIX_SIM_TIME:-1} \
  build/native/bin/wavrix "$@" || status=$?
echo "wavrix exited with code $status" >&2
exit "$status"
