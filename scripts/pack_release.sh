#!/usr/bin/env bash
# Packs the release so that the same source always gives the same bytes, in
# OUT_DIR:
#   wavrix-VERSION-win32.zip        the exe stripped of its debug information
#                                   and README.TXT with CRLF line ends, both
#                                   dated SOURCE_DATE_EPOCH, with fixed
#                                   permissions and order and no owner or
#                                   extra time fields;
#   wavrix-VERSION-win32.buildinfo  the build record: the commit, the
#                                   version, the date, the system and the
#                                   tools, and the checksums of the exe and
#                                   the archive;
#   SHA256SUMS                      the checksums of the archive and the
#                                   record.
# Run by the Windows build's "release" target (scripts/release.sh builds it).
#   pack_release.sh STRIP EXE README OUT_DIR VERSION SOURCE_DIR CXX
# The commit comes from source_commit.sh: the one SOURCE_DIR has checked out,
# or, for a copy without its .git, WAVRIX_SOURCE_COMMIT. A build whose commit
# cannot be known says so in the record.
set -euo pipefail
strip=$1 exe=$2 readme=$3 out=$4 version=$5 source=$6 cxx=$7
: "${SOURCE_DATE_EPOCH:?SOURCE_DATE_EPOCH must be set}"
name=wavrix-$version-win32
source "$(dirname "$0")/debian_releases.sh"

# "NAME VERSION" of the package that installed the program FILE, where the
# system keeps packages with dpkg; nothing elsewhere.
package_of() {
  command -v dpkg >/dev/null || return 0
  local path
  path=$(readlink -f "$(command -v "$1")") || return 0
  local package
  package=$(dpkg -S "$path" 2>/dev/null | head -n 1 | cut -d: -f1) || return 0
  [ -n "$package" ] || return 0
  dpkg-query -W -f='${Package} ${Version}' "$package" 2>/dev/null || true
}

# "FIELD: VALUE", or nothing when VALUE is empty.
field() {
  [ -z "$2" ] || printf '%s: %s\n' "$1" "$2"
}

commit=$(bash "$(dirname "$0")/source_commit.sh" "$source")
# Before anything is written: a wrong commit stops the packing.
linker=$("$cxx" -print-prog-name=ld)

stage=$out/$name
rm -rf "$stage" "$out/$name.zip" "$out/$name.buildinfo" "$out/SHA256SUMS"
mkdir -p "$stage"
# strip writes a new PE time stamp too: SOURCE_DATE_EPOCH keeps it the link's.
"$strip" -o "$stage/wavrix.exe" "$exe"
# README.TXT is kept with LF line ends; Notepad wants CRLF.
if grep -q $'\r' "$readme"; then
  echo "$readme: carriage returns inside; it is kept with LF line ends alone" >&2
  exit 1
fi
awk '{ printf "%s\r\n", $0 }' "$readme" >"$stage/README.TXT"
chmod 0755 "$stage/wavrix.exe"
chmod 0644 "$stage/README.TXT"
touch -d "@$SOURCE_DATE_EPOCH" "$stage/wavrix.exe" "$stage/README.TXT"
# zip keeps local times: in UTC they are the same on every machine. -X leaves
# out the owner and the extra time fields.
(cd "$stage" && TZ=UTC zip -X -q -9 "../$name.zip" README.TXT wavrix.exe)

# The build record, in the manner of a Debian .buildinfo: what the archive
# was made from and with, and the checksums of what it holds.
checksum_line() {
  printf ' %s %s %s\n' "$(sha256sum <"$1" | cut -d' ' -f1)" "$(stat -c %s "$1")" "$2"
}
{
  field Format "wavrix build record 1"
  field Source wavrix
  field Version "$version"
  field Commit "$commit"
  field Source-Date-Epoch "$SOURCE_DATE_EPOCH"
  if [ -n "${WAVRIX_SOURCE_DATE_UNKNOWN:-}" ]; then
    field Source-Date "unknown ($WAVRIX_SOURCE_DATE_UNKNOWN; $SOURCE_DATE_EPOCH stands in)"
  else
    field Source-Date "$(TZ=UTC date -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC')"
  fi
  # The system the tools came from, as it names itself.
  field Build-System "$(os_release PRETTY_NAME)"
  field Compiler "$("$cxx" --version | head -n 1)"
  field Compiler-Package "$(package_of "$cxx")"
  field Binutils "$("$linker" --version | head -n 1)"
  field Binutils-Package "$(package_of "$linker")"
  field Zip "$(zip -v | sed -n 's/^This is \(Zip [^,]*\),.*/\1/p')"
  field Zip-Package "$(package_of zip)"
  echo "Checksums-Sha256:"
  checksum_line "$stage/wavrix.exe" wavrix.exe
  checksum_line "$out/$name.zip" "$name.zip"
} >"$out/$name.buildinfo"

(cd "$out" && sha256sum "$name.zip" "$name.buildinfo" >SHA256SUMS)
echo "release: $out/$name.zip, wavrix.exe $(stat -c %s "$stage/wavrix.exe") bytes"
rm -rf "$stage"
cat "$out/$name.buildinfo"
cat "$out/SHA256SUMS"
