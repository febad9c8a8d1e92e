#!/usr/bin/env bash
# Builds every configuration of Wavrix and runs all its tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh all
cmake --preset native
cmake --build --preset native
ctest --preset native
