#!/usr/bin/env bash
# Builds the release twice, from two copies of the source in different
# folders, one after the other, and requires byte-identical archives and
# checksum files, and that each SHA256SUMS checks out. The copies are the last
# commit as `git archive` gives it: what is checked is the commit, not the
# work tree.
set -euo pipefail
cd "$(dirname "$0")/.."
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The second build also runs in another time zone and with another umask,
# which must not show in the archive either.
build() {
  local copy=$1
  mkdir -p "$work/$copy"
  git archive --format=tar HEAD | tar -x -C "$work/$copy"
  (cd "$work/$copy" && bash scripts/release.sh >/dev/null)
  (cd "$work/$copy/build/win32" && sha256sum -c SHA256SUMS)
}
build first/wavrix
(umask 0077 && TZ=Pacific/Auckland build second/elsewhere/wavrix-src)
zip_name=$(cd "$work/first/wavrix/build/win32" && ls wavrix-*-win32.zip)
cmp "$work/first/wavrix/build/win32/$zip_name" "$work/second/elsewhere/wavrix-src/build/win32/$zip_name"
cmp "$work/first/wavrix/build/win32/SHA256SUMS" "$work/second/elsewhere/wavrix-src/build/win32/SHA256SUMS"
echo "reproducible: two builds gave the same $zip_name"
cat "$work/first/wavrix/build/win32/SHA256SUMS"
