#!/usr/bin/env bash
# The set-up's choices (scripts/setup.sh all), with apt-get, dpkg-query, dpkg
# and sudo replaced on the PATH by stand-ins that log every call and answer as
# the case says; nothing is installed. One case a run:
#   setup_test.sh CASE RUNNER
# RUNNER is the exe runner, a static 32-bit program: whether it starts tells,
# apart from the set-up's own probe, whether this kernel runs 32-bit programs.
set -euo pipefail
setup="$(cd "$(dirname "$0")/.." && pwd)/scripts/setup.sh"
case_name=$1
runner=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
export CALLS="$work/calls"
: >"$CALLS"
# dpkg-query: every package is installed but those in $MISSING.
# apt-get: update fails as a mirror mid-sync does when $UPDATE_FAILS is set;
# install fails for any package in $UNINSTALLABLE.
cat >"$work/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
for p; do :; done
case " $MISSING " in *" $p "*) exit 1 ;; esac
printf 'install ok installed'
EOF
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$CALLS"
if [ "$1" = update ] && [ -n "${UPDATE_FAILS:-}" ]; then
  echo "E: Failed to fetch http://mirror.test/dists/x/main/binary-i386/Packages.xz  File has" \
    "unexpected size (1 != 2). Mirror sync in progress?" >&2
  echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
  exit 100
fi
if [ "$1" = install ]; then
  for p; do
    case " $UNINSTALLABLE " in *" $p "*) echo "E: Unable to locate package $p" >&2; exit 100 ;; esac
  done
fi
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/usr/bin/env bash
echo "dpkg $*" >>"$CALLS"
EOF
cat >"$work/bin/sudo" <<'EOF'
#!/usr/bin/env bash
exec "$@"
EOF
chmod +x "$work/bin/"*

kernel_line="setup: Wine left out, its tests skip: this machine's kernel runs no 32-bit programs"
kernel_line+=" (the Windows program still runs on the emulated i486 and Pentium)"
runner_status=0
"$runner" >/dev/null 2>&1 || runner_status=$?

# Each case: the environment of the set-up, then what it must do. `expect`
# names a line it must print, `called` and `not_called` calls (whole lines).
source "$(dirname "$0")/script_checks.sh"
run() {
  status=0
  output=$(env -u WAVRIX_TEST_NO_32BIT PATH="$work/bin:$PATH" UPDATE_FAILS= UNINSTALLABLE= MISSING= "$@" \
    bash "$setup" all 2>&1) || status=$?
}

case $case_name in
  AnIndexThatFailsDoesNotStopTheInstall)
    run MISSING=gcovr UPDATE_FAILS=1 WAVRIX_TEST_NO_32BIT=1
    exits 0
    expect "setup: going on without the package indexes that failed to download:" \
"http://mirror.test/dists/x/main/binary-i386/Packages.xz"
    called "apt-get install -y -qq gcovr"
    ;;
  ANeededPackageThatFailsStopsNamingIt)
    run MISSING="gcovr valgrind" UNINSTALLABLE=gcovr WAVRIX_TEST_NO_32BIT=1
    exits 1
    expect "setup: cannot install gcovr, which the build and tests need: Unable to locate package gcovr"
    called "apt-get install -y -qq valgrind"
    ;;
  WineFollowsTheKernelAndMayFail)
    run MISSING="gcovr wine wine32:i386" UNINSTALLABLE=wine32:i386
    exits 0
    called "apt-get install -y -qq gcovr"
    if [ "$runner_status" -eq 240 ]; then # the runner's usage: 32-bit programs run
      expect "setup: Wine left out, its tests skip: apt cannot install wine wine32:i386" \
"(Unable to locate package wine32:i386); scripts/setup.sh all tries again"
      called "dpkg --add-architecture i386"
      called "dpkg --remove-architecture i386"
    else
      expect "$kernel_line"
      not_called "dpkg --add-architecture"
    fi
    ;;
  NoThirtyTwoBitKernelNoWineNoI386)
    run MISSING="wine wine32:i386" WAVRIX_TEST_NO_32BIT=1
    exits 0
    expect "$kernel_line"
    not_called "dpkg --add-architecture"
    not_called "apt-get"
    ;;
  *) echo "setup_test.sh: no case $case_name" >&2; exit 2 ;;
esac
finish
