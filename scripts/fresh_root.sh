#!/usr/bin/env bash
# Runs a command as a new user of Wavrix would, on a fresh machine of a
# Debian release: in a minimal root of that release, made anew with
# debootstrap, on a clean clone of this repository's committed tree.
#   fresh_root.sh [--commit COMMIT] [--bring-back PATH]... RELEASE COMMAND [ARGUMENTS...]
#   fresh_root.sh --others     the supported releases this machine does not
#                              run, one a line
# RELEASE is a supported release by codename or number: bookworm or 12,
# trixie or 13. COMMAND runs as root, at the top of the clone, with a clean
# environment (give it variables through `env`); the clone has HEAD checked
# out, or COMMIT. Each PATH of the clone (a file or a folder) is copied back,
# after the command, to build/fresh-root/RELEASE/PATH.
#
# The root is made from the Debian mirror this machine's apt already uses,
# with git installed, as it is on a machine where the repository was cloned.
# It lives in build/fresh-root/RELEASE/root and is removed after the command,
# its mounts undone on every way out, a failure or an interrupt included; the
# packages it downloaded are kept in build/fresh-root/cache for the next one.
#
# Exit code: the command's own, or 77 when the root cannot be made (no root
# rights, no debootstrap, no Debian mirror in apt's sources, no network, an
# unknown release), said in one line: the caller skips, it did not fail. A
# command's own 77 becomes 1, so that it cannot pass for a skip.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd -P)
source scripts/debian_releases.sh

usage() {
  echo "usage: $0 [--commit COMMIT] [--bring-back PATH]... RELEASE COMMAND [ARGUMENTS...]" >&2
  echo "       $0 --others" >&2
  exit 2
}

commit=HEAD
bring_back=()
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
[ "$(id -u)" -eq 0 ] || skip "making one needs root rights (debootstrap, mount, chroot)"
# The commit, before anything is made: a wrong one is the caller's fault.
commit=$(git rev-parse --verify --quiet "$commit^{commit}") || {
  echo "fresh_root: no commit ${commit} in this repository" >&2
  exit 2
}
if ! command -v debootstrap >/dev/null; then
  bash scripts/setup.sh root >/dev/null 2>&1 || true
  command -v debootstrap >/dev/null || skip "debootstrap is not installed and cannot be"
fi

# The mirror of Debian's main archive that apt uses here, and its security
# mirror, in whatever form apt's sources are written.
sources=$(apt-get indextargets --no-release-info --format '$(TARGET_OF) $(REPO_URI) $(RELEASE)' \
  2>/dev/null | sort -u) || true
suites="($(printf '%s|' "${debian_releases[@]%%:*}")oldstable|stable|testing|unstable|sid)"
mirror=$(awk -v s="^$suites(-updates)?\$" '$1 == "deb" && $3 ~ s { print $2; exit }' <<<"$sources")
security=$(awk -v s="^$suites-security\$" '$1 == "deb" && $3 ~ s { print $2; exit }' <<<"$sources")
[ -n "$mirror" ] || skip "no Debian mirror in this machine's apt sources"

base=$top/build/fresh-root
work=$base/$codename
root=$work/root
cache=$base/cache/$codename
mkdir -p "$work" "$cache/debootstrap" "$cache/apt"
# One run a release at a time: the next waits.
exec 9>"$work.lock"
flock 9

# The mounts at or under `path`.
mounts_under() {
  awk -v r="$1" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/self/mounts
}

# Removes the root, never through a mount still in it.
remove_root() {
  if [ -n "$(mounts_under "$root")" ]; then
    echo "fresh_root: $root is left in place: it still has mounts:" \
      "$(mounts_under "$root" | paste -sd ' ' -)" >&2
    return 1
  fi
  rm -rf --one-file-system "$root"
}

mounted=()
# Ends whatever still runs in the root, undoes the mounts, newest first, and
# removes the root.
undo() {
  local proc i
  for proc in /proc/[0-9]*; do
    [ "$(readlink "$proc/root" 2>/dev/null)" != "$root" ] || kill -9 "${proc#/proc/}" 2>/dev/null || true
  done
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" ||
      echo "fresh_root: cannot unmount ${mounted[i]}" >&2
  done
  mounted=()
  remove_root || true
}
trap undo EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Mounts, or skips: a machine that may not mount cannot make the root.
mount_in_root() {
  local target=$root/$1
  shift
  local why
  why=$(mount "$@" "$target" 2>&1) || skip "cannot mount $target: $why"
  mounted+=("$target")
}

remove_root || exit 1
echo "fresh_root: making a minimal root of Debian $number ($codename) from $mirror"
log=$work/debootstrap.log
if ! debootstrap --variant=minbase --cache-dir="$cache/debootstrap" "$codename" "$root" "$mirror" \
  >"$log" 2>&1; then
  skip "debootstrap failed: $(grep -m 1 '^E: ' "$log" || tail -n 1 "$log")"
fi
{
  echo "deb $mirror $codename main"
  echo "deb $mirror $codename-updates main"
  [ -z "$security" ] || echo "deb $security $codename-security main"
} >"$root/etc/apt/sources.list"
cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
mount_in_root proc -t proc proc
# A /dev of the root's own: the few devices programs use, each this
# machine's bound onto a file there (a file so bound cannot be removed or
# replaced from inside, as a tool that replaces its output file would
# replace /dev/null), links for the descriptors, and a /dev/shm. Nothing in
# the root can change this machine's own /dev.
mount_in_root dev -t tmpfs -o mode=755 tmpfs
for device in null zero full random urandom tty; do
  : >"$root/dev/$device"
  mount_in_root "dev/$device" --bind "/dev/$device"
done
ln -s /proc/self/fd "$root/dev/fd"
ln -s /proc/self/fd/0 "$root/dev/stdin"
ln -s /proc/self/fd/1 "$root/dev/stdout"
ln -s /proc/self/fd/2 "$root/dev/stderr"
mkdir -p "$root/dev/shm" "$root/dev/pts"
mount_in_root dev/shm -t tmpfs -o mode=1777 tmpfs
mount_in_root var/cache/apt/archives --bind "$cache/apt"

in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}
log=$work/git.log
# An index that fails to download (a mirror mid-sync) need not keep git out.
if ! in_root bash -c 'apt-get update -qq; DEBIAN_FRONTEND=noninteractive apt-get install -y -qq git' \
  >"$log" 2>&1; then
  skip "git does not install: $(grep -m 1 '^E: ' "$log" || tail -n 1 "$log")"
fi
git clone --quiet --no-hardlinks "$top" "$root/root/wavrix"
git -C "$root/root/wavrix" checkout --quiet --detach "$commit"

echo "fresh_root: in Debian $number ($codename), at $(git rev-parse --short "$commit"): $*"
status=0
in_root bash -c 'cd /root/wavrix && exec "$@"' fresh_root "$@" || status=$?
[ "$status" -ne 77 ] || status=1
for path in "${bring_back[@]}"; do
  if [ -e "$root/root/wavrix/$path" ]; then
    rm -rf "${work:?}/$path"
    mkdir -p "$(dirname "$work/$path")"
    cp -a "$root/root/wavrix/$path" "$work/$path"
  fi
done
exit "$status"
