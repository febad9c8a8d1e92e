#!/usr/bin/env bash
# Installs what building and testing Wavrix needs and a fresh Debian machine
# may lack. Idempotent: packages already present are left alone.
#   scripts/setup.sh native    the Linux build
#   scripts/setup.sh windows   the Linux build, the Windows cross build and
#                              zip/unzip for the release archive
#   scripts/setup.sh all       everything the full test run uses: QEMU's
#                              user-mode emulator, clang, its sanitizer runtimes
#                              and LLVM's tools (llvm-addr2line reads clang's
#                              debug information), the analysers, valgrind,
#                              gcovr, GNU MPFR and xmllint; and Wine, where
#                              this machine's kernel runs 32-bit programs
#   scripts/setup.sh root      mmdebstrap and uidmap, for scripts/fresh_root.sh
#
# A package is needed or optional. A needed one that does not install stops
# the set-up, named with apt's reason. Wine is optional: only its own tests use
# it, and they skip without it, saying so; where it does not install, one line
# names it and the set-up goes on. A package index that fails to download (a
# mirror caught mid-sync) is named in one line, and the install goes on from
# the indexes that did.
#
# Installing takes root rights: root itself, or sudo. Without them nothing is
# installed: one line names the needed packages missing and the command that
# installs them as root, and the set-up stops; a missing Wine gets its own such
# line, and the set-up goes on.
set -euo pipefail

what=${1:-all}
# make for a plain CMake build, which apt brings only with recommended packages.
needed=(cmake make ninja-build g++ libgtest-dev libgmock-dev googletest binutils libbenchmark-dev
        zlib1g-dev)
optional=()
case "$what" in
  native) ;;
  windows) needed+=(g++-mingw-w64-i686 zip unzip) ;;
  all) needed+=(g++-mingw-w64-i686 zip unzip qemu-user libmpfr-dev clang libclang-rt-dev
                llvm clang-tidy cppcheck valgrind gcovr libxml2-utils)
       optional+=(wine wine32:i386) ;;
  root) needed=(mmdebstrap uidmap) ;;
  *) echo "usage: $0 [native|windows|all|root]" >&2; exit 2 ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)

# Root rights: root, or a sudo that needs no password or can ask for one at
# this terminal (a sudo that cannot ask would only fail later, mid-install).
sudo=""
rights=1
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null && { sudo -n true 2>/dev/null || [ -t 0 ]; }; then
    sudo=sudo
  else
    rights=""
  fi
fi

# Whether this machine's kernel runs 32-bit x86 programs, found by running
# one: 92 bytes of ELF, a header, one segment and `exit(42)` through int 0x80.
# A kernel without 32-bit support refuses to start it.
# WAVRIX_TEST_NO_32BIT=1 makes the answer no, as it does for the tests.
kernel_runs_32bit() {
  [ "${WAVRIX_TEST_NO_32BIT:-}" != 1 ] || return 1
  local elf dir status=0
  elf='\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08'
  elf+='\x34\0\0\0\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0'
  elf+='\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x5c\0\0\0\x5c\0\0\0\x05\0\0\0'
  elf+='\0\x10\0\0\x6a\x2a\x5b\x6a\x01\x58\xcd\x80'
  # In the build folder, which must allow running programs anyway.
  mkdir -p "$root/build" && dir=$(mktemp -d "$root/build/probe32.XXXXXX") || return 1
  printf '%b' "$elf" >"$dir/probe"
  chmod +x "$dir/probe"
  "$dir/probe" 2>/dev/null || status=$?
  rm -rf "$dir"
  [ "$status" -eq 42 ]
}

