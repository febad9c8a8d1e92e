#!/usr/bin/env bash
# Installs what building and testing Wavrix needs and a fresh Debian machine
# may lack. Idempotent: packages already present are left alone.
#   scripts/setup.sh native    the Linux build and its tests
#   scripts/setup.sh all       everything the full test run uses
set -euo pipefail

what=${1:-all}
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ "$what" = native ] || [ "$what" = all ] || { echo "usage: $0 [native|all]" >&2; exit 2; }

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
