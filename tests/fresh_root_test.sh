#!/usr/bin/env bash
# The choices of scripts/fresh_root.sh, run from a copy of it in a repository
# of its own, with id, apt-get, debootstrap, mount, umount and chroot replaced
# on the PATH by stand-ins that log every call and answer as the case says;
# nothing is mounted and no root is made. One case a run:
#   fresh_root_test.sh CASE
set -euo pipefail
source_top="$(cd "$(dirname "$0")/.." && pwd)"
case_name=$1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/repo/scripts"
cp "$source_top"/scripts/{fresh_root,setup,debian_releases}.sh "$work/repo/scripts/"
git -C "$work/repo" init -q
git -C "$work/repo" add .
git -C "$work/repo" -c user.name=test -c user.email=test@test commit -q -m test
root=$work/repo/build/fresh-root/trixie/root
export CALLS="$work/calls"
: >"$CALLS"
# id: root unless $NOT_ROOT. apt-get: a main and a security mirror in the
# sources. debootstrap: fails as without a network when $NO_NETWORK is set,
# else makes the folders the mounts need. mount: fails for $MOUNT_FAILS.
# chroot: the command (the call that passes "fresh_root" as $0) exits with
# $COMMAND_STATUS.
cat >"$work/bin/id" <<'EOF'
#!/usr/bin/env bash
if [ -n "${NOT_ROOT:-}" ]; then echo 1000; else echo 0; fi
EOF
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
printf '%s\n' "deb http://mirror.test/debian/ bookworm" "deb http://mirror.test/debian/ bookworm-updates" \
  "deb http://security.test/debian-security/ bookworm-security" "deb http://other.test/ nodistro"
EOF
cat >"$work/bin/debootstrap" <<'EOF'
#!/usr/bin/env bash
echo "debootstrap $*" >>"$CALLS"
if [ -n "${NO_NETWORK:-}" ]; then
  echo "E: Failed getting release file http://mirror.test/debian/dists/trixie/Release"
  exit 1
fi
args=("$@")
mkdir -p "${args[-2]}"/{proc,dev,var/cache/apt/archives,etc/apt,root}
EOF
cat >"$work/bin/mount" <<'EOF'
#!/usr/bin/env bash
case " $* " in
  *" ${MOUNT_FAILS:-none} "*) echo "failed mount $*" >>"$CALLS"; echo "mount: permission denied" >&2; exit 32 ;;
esac
echo "mount $*" >>"$CALLS"
EOF
cat >"$work/bin/umount" <<'EOF'
#!/usr/bin/env bash
echo "umount $*" >>"$CALLS"
EOF
cat >"$work/bin/chroot" <<'EOF'
#!/usr/bin/env bash
echo "chroot $*" >>"$CALLS"
cp "$1/etc/apt/sources.list" "$CALLS.sources"
case " $* " in *" fresh_root "*) exit "${COMMAND_STATUS:-0}" ;; esac
EOF
chmod +x "$work/bin/"*

source "$(dirname "$0")/script_checks.sh"
run() {
  status=0
  output=$(env PATH="$work/bin:$PATH" "$@" 2>&1) || status=$?
}
fresh_root=(bash "$work/repo/scripts/fresh_root.sh")
# Every mount undone, the last made first, and the root removed.
all_undone() {
  local made undone
  made=$(sed -n 's/^mount .* \([^ ]*\)$/\1/p' "$CALLS" | awk '!seen[$0]++' | tac)
  undone=$(sed -n 's/^umount \(.*\)$/\1/p' "$CALLS")
  [ "$made" = "$undone" ] || fail "mounted, newest first:"$'\n'"$made"$'\n'"unmounted:"$'\n'"$undone"
  [ ! -e "$root" ] || fail "the root is left in place"
}

case $case_name in
  AnUnknownReleaseSkips)
    run "${fresh_root[@]}" 14 true
    exits 77
    expect "fresh_root: skipped, no fresh root of Debian 14: not a supported release:" \
      "bookworm (12), trixie (13)"
    not_called debootstrap
    ;;
  WithoutRootRightsItSkips)
    run NOT_ROOT=1 "${fresh_root[@]}" trixie true
    exits 77
    expect "fresh_root: skipped, no fresh root of Debian 13 (trixie): making one needs root" \
      "rights (debootstrap, mount, chroot)"
    not_called debootstrap
    ;;
  WithoutANetworkItSkipsAndMountsNothing)
    run NO_NETWORK=1 "${fresh_root[@]}" 13 true
    exits 77
    expect "fresh_root: skipped, no fresh root of Debian 13 (trixie): debootstrap failed:" \
      "E: Failed getting release file http://mirror.test/debian/dists/trixie/Release"
    not_called "^mount"
    ;;
  AMountThatFailsSkipsAndUndoesTheOthers)
    run MOUNT_FAILS=tmpfs "${fresh_root[@]}" trixie true
    exits 77
    expect "fresh_root: skipped, no fresh root of Debian 13 (trixie): cannot mount" \
      "$root/dev: mount: permission denied"
    not_called "chroot $root /usr/bin/env -i .* fresh_root"
    all_undone
    ;;
  ACommandThatFailsUndoesEveryMount)
    run COMMAND_STATUS=3 "${fresh_root[@]}" trixie false
    exits 3
    # From this machine's mirrors, main and security, and nothing else.
    cache=$work/repo/build/fresh-root/cache/trixie
    called "debootstrap --variant=minbase --cache-dir=$cache/debootstrap trixie $root http://mirror.test/debian/"
    called "mount -t proc proc $root/proc"
    called "mount --bind /dev/null $root/dev/null"
    [ "$(cat "$CALLS.sources")" = "deb http://mirror.test/debian/ trixie main
deb http://mirror.test/debian/ trixie-updates main
deb http://security.test/debian-security/ trixie-security main" ] ||
      fail "the root's apt sources: $(cat "$CALLS.sources")"
    [ ! -e "$root" ] || fail "the root is left in place"
    all_undone
    ;;
  ACommandsOwnSkipIsAFailure)
    run COMMAND_STATUS=77 "${fresh_root[@]}" trixie false
    exits 1
    all_undone
    ;;
  *) echo "fresh_root_test.sh: no case $case_name" >&2; exit 2 ;;
esac
finish
