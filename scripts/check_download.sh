#!/usr/bin/env bash
# Checks a downloaded release against the commit its build record names: it
# rebuilds that commit as the record says it was built, and compares the
# archives byte for byte.
#   check_download.sh RECORD
# RECORD is the download's wavrix-VERSION-win32.buildinfo, the archive beside
# it. The rebuild is a clean clone of this repository at the record's commit,
# dated by the record's source date. It runs on this machine when it runs the
# Debian release the record names (Build-System), or when the record names
# none; else in a fresh root of that release (scripts/fresh_root.sh). Its
# archive, record and SHA256SUMS are left in build/check-download, which the
# check empties first; the download itself is only read, and may lie anywhere
# but there.
#
# The last line says what was found, and the exit code:
#   0  the same: the archive is what the commit builds, byte for byte
#      (whatever tools rebuilt it: the same bytes need no more);
#   1  different: it is not, though rebuilt with the tools the record names;
#   2  cannot check, and why: the record names no commit, or one this
#      repository lacks; the archives differ, but so do the tools, as the
#      versions the record names can no longer be had (their Debian packages
#      were updated since); the rebuild failed; no root of the record's
#      release can be made here.
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 RECORD" >&2
  exit 2
fi
record=$(realpath -m "$1")
cd "$(dirname "$0")/.."
top=$(pwd -P)
source scripts/debian_releases.sh
name=$(basename "$record" .buildinfo)
download=$(dirname "$record")
out=$top/build/check-download

cannot() {
  echo "check: cannot check $name.zip: $*"
  exit 2
}
# FIELD's value in the build record FILE.
field() {
  sed -n "s/^$1: //p" "$2"
}

[ -f "$record" ] || cannot "no build record $record"
[ -f "$download/$name.zip" ] || cannot "no $name.zip beside its build record"
case $download/ in
  "$out"/*) cannot "the download lies in $out, which the rebuild empties: move it elsewhere" ;;
esac
commit=$(field Commit "$record")
[[ $commit =~ ^[0-9a-f]{40}$ ]] || cannot "its build record names no commit (Commit: $commit)"
git cat-file -e "$commit^{commit}" 2>/dev/null ||
  cannot "this repository has no commit $commit; fetch it, or clone the repository it came from"
date=$(field Source-Date-Epoch "$record")
[[ $date =~ ^[0-9]+$ ]] || cannot "its build record names no source date"
system=$(field Build-System "$record")
release=$(sed -n 's/^Debian GNU\/Linux [0-9]* (\([a-z]*\))$/\1/p' <<<"$system")

rm -rf "$out"
mkdir -p "$out"
log=$out/rebuild.log
status=0
if [ -z "$release" ] || [ "$release" = "$(debian_here)" ]; then
  echo "check: rebuilding $commit here${system:+, on $system}"
  rebuilt=$out/wavrix/build/win32
  {
    git clone --quiet --no-hardlinks "$top" "$out/wavrix" &&
      git -C "$out/wavrix" checkout --quiet --detach "$commit" &&
      (cd "$out/wavrix" && env -u WAVRIX_SOURCE_COMMIT SOURCE_DATE_EPOCH="$date" \
        bash scripts/release.sh)
  } >"$log" 2>&1 || status=$?
else
  echo "check: rebuilding $commit in a fresh root of $system"
  rebuilt=$out/root/build/win32
  bash scripts/fresh_root.sh --commit "$commit" --bring-back build/win32 --into "$out/root" \
    "$release" env SOURCE_DATE_EPOCH="$date" bash scripts/release.sh >"$log" 2>&1 || status=$?
  [ "$status" -ne 77 ] || cannot "$(tail -n 1 "$log" | sed 's/^fresh_root: //')"
fi
if [ "$status" -ne 0 ] || [ ! -f "$rebuilt/$name.buildinfo" ]; then
  tail -n 20 "$log"
  cannot "the rebuild failed (its output: $log)"
fi
cp "$rebuilt/$name.zip" "$rebuilt/$name.buildinfo" "$rebuilt/SHA256SUMS" "$out/"

# The tools that rebuilt it, against those the record names.
others=()
for tool in Compiler Compiler-Package Binutils Binutils-Package Zip Zip-Package; do
  then=$(field "$tool" "$record")
  now=$(field "$tool" "$out/$name.buildinfo")
  [ "$then" = "$now" ] || others+=("$tool '$then', now '$now'")
done
changed=$(printf '%s; ' "${others[@]}" | sed 's/; $//')
if cmp -s "$out/$name.zip" "$download/$name.zip"; then
  [ -z "$changed" ] || echo "check: rebuilt with other tools than the record names: $changed"
  echo "check: the same: $name.zip is what commit $commit builds, byte for byte"
elif [ -n "$changed" ]; then
  cannot "it differs from the rebuild, but the tools its build record names can no longer" \
    "be had: $changed"
else
  echo "check: DIFFERENT: $name.zip is not what commit $commit builds with the same tools"
  exit 1
fi
