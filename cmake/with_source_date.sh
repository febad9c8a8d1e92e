#!/usr/bin/env bash
# Runs a command with SOURCE_DATE_EPOCH read from the file the build keeps it
# in (cmake/source_date_epoch.cmake writes it), so that the linker and the
# release packing date what they make by the last commit.
#   with_source_date.sh DATE-FILE COMMAND [ARGUMENTS...]
set -euo pipefail
SOURCE_DATE_EPOCH=$(<"$1")
export SOURCE_DATE_EPOCH
shift
exec "$@"