# Wine runs the 32-bit Windows program with 32-bit Linux code, and comes with
# the i386 architecture; a kernel that cannot run such code gets neither.
if [ ${#optional[@]} -gt 0 ] && ! kernel_runs_32bit; then
  echo "setup: Wine left out, its tests skip: this machine's kernel runs no 32-bit programs" \
    "(the Windows program still runs on the emulated i486 and Pentium)"
  optional=()
fi
has_i386() { grep -qx i386 <<<"$(dpkg --print-foreign-architectures)"; }

# The packages among the arguments that are not installed.
not_installed() {
  local p
  for p in "$@"; do
    [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] || echo "$p"
  done
}
mapfile -t missing_needed < <(not_installed "${needed[@]}")
mapfile -t missing_optional < <(not_installed "${optional[@]}")
if [ ${#missing_needed[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ]; then
  exit 0
fi

# The command that installs the packages given, to be run as root.
as_root() {
  local add=""
  case " $* " in *":i386 "*) has_i386 || add="dpkg --add-architecture i386 && " ;; esac
  echo "${add}apt-get update && apt-get install -y $*"
}
if [ -z "$rights" ]; then
  [ ${#missing_optional[@]} -eq 0 ] ||
    echo "setup: Wine left out, its tests skip: installing it takes root rights; as root, run:" \
      "$(as_root "${missing_optional[@]}")"
  [ ${#missing_needed[@]} -eq 0 ] || {
    echo "setup: missing packages the build and tests need: ${missing_needed[*]}; as root," \
      "run: $(as_root "${missing_needed[@]}")" >&2
    exit 1
  }
  exit 0
fi

added_i386=""
if [ ${#missing_optional[@]} -gt 0 ] && ! has_i386; then
  $sudo dpkg --add-architecture i386
  added_i386=1
  # Kept without Wine, its indexes would make every later update fetch
  # them, and meet any fault of the mirror's there again.
  trap '[ -z "$added_i386" ] || $sudo dpkg --remove-architecture i386 2>/dev/null || true' EXIT
fi

# Why apt failed, on one line: its errors, else its last line, else its exit
# code (a sudo that fails, or apt killed, leaves no `E: ` line).
apt_reason() {
  local reason
  reason=$(sed -n 's/^E: //p' <<<"$1" | paste -sd ' ' -)
  [ -n "$reason" ] || reason=$(awk 'NF { last = $0 } END { print last }' <<<"$1")
  echo "${reason:-apt-get exited with code $2}"
}

# Installs the packages given, with recommends (the Wine tests were proven
# with them). On failure, prints why on one line and returns non-zero. Through
# env, as sudo would drop the variable.
apt_install() {
  local log status=0
  log=$($sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" 2>&1) || status=$?
  [ "$status" -ne 0 ] || return 0
  apt_reason "$log" "$status"
  return "$status"
}

missing=("${missing_needed[@]}" "${missing_optional[@]}")
echo "setup: installing ${missing[*]}"
status=0
update_log=$($sudo apt-get update -qq 2>&1) || status=$?
if [ "$status" -ne 0 ]; then
  failed=$(sed -n 's/^E: Failed to fetch \([^ ]*\).*/\1/p' <<<"$update_log" | paste -sd ' ' -)
  echo "setup: going on without the package indexes that failed to download:" \
    "${failed:-$(apt_reason "$update_log" "$status")}"
fi

if [ ${#missing_needed[@]} -gt 0 ] && ! apt_install "${missing_needed[@]}" >/dev/null; then
  # One at a time, to name each that cannot be had and install the rest.
  cannot=0
  for p in "${missing_needed[@]}"; do
    reason=$(apt_install "$p") || {
      echo "setup: cannot install $p, which the build and tests need: $reason" >&2
      cannot=1
    }
  done
  [ "$cannot" -eq 0 ] || exit 1
fi

if [ ${#missing_optional[@]} -gt 0 ]; then
  if reason=$(apt_install "${missing_optional[@]}"); then
    added_i386=""
  else
    echo "setup: Wine left out, its tests skip: apt cannot install ${missing_optional[*]}" \
      "($reason); scripts/setup.sh all tries again"
  fi
fi
