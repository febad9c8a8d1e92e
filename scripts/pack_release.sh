#!/usr/bin/env bash
# Packs the release archive so that the same source always gives the same
# bytes: the exe stripped of its debug information, the README, both dated
# SOURCE_DATE_EPOCH, with fixed permissions and order and no owner or extra
# time fields; then SHA256SUMS beside the archive. Run by the Windows build's
# "release" target (scripts/release.sh builds it).
#   pack_release.sh STRIP EXE README OUT_DIR NAME
set -euo pipefail
strip=$1 exe=$2 readme=$3 out=$4 name=$5
: "${SOURCE_DATE_EPOCH:?SOURCE_DATE_EPOCH must be set}"

stage=$out/$name
rm -rf "$stage" "$out/$name.zip" "$out/SHA256SUMS"
mkdir -p "$stage"
# strip writes a new PE time stamp too: SOURCE_DATE_EPOCH keeps it the link's.
"$strip" -o "$stage/wavrix.exe" "$exe"
cp "$readme" "$stage/README.md"
chmod 0755 "$stage/wavrix.exe"
chmod 0644 "$stage/README.md"
touch -d "@$SOURCE_DATE_EPOCH" "$stage/wavrix.exe" "$stage/README.md"
# zip keeps local times: in UTC they are the same on every machine. -X leaves
# out the owner and the extra time fields.
(cd "$stage" && TZ=UTC zip -X -q -9 "../$name.zip" README.md wavrix.exe)
(cd "$out" && sha256sum "$name.zip" >SHA256SUMS)
echo "release: $out/$name.zip, wavrix.exe $(stat -c %s "$stage/wavrix.exe") bytes"
rm -rf "$stage"
cat "$out/SHA256SUMS"
