#!/usr/bin/env bash
# Installs what building and testing Wavrix needs and a fresh Debian machine
# may lack. Idempotent: packages already present are left alone.
#   scripts/setup.sh native    the Linux build
#   scripts/setup.sh windows   the Linux build, the Windows cross build and
#                              zip/unzip for the release archive
#   scripts/setup.sh all       everything the full test run uses: Wine, QEMU's
#                              user-mode emulator, clang, its sanitizer runtimes
#                              and LLVM's tools (llvm-addr2line reads clang's
#                              debug information), the analysers, valgrind,
#                              gcovr, GNU MPFR and xmllint
set -euo pipefail

what=${1:-all}
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev googletest binutils libbenchmark-dev zlib1g-dev)
case "$what" in
  native) ;;
  windows) packages+=(g++-mingw-w64-i686 zip unzip) ;;
  all) packages+=(g++-mingw-w64-i686 zip unzip wine wine32:i386 qemu-user libmpfr-dev clang
                  libclang-rt-14-dev llvm-14 clang-tidy cppcheck valgrind gcovr libxml2-utils) ;;
  *) echo "usage: $0 [native|windows|all]" >&2; exit 2 ;;
esac

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

# Wine runs the 32-bit Windows program with its 32-bit half.
if [ "$what" = all ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -qq
  # With recommends, as the Wine tests were proven with them.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
