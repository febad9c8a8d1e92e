#!/usr/bin/env bash
# The choices of scripts/fresh_root.sh, run from a copy of it in a repository
# of its own, with id, apt-get, unshare, mmdebstrap, usermod and chown
# replaced on the PATH by stand-ins that log every call and answer as the case
# says, and the subordinate ids read from a folder of the case's own; no
# namespace or root is made. One case a run:
#   fresh_root_test.sh CASE
set -euo pipefail
source_top="$(cd "$(dirname "$0")/.." && pwd)"
case_name=$1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/repo/scripts" "$work/etc"
cp "$source_top"/scripts/{fresh_root,setup,debian_releases}.sh "$work/repo/scripts/"
git -C "$work/repo" init -q
git -C "$work/repo" add .
git -C "$work/repo" -c user.name=test -c user.email=test@test commit -q -m test
export CALLS="$work/calls" WAVRIX_TEST_ETC="$work/etc"
: >"$CALLS"
printf '%s\n' a:100000:65536 b:165536:65536 >"$work/etc/subuid"
cp "$work/etc/subuid" "$work/etc/subgid"
# id: root, or the user $AS_USER (uid 4242). apt-get: a main and a security
# mirror in the sources. unshare: refuses a user namespace when $NO_USERNS is
# set, else runs what follows its options. usermod: adds the ranges to the
# case's files. mmdebstrap: fails as without a network when $NO_NETWORK is
# set, or as the real one when started with a stray descriptor; else it runs
# no hook but the downloads, giving the command's exit code $COMMAND_STATUS
# and a file it brings back, and writes a line as the command.
cat >"$work/bin/id" <<'EOF'
#!/usr/bin/env bash
case $1 in
  -un) echo "${AS_USER:-root}" ;;
  *) if [ -n "${AS_USER:-}" ]; then echo 4242; else echo 0; fi ;;
esac
EOF
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
printf '%s\n' "deb http://mirror.test/debian/ bookworm" "deb http://mirror.test/debian/ bookworm-updates" \
  "deb http://security.test/debian-security/ bookworm-security" "deb http://other.test/ nodistro"
EOF
cat >"$work/bin/unshare" <<'EOF'
#!/usr/bin/env bash
[ "$*" = "--user true" ] || echo "unshare $*" >>"$CALLS"
case " $* " in *" --user "*) [ -z "${NO_USERNS:-}" ] || exit 1 ;; esac
while [ "${1#-}" != "$1" ]; do
  case $1 in --setuid | --setgid | --propagation) shift ;; esac
  shift
done
exec "$@"
EOF
cat >"$work/bin/usermod" <<'EOF'
#!/usr/bin/env bash
echo "usermod $*" >>"$CALLS"
echo "$5:${2%-*}:65536" >>"$WAVRIX_TEST_ETC/subuid"
echo "$5:${4%-*}:65536" >>"$WAVRIX_TEST_ETC/subgid"
EOF
cat >"$work/bin/chown" <<'EOF'
#!/usr/bin/env bash
echo "chown $1" >>"$CALLS"
EOF
cat >"$work/bin/mmdebstrap" <<'EOF'
#!/usr/bin/env bash
echo "mmdebstrap $*" >>"$CALLS"
# As the real one, which hands apt a descriptor by number: started with one
# open past the three (but bash's own, 255), it fails.
for fd in /proc/$$/fd/*; do
  fd=${fd##*/}
  if [ "$fd" -gt 2 ] && [ "$fd" -ne 255 ] && [ -e "/proc/$$/fd/$fd" ]; then
    echo "E: Sub-process cat >&$fd returned an error code (2)"
    exit 1
  fi
done
if [ -n "${NO_NETWORK:-}" ]; then
  echo "E: apt-get update failed: http://mirror.test/debian/ unreachable"
  exit 25
