#!/usr/bin/env bash
# Runs a command with SOURCE_DATE_EPOCH read from the file the build keeps it
# in (cmake/source_date_epoch.cmake writes it), so that the linker and the
# release packing date what they make by the last commit. When the file says
# on a second line why the date is unknown, WAVRIX_SOURCE_DATE_UNKNOWN holds
# that, for the build record.
#   with_source_date.sh DATE-FILE COMMAND [ARGUMENTS...]
set -euo pipefail
unknown=""
{
  read -r SOURCE_DATE_EPOCH
  read -r unknown || true
} <"$1"
export SOURCE_DATE_EPOCH
if [ -n "$unknown" ]; then
  export WAVRIX_SOURCE_DATE_UNKNOWN=$unknown
else
  unset WAVRIX_SOURCE_DATE_UNKNOWN
fi
shift
exec "$@"
