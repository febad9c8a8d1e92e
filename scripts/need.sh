# shellcheck shell=bash
# Sourced by every script that needs tools: `need KIND TOOL...` makes sure the
# tools are there before anything runs. A tool is a command, one of several
# commands written "a|b", or a C++ header written "<name.h>". When any is
# missing, the Debian set-up for KIND (scripts/setup.sh KIND) installs it where
# it can: on Debian, as root or with sudo; without either, it says what to run
# as root. Elsewhere, or if that did not help, the script stops, naming itself,
# the missing tools and the set-up that installs them on Debian.

# The MinGW-w64 tools for 32-bit Windows go by this prefix, and the C++
# compiler by either of these names, as cmake/mingw_w64_names.cmake has them.
mingw=i686-w64-mingw32
mingw_cxx="$mingw-g++-win32|$mingw-g++"

# The tools among the arguments that this machine lacks, one per line.
missing_tools() {
  local tool
  for tool in "$@"; do
    case $tool in
      "<"*">")
        printf '#include %s\n' "$tool" | c++ -fsyntax-only -x c++ - >/dev/null 2>&1 ||
          echo "$tool"
        ;;
      *)
        local found=""
        local name
        for name in ${tool//|/ }; do
          command -v "$name" >/dev/null && found=$name && break
        done
        [ -n "$found" ] || echo "$tool"
        ;;
    esac
  done
}

need() {
  local kind=$1
  shift
  local missing
  missing=$(missing_tools "$@")
  [ -n "$missing" ] || return 0
  if [ -f /etc/debian_version ] && command -v apt-get >/dev/null; then
    # The set-up itself tells whether it may install, and if not, what to run.
    local status=0
    bash "$(dirname "${BASH_SOURCE[0]}")/setup.sh" "$kind" || status=$?
    missing=$(missing_tools "$@")
    [ -n "$missing" ] || return 0
    if [ "$status" -ne 0 ]; then
      echo "$(basename "$0" .sh): missing: ${missing//$'\n'/, }; scripts/setup.sh $kind," \
        "which installs them, stopped (exit code $status) for the reason above" >&2
      exit 1
    fi
  fi
  echo "$(basename "$0" .sh): missing: ${missing//$'\n'/, }; install them with this system's" \
    "packages (on Debian, scripts/setup.sh $kind installs them)" >&2
  exit 1
}