fi
for arg; do
  case $arg in
    "--customize-hook=download "*/status" "*) out=${arg##* } ;;
  esac
done
stage=$(dirname "$(dirname "$out")")
echo "${COMMAND_STATUS:-0}" >"$out"
mkdir -p "$stage/made/build/win32"
echo made >"$stage/made/build/win32/made"
tar -cf "$stage/out/back.tar" -C "$stage/made" build/win32
echo "the command's output" >"$stage/stdout"
: >"$stage/stderr"
EOF
for tool in newuidmap newgidmap; do printf '#!/bin/sh\n' >"$work/bin/$tool"; done
chmod +x "$work/bin/"*

source "$(dirname "$0")/script_checks.sh"
run() {
  status=0
  output=$(env PATH="$work/bin:$PATH" "$@" 2>&1) || status=$?
}
fresh_root=(bash "$work/repo/scripts/fresh_root.sh")
lists="trixie /dev/null deb http://mirror.test/debian/ trixie main"
lists+=" deb http://mirror.test/debian/ trixie-updates main"
lists+=" deb http://security.test/debian-security/ trixie-security main"

case $case_name in
  AnUnknownReleaseSkips)
    run "${fresh_root[@]}" 14 true
    exits 77
    expect "fresh_root: skipped, no fresh root of Debian 14: not a supported release:" \
      "bookworm (12), trixie (13)"
    not_called mmdebstrap
    ;;
  AUserWithoutUserNamespacesSkips)
    run AS_USER=tester NO_USERNS=1 "${fresh_root[@]}" trixie true
    exits 77
    expect "fresh_root: skipped, no fresh root of Debian 13 (trixie): the kernel gives this user" \
      "no user namespace (switched off by sysctl user.max_user_namespaces or" \
      "kernel.unprivileged_userns_clone, or inside a chroot): have them allowed, or run this as root"
    not_called mmdebstrap
    ;;
  AUserWithoutSubordinateIdsSkipsSayingHowToGiveThem)
    run AS_USER=tester "${fresh_root[@]}" 13 true
    exits 77
    expect "fresh_root: skipped, no fresh root of Debian 13 (trixie): no subordinate ids for tester" \
      "in /etc/subuid and /etc/subgid: as root, run: usermod --add-subuids 231072-296607" \
      "--add-subgids 231072-296607 tester"
    not_called usermod
    not_called mmdebstrap
    ;;
  RootIsGivenFreeIdsAndMappedOntoThem)
    run COMMAND_STATUS=3 "${fresh_root[@]}" --bring-back build/win32 --into "$work/back" 13 false
    exits 3
    called "usermod --add-subuids 231072-296607 --add-subgids 231072-296607 root"
    grep -q "^unshare --user --map-users=231072,0,65536 --map-groups=231072,0,65536 --setuid 0 --setgid 0 mmdebstrap --mode=unshare .* $lists$" "$CALLS" ||
      fail "mmdebstrap not run as the namespace's mapped root, with this machine's mirrors"
    expect "the command's output"
    [ "$(cat "$work/back/build/win32/made" 2>/dev/null)" = made ] || fail "nothing brought back"
    ;;
  RootWithoutUserNamespacesGetsAMountNamespace)
    run NO_USERNS=1 "${fresh_root[@]}" 13 true
    exits 0
    grep -q "^unshare --mount --propagation private mmdebstrap --mode=root .* $lists$" "$CALLS" ||
      fail "mmdebstrap not run in root mode in a mount namespace of its own"
    not_called usermod
    [ -d "$work/repo/build/fresh-root/cache/trixie" ] || fail "no cache kept"
    ;;
  ARootThatCannotBeMadeSkipsWithTheReason)
    run NO_NETWORK=1 "${fresh_root[@]}" 13 true
    exits 77
    expect "fresh_root: skipped, no fresh root of Debian 13 (trixie): mmdebstrap failed:" \
      "E: apt-get update failed: http://mirror.test/debian/ unreachable"
    ;;
  ADescriptorTheCallerLeftOpenDoesNotReachMmdebstrap)
    # As a fresh root's command, started by mmdebstrap, has.
    run "${fresh_root[@]}" 13 true 7</dev/null
    exits 0
    expect "the command's output"
    ;;
  ACommandsOwnSkipIsAFailure)
    run COMMAND_STATUS=77 "${fresh_root[@]}" trixie false
    exits 1
    ;;
  *) echo "fresh_root_test.sh: no case $case_name" >&2; exit 2 ;;
esac
finish
