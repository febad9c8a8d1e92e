#!/usr/bin/env bash
# Runs a command as a new user of Wavrix would, on a fresh machine of a
# Debian release: in a minimal root of that release, made anew by mmdebstrap,
# on a clean clone of this repository's committed tree.
#   fresh_root.sh [--commit COMMIT] [--bring-back PATH]... [--into DIR] RELEASE COMMAND [ARGUMENTS...]
#   fresh_root.sh --others     the supported releases this machine does not
#                              run, one a line
# RELEASE is a supported release by codename or number: bookworm or 12,
# trixie or 13. COMMAND runs as the root's root, at the top of the clone, with
# a clean environment (give it variables through `env`); the clone has the
# committed HEAD checked out, or COMMIT: edits not committed stay outside.
# Each PATH of the clone (a file or a folder) that the command left is copied
# back, after it, to DIR/PATH; DIR is build/fresh-root/CODENAME unless given.
#
# The root is made from the Debian mirror this machine's apt already uses,
# with git installed, as it is on a machine where the repository was cloned,
# and apt installing recommended packages, as Debian ships it (mmdebstrap
# would leave them out).
# It lives in a user namespace whose root is this user's subordinate ids
# (/etc/subuid, /etc/subgid), whoever starts it, root included: what the
# machine's own users own, its device files too, is out of its reach. Its
# mounts are its namespaces' own, the command and whatever it started end
# with it, and mmdebstrap removes the root on every way out. Where the kernel
# gives no user namespace (switched off, or inside a chroot such as another
# fresh root), a caller with root rights gets mmdebstrap's root mode, in a
# mount namespace of its own. Root is given subordinate ids where it has none;
# another user is told how. The packages downloaded are kept in
# build/fresh-root/cache for the next root.
#
# Exit code: the command's own, or 77 when no root can be made, said in one
# line naming the cause and what to do: the caller skips, it did not fail. A
# command's own 77 becomes 1, so that it cannot pass for a skip.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd -P)
source scripts/debian_releases.sh

usage() {
  echo "usage: $0 [--commit COMMIT] [--bring-back PATH]... [--into DIR] RELEASE COMMAND [ARGUMENTS...]" >&2
  echo "       $0 --others" >&2
  exit 2
}

commit=HEAD
bring_back=()
into=""
while [ $# -gt 0 ]; do
  case $1 in
    --others)
      here=$(debian_here)
      for release in "${debian_releases[@]}"; do
        [ "${release%%:*}" = "$here" ] || echo "${release%%:*}"
      done
      exit 0
      ;;
    --commit) [ $# -ge 2 ] || usage; commit=$2; shift 2 ;;
    --bring-back) [ $# -ge 2 ] || usage; bring_back+=("$2"); shift 2 ;;
    --into) [ $# -ge 2 ] || usage; into=$(realpath -m "$2"); shift 2 ;;
    -*) usage ;;
    *) break ;;
  esac
