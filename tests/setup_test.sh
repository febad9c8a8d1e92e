#!/usr/bin/env bash
# The set-up's choices (scripts/setup.sh all), with apt-get, dpkg-query, dpkg,
# id and sudo replaced on the PATH by stand-ins that log every call and answer
# as the case says; nothing is installed. One case a run:
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
# install fails for any package in $UNINSTALLABLE. Failing, it prints lines
# prefixed as $APT_SAYS has it ("E" for errors), or nothing.
cat >"$work/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
for p; do :; done
case " $MISSING " in *" $p "*) exit 1 ;; esac
printf 'install ok installed'
EOF
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$CALLS"
fails() {
  [ "$APT_SAYS" = nothing ] || for line; do echo "$APT_SAYS: $line"; done >&2
  exit 100
}
if [ "$1" = update ] && [ -n "${UPDATE_FAILS:-}" ]; then
  fails "Failed to fetch http://mirror.test/dists/x/main/binary-i386/Packages.xz  File has\
 unexpected size (1 != 2). Mirror sync in progress?" "Some index files failed to download.\
 They have been ignored, or old ones used instead."
fi
if [ "$1" = install ]; then
  for p; do
    case " $UNINSTALLABLE " in *" $p "*) fails "Unable to locate package $p" ;; esac
  done
fi
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/usr/bin/env bash
echo "dpkg $*" >>"$CALLS"
EOF
# id: root, or the user $AS_USER. sudo: apart, as a case may have none; one
# that $SUDO says "fails" fails as one with no password to ask for does.
cat >"$work/bin/id" <<'EOF'
#!/usr/bin/env bash
[ "$1" = -u ] && echo "${AS_USER:-0}"
EOF
mkdir "$work/sudo"
cat >"$work/sudo/sudo" <<'EOF'
#!/usr/bin/env bash
echo "sudo $*" >>"$CALLS"
[ "$1" != -n ] || shift
[ "$SUDO" != works ] || exec "$@"
echo "sudo: a password is required" >&2
exit 1
EOF
chmod +x "$work/bin/"* "$work/sudo/sudo"
# Besides the stand-ins, the PATH has only the tools the set-up uses, so that
# this machine's own sudo is not found where a case has none.
for tool in bash env true dirname mkdir mktemp chmod rm grep sed awk paste; do
  ln -s "$(type -P "$tool")" "$work/bin/$tool"
done

kernel_line="setup: Wine left out, its tests skip: this machine's kernel runs no 32-bit programs"
kernel_line+=" (the Windows program still runs on the emulated i486 and Pentium)"
runner_status=0
"$runner" >/dev/null 2>&1 || runner_status=$?

# Each case: the environment of the set-up, then what it must do. `expect`
# names a line it must print, `called` and `not_called` calls (whole lines).
source "$(dirname "$0")/script_checks.sh"
run() {
  status=0
  local path="$work/bin:$work/sudo"
  [[ " $* " != *" SUDO=missing "* ]] || path=$work/bin
  : >"$CALLS"
  output=$(env -u WAVRIX_TEST_NO_32BIT PATH="$path" UPDATE_FAILS= UNINSTALLABLE= MISSING= \
    APT_SAYS=E AS_USER= SUDO=works "$@" bash "$setup" all 2>&1 </dev/null) || status=$?
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
  ANormalUserInstallsOnlyThroughAWorkingSudo)
    # How sudo answers; whether the set-up installs through it.
    while read -r sudo_is installs; do
      run AS_USER=1000 SUDO="$sudo_is" MISSING="cmake gcovr" WAVRIX_TEST_NO_32BIT=1
      if [ "$installs" = yes ]; then
        exits 0
        called "sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq cmake gcovr"
      else
        exits 1
        expect "setup: missing packages the build and tests need: cmake gcovr; as root, run:" \
"apt-get update && apt-get install -y cmake gcovr"
        not_called "apt-get"
      fi
    done <<'EOF'
missing no
fails no
works yes
EOF
    ;;
  ANormalUserWithoutSudoGoesOnWithoutWine)
    run AS_USER=1000 SUDO=missing MISSING="wine wine32:i386"
    exits 0
    not_called "apt-get"
    not_called "dpkg --add-architecture"
    if [ "$runner_status" -eq 240 ]; then
      expect "setup: Wine left out, its tests skip: installing it takes root rights; as root, run:" \
"dpkg --add-architecture i386 && apt-get update && apt-get install -y wine wine32:i386"
    else
      expect "$kernel_line"
    fi
    ;;
  AptWithoutAnErrorLineStillGivesAReason)
    # How apt's lines begin; the reason given for the index and the package.
    while IFS='|' read -r says index package; do
      run MISSING=gcovr UNINSTALLABLE=gcovr UPDATE_FAILS=1 APT_SAYS="$says" WAVRIX_TEST_NO_32BIT=1
      exits 1
      expect "setup: going on without the package indexes that failed to download: $index"
      expect "setup: cannot install gcovr, which the build and tests need: $package"
    done <<'EOF'
W|W: Some index files failed to download. They have been ignored, or old ones used instead.|W: Unable to locate package gcovr
nothing|apt-get exited with code 100|apt-get exited with code 100
EOF
    ;;
  *) echo "setup_test.sh: no case $case_name" >&2; exit 2 ;;
esac
finish
