#!/usr/bin/env bash
# What scripts/check_download.sh says of a download, run from a clone of this
# repository's committed tree with the script as it stands in the work tree,
# against a release built from that commit and then changed as the case says.
# scripts/fresh_root.sh is a stand-in that logs its call and cannot make a
# root, or, with $REBUILT set, brings back what a root would have built (the
# commit's release) where the real one would. One case a run:
#   check_download_test.sh CASE
set -euo pipefail
source_top="$(cd "$(dirname "$0")/.." && pwd)"
case_name=$1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git clone --quiet "$source_top" "$work/repo"
cp "$source_top"/scripts/{check_download,debian_releases}.sh "$work/repo/scripts/"
cat >"$work/repo/scripts/fresh_root.sh" <<'EOF'
#!/usr/bin/env bash
echo "fresh_root.sh $*" >>"$CALLS"
if [ -z "${REBUILT:-}" ]; then
  echo "fresh_root: skipped, no fresh root of Debian 99 (test): a stand-in"
  exit 77
fi
into=""
while [ "${1:-}" != "${1#-}" ]; do
  [ "$1" != --into ] || into=$2
  shift 2
done
into=${into:-build/fresh-root/$1}
rm -rf "$into/build/win32"
mkdir -p "$into/build" && cp -R "$REBUILT" "$into/build/win32"
EOF
export CALLS="$work/calls"
: >"$CALLS"
# The download: a release of the commit, built in a clone of its own.
git clone --quiet "$source_top" "$work/built"
(cd "$work/built" && bash scripts/release.sh >/dev/null 2>&1)
mkdir "$work/download"
cp "$work/built/build/win32/"{*.zip,*.buildinfo,SHA256SUMS} "$work/download/"
record=$(ls "$work/download/"*.buildinfo)
name=$(basename "$record" .buildinfo)
commit=$(git -C "$work/repo" rev-parse HEAD)

source "$source_top/tests/script_checks.sh"
# The release this machine does not run, or either where it runs neither.
source "$source_top/scripts/debian_releases.sh"
other=$(for r in "${debian_releases[@]}"; do echo "$r"; done | grep -v "^$(debian_here):" | head -n 1)
run() {
  status=0
  output=$(env "$@" bash "$work/repo/scripts/check_download.sh" "$record" 2>&1) || status=$?
}
# Sets FIELD of the record to VALUE.
set_field() { sed -i "s|^$1: .*|$1: $2|" "$record"; }

case $case_name in
  AnArchiveChangedIsDifferent)
    printf 'x' >>"$work/download/$name.zip"
    run
    exits 1
    expect "check: DIFFERENT: $name.zip is not what commit $commit builds with the same tools"
    ;;
  TheSameBytesFromOtherToolsAreTheSame)
    was=$(sed -n 's/^Zip-Package: //p' "$record")
    set_field Zip-Package "zip 0.1"
    run
    exits 0
    expect "check: rebuilt with other tools than the record names: Zip-Package 'zip 0.1', now '$was'"
    expect "check: the same: $name.zip is what commit $commit builds, byte for byte"
    ;;
  OtherBytesFromToolsNoLongerToBeHadCannotBeChecked)
    was=$(sed -n 's/^Zip-Package: //p' "$record")
    set_field Zip-Package "zip 0.1"
    printf 'x' >>"$work/download/$name.zip"
    run
    exits 2
    expect "check: cannot check $name.zip: it differs from the rebuild, but the tools its build" \
      "record names can no longer be had: Zip-Package 'zip 0.1', now '$was'"
    ;;
  AnotherReleaseIsRebuiltInItsRoot)
    set_field Build-System "Debian GNU/Linux ${other##*:} (${other%%:*})"
    run
    exits 2
    expect "check: cannot check $name.zip: skipped, no fresh root of Debian 99 (test): a stand-in"
    date=$(sed -n 's/^Source-Date-Epoch: //p' "$record")
    call="fresh_root.sh --commit $commit --bring-back build/win32"
    call+=" --into $work/repo/build/check-download/root ${other%%:*}"
    call+=" env SOURCE_DATE_EPOCH=$date bash scripts/release.sh"
    grep -qxF "$call" "$CALLS" || fail "fresh_root.sh called otherwise: $(cat "$CALLS")"
    ;;
  ADownloadChangedWhereTheRootLeftItIsDifferent)
    # As CI checks the release its root of the other release built: the
    # download lies where the root brought it back, and stays as it is.
    set_field Build-System "Debian GNU/Linux ${other##*:} (${other%%:*})"
    left=$work/repo/build/fresh-root/${other%%:*}/build/win32
    mkdir -p "$left"
    mv "$work/download/"* "$left/"
    record=$left/$name.buildinfo
    byte=$(od -An -tu1 -j 100 -N 1 "$left/$name.zip")
    printf "\\$(printf %o $(((byte + 1) % 256)))" |
      dd of="$left/$name.zip" bs=1 seek=100 conv=notrunc status=none
    before=$(cd "$left" && sha256sum -- *)
    run REBUILT="$work/built/build/win32"
    exits 1
    expect "check: DIFFERENT: $name.zip is not what commit $commit builds with the same tools"
    [ "$(cd "$left" && sha256sum -- *)" = "$before" ] || fail "the download was changed"
    ;;
  *) echo "check_download_test.sh: no case $case_name" >&2; exit 2 ;;
esac
finish