done
[ $# -ge 2 ] || usage
wanted=$1
shift

codename=""
for release in "${debian_releases[@]}"; do
  if [ "$wanted" = "${release%%:*}" ] || [ "$wanted" = "${release##*:}" ]; then
    codename=${release%%:*}
    number=${release##*:}
  fi
done

skip() {
  echo "fresh_root: skipped, no fresh root of Debian ${number:-$wanted}${codename:+ ($codename)}: $*"
  exit 77
}

known=$(printf '%s, ' "${debian_releases[@]}" | sed 's/:\([0-9]*\)/ (\1)/g; s/, $//')
[ -n "$codename" ] || skip "not a supported release: $known"
# The commit, before anything is made: a wrong one is the caller's fault.
commit=$(git rev-parse --verify --quiet "$commit^{commit}") || {
  echo "fresh_root: no commit ${commit} in this repository" >&2
  exit 2
}
user=$(id -un)
uid=$(id -u)
# Where the subordinate ids are kept; the tests give folders of their own.
etc=${WAVRIX_TEST_ETC:-/etc}

# START COUNT of the first range of subordinate ids FILE gives this user.
first_range() {
  awk -F: -v n="$user" -v u="$uid" '($1 == n || $1 == u) && NF == 3 { print $2, $3; exit }' \
    "$1" 2>/dev/null || true
}
# The lowest range of 65536 ids from 100000 on that no user has, as FROM-TO.
free_range() {
  local from=100000
  while read -r start count; do
    [ $((start + count)) -le "$from" ] || [ "$start" -ge $((from + 65536)) ] ||
      from=$((start + count))
  done < <(cat "$etc/subuid" "$etc/subgid" 2>/dev/null | awk -F: 'NF == 3 { print $2, $3 }' | sort -n)
  echo "$from-$((from + 65535))"
}

# mmdebstrap's user namespace needs the kernel's leave, and newuidmap.
if unshare --user true 2>/dev/null; then
  mode=unshare
elif [ "$uid" -eq 0 ]; then
  mode=root
else
  skip "the kernel gives this user no user namespace (switched off by sysctl" \
    "user.max_user_namespaces or kernel.unprivileged_userns_clone, or inside a chroot):" \
    "have them allowed, or run this as root"
fi
have_tools() { command -v mmdebstrap && command -v newuidmap && command -v newgidmap; } >/dev/null
if ! have_tools; then
  reason=$(bash scripts/setup.sh root 2>&1 | tail -n 1) || true
  have_tools ||
    skip "mmdebstrap is not installed and cannot be: ${reason:-setup.sh root did not install it}"
fi
if [ "$mode" = unshare ] && { [ -z "$(first_range "$etc/subuid")" ] ||
  [ -z "$(first_range "$etc/subgid")" ]; }; then
  range=$(free_range)
  if [ "$uid" -eq 0 ]; then
    usermod --add-subuids "$range" --add-subgids "$range" root
    echo "fresh_root: gave root the subordinate ids $range, onto which a fresh root's root is mapped"
  else
    skip "no subordinate ids for $user in /etc/subuid and /etc/subgid: as root, run:" \
      "usermod --add-subuids $range --add-subgids $range $user"
  fi
fi

# The mirror of Debian's main archive that apt uses here, and its security
# mirror, in whatever form apt's sources are written.
sources=$(apt-get indextargets --no-release-info --format '$(TARGET_OF) $(REPO_URI) $(RELEASE)' \
  2>/dev/null | sort -u) || true
suites="($(printf '%s|' "${debian_releases[@]%%:*}")oldstable|stable|testing|unstable|sid)"
mirror=$(awk -v s="^$suites(-updates)?\$" '$1 == "deb" && $3 ~ s { print $2; exit }' <<<"$sources")
security=$(awk -v s="^$suites-security\$" '$1 == "deb" && $3 ~ s { print $2; exit }' <<<"$sources")
[ -n "$mirror" ] || skip "no Debian mirror in this machine's apt sources"
lists=("deb $mirror $codename main" "deb $mirror $codename-updates main")
[ -z "$security" ] || lists+=("deb $security $codename-security main")

base=$top/build/fresh-root
cache=$base/cache/$codename
into=${into:-$base/$codename}
mkdir -p "$cache"
# One root of a release at a time, for its cache: the next waits.
exec 9>"$base/$codename.lock"
flock 9

# What goes in and comes out lies in a folder of this run's own: the clone,
# the command as a script, and then its exit code, what it brings back and
# mmdebstrap's log. In a user namespace started by root, the namespace's root
# is a subordinate id outside it: it gets the folder and, for the run, the
# cache, which is put back on every way out.
stage=$(mktemp -d)
finish() {
  [ ! -d "$stage/cache" ] || { rm -rf "$cache" && mv "$stage/cache" "$cache" &&
    chown -R "$uid:$(id -g)" "$cache"; } || echo "fresh_root: cannot keep the cache" >&2
  rm -rf "$stage"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# Mounts made in a mount namespace stay private to it; where the root folder
# is no mount point, as in a chroot, they can only be left unchanged.
propagation='p=private; unshare --mount --propagation private true 2>/dev/null || p=unchanged'
wrap=()
if [ "$mode" = root ]; then
  eval "$propagation"
  wrap=(unshare --mount --propagation "$p")
elif [ "$uid" -eq 0 ]; then
  read -r uid_from uid_count <<<"$(first_range "$etc/subuid")"
  read -r gid_from gid_count <<<"$(first_range "$etc/subgid")"
  # util-linux 2.39 wrote the maps inside first, 2.38 outside first.
  if unshare --help | grep -q '<inneruid>:<outeruid>'; then
    maps=(--map-users="0:$uid_from:$uid_count" --map-groups="0:$gid_from:$gid_count")
  else
    maps=(--map-users="$uid_from,0,$uid_count" --map-groups="$gid_from,0,$gid_count")
  fi
  wrap=(unshare --user "${maps[@]}" --setuid 0 --setgid 0)
  mv "$cache" "$stage/cache"
fi
work_cache=$cache
[ ! -d "$stage/cache" ] || work_cache=$stage/cache

git -c init.defaultBranch=main clone --quiet --no-hardlinks --no-checkout "$top" "$stage/wavrix"
git -C "$stage/wavrix" checkout --quiet --detach "$commit"
mkdir "$stage/.fresh-root" "$stage/out"
# The command, in a process namespace of its own, so that nothing it started
# outlives it; then its exit code and what it brings back, for the outside.
{
  echo 'cd /root/wavrix || exit 1'
  echo 'status=0'
  printf '%q ' "$@"
  echo '|| status=$?'
  echo 'echo "$status" >/root/.fresh-root/status'
  echo 'back=()'
  printf 'for p in'
  printf ' %q' "${bring_back[@]}"
  echo '; do [ ! -e "$p" ] || back+=("$p"); done'
  echo 'tar -cf /root/.fresh-root/back.tar --files-from=/dev/null "${back[@]}"'
} >"$stage/.fresh-root/command"
# The command's output reaches this script's through two pipes in the
# folder, read from outside: mmdebstrap's own goes to its log.
mkfifo -m 622 "$stage/stdout" "$stage/stderr"
chmod 711 "$stage"
[ "$uid" -ne 0 ] || [ "$mode" = root ] || chown -R "$uid_from:$gid_from" "$stage"
cat "$stage/stdout" &
readers=($!)
cat "$stage/stderr" >&2 &
readers+=($!)
# It gets a /dev/shm of its own: the one mmdebstrap binds in is the machine's.
inside='mkdir -p "$0/dev/shm" && mount -t tmpfs -o mode=1777 tmpfs "$0/dev/shm" && exec chroot "$0" "$@"'
run_command="$propagation;"
run_command+=' unshare --pid --fork --propagation $p --mount-proc="$1/proc"'
run_command+=" sh -c $(printf %q "$inside")"
run_command+=' "$1" /usr/bin/env -i HOME=/root'
run_command+=" LANG=C.UTF-8 TERM=$(printf %q "${TERM:-dumb}")"
run_command+=' PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin'
run_command+=" bash /root/.fresh-root/command </dev/null >$(printf %q "$stage/stdout") 2>$(printf %q "$stage/stderr")"

echo "fresh_root: in a minimal root of Debian $number ($codename) from $mirror," \
  "at $(git rev-parse --short "$commit"): $*"
log=$stage/mmdebstrap.log
status=0
(
  cd "$stage"
  # mmdebstrap hands apt a descriptor by number, which fails when it starts
  # with more than the three open: this script's lock, or what an outer root
  # left its command.
  self=$BASHPID
  for fd in $(ls "/proc/$self/fd" 2>/dev/null); do
    [ "$fd" -le 2 ] || exec {fd}>&-
  done
  exec "${wrap[@]}" mmdebstrap --mode="$mode" --variant=minbase --include=git \
    --aptopt='Apt::Install-Recommends "true"' \
    --skip=essential/unlink \
    --setup-hook='mkdir -p "$1/var/cache/apt/archives"' \
    --setup-hook="sync-in $work_cache /var/cache/apt/archives" \
    --customize-hook="copy-in $stage/wavrix $stage/.fresh-root /root" \
    --customize-hook="$run_command" \
    --customize-hook="download /root/.fresh-root/status $stage/out/status" \
    --customize-hook="download /root/.fresh-root/back.tar $stage/out/back.tar" \
    --customize-hook="sync-out /var/cache/apt/archives $work_cache" \
    "$codename" /dev/null "${lists[@]}"
) >"$log" 2>&1 </dev/null || status=$?
# A command that never ran never opened the pipes.
[ -f "$stage/out/status" ] || kill "${readers[@]}" 2>/dev/null || true
wait "${readers[@]}" || true
if [ ! -f "$stage/out/status" ]; then
  skip "mmdebstrap failed: $(grep -m 1 '^E: ' "$log" || tail -n 1 "$log")"
fi
[ "$status" -eq 0 ] || echo "fresh_root: mmdebstrap failed after the command:" \
  "$(grep -m 1 '^E: ' "$log" || tail -n 1 "$log")" >&2
status=$(cat "$stage/out/status")
[ "$status" -ne 77 ] || status=1
for path in "${bring_back[@]}"; do
  rm -rf "${into:?}/$path"
done
mkdir -p "$into"
tar -xf "$stage/out/back.tar" -C "$into" --no-same-owner
exit "$status"
