#!/usr/bin/env bash
# Builds the release of the last commit three times and requires the same
# bytes each time:
#  - twice from copies of the commit as `git archive` gives it, in different
#    folders, one after the other, the second in another time zone and with
#    another umask: the archives, the build records and the checksum files
#    must be identical, each SHA256SUMS must check out, and each record must
#    name the commit (handed to the copies, which have no .git, through
#    WAVRIX_SOURCE_COMMIT);
#  - once by following the README's steps to check a download as they are
#    written, from a folder holding the first build's download: a fresh
#    clone of this repository and scripts/check_download.sh, which rebuilds
#    the commit the build record names and compares the archives; its
#    rebuild's record must be the download's too.
# What is checked is the commit, not the work tree.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/need.sh
need windows git sha256sum cmp
repo=$(pwd -P)
commit=$(git rev-parse HEAD)
export WAVRIX_SOURCE_COMMIT=$commit
# The README's steps run as a user's would, with the date taken from the
# commit, unless a date was given for the whole check.
date_given=${SOURCE_DATE_EPOCH:+yes}
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct "$commit")}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build() {
  local copy=$1
  mkdir -p "$work/$copy"
  git archive --format=tar "$commit" | tar -x -C "$work/$copy"
  (cd "$work/$copy" && bash scripts/release.sh >/dev/null)
  (cd "$work/$copy/build/win32" && sha256sum -c SHA256SUMS)
}
build first/wavrix
(umask 0077 && TZ=Pacific/Auckland build second/elsewhere/wavrix-src)
first=$work/first/wavrix/build/win32
second=$work/second/elsewhere/wavrix-src/build/win32
zip_name=$(cd "$first" && ls wavrix-*-win32.zip)
record=${zip_name%.zip}.buildinfo
for file in "$zip_name" "$record" SHA256SUMS; do
  cmp "$first/$file" "$second/$file"
done
if ! grep -qx "Commit: $commit" "$first/$record"; then
  echo "$record does not name the commit $commit:" >&2
  cat "$first/$record" >&2
  exit 1
fi
echo "reproducible: two builds gave the same $zip_name and $record"

# The README's reproduce steps: the first sh block that clones, with the
# repository and the version filled in.
version=$(sed -n 's/^Version: //p' "$first/$record")
steps=$(awk '/^```sh$/ { block = ""; inside = 1; next }
  /^```$/ { if (inside && block ~ /git clone/) { printf "%s", block; exit } inside = 0; next }
  inside { block = block $0 "\n" }' README.md)
if [ -z "$steps" ]; then
  echo "README.md has no sh block with the reproduce steps (git clone ...)" >&2
  exit 1
fi
shopt -u patsub_replacement 2>/dev/null || true
steps=${steps//<repository>/$(printf '%q' "$repo")}
steps=${steps//<version>/$version}
if grep -q '<[^<>]*>' <<<"$steps"; then
  echo "README.md's reproduce steps hold a placeholder this check cannot fill:" >&2
  echo "$steps" >&2
  exit 1
fi
download=$work/download
mkdir -p "$download"
cp "$first/$zip_name" "$first/$record" "$first/SHA256SUMS" "$download/"
(cd "$download" && sha256sum -c SHA256SUMS >/dev/null)
as_a_user=(-u WAVRIX_SOURCE_COMMIT)
[ -n "$date_given" ] || as_a_user+=(-u SOURCE_DATE_EPOCH)
echo "the README's reproduce steps, in a folder holding the download:"
echo "$steps" | sed 's/^/  /'
if ! (cd "$download" && env "${as_a_user[@]}" bash -euo pipefail -c "$steps") \
  >"$work/steps.log" 2>&1; then
  cat "$work/steps.log" >&2
  echo "the README's reproduce steps failed" >&2
  exit 1
fi
tail -n 1 "$work/steps.log"
# The clone knows its commit from git: its record must be the same.
cmp "$download/wavrix/build/check-download/$record" "$download/$record"
echo "reproducible: the README's steps rebuilt the same $zip_name from a fresh clone"
cat "$first/SHA256SUMS"
