#!/usr/bin/env bash
# Says which commit the source in SOURCE_DIR is, for the build record, or
# when that commit was made, for the release's date:
#   source_commit.sh SOURCE_DIR
#   source_commit.sh --date SOURCE_DIR
# With --date, prints the time of the commit SOURCE_DIR has checked out, in
# seconds since 1970, when it is the top of a git checkout, and nothing
# otherwise: a copy has no commit time to read. Without it, prints the commit
# SOURCE_DIR has checked out, when it is the top of a git checkout with
# nothing changed; for a copy of the source without its .git (as `git
# archive` makes), the commit handed over in WAVRIX_SOURCE_COMMIT.
# When the commit cannot be known it prints a line that says why, beginning
# "unknown (". Fails, saying why on standard error, when WAVRIX_SOURCE_COMMIT
# is no full commit id or names another commit than the one checked out:
# a record must never name a wrong commit.
set -euo pipefail
date_only=""
if [ "$1" = --date ]; then
  date_only=1
  shift
fi
source=$1
handed=${WAVRIX_SOURCE_COMMIT:-}
# Only a checkout whose top is the source itself: a copy of the source
# inside some other repository must not take that repository's commit, nor
# its date.
own_checkout() {
  local top
  top=$(git -C "$source" rev-parse --show-toplevel 2>/dev/null) &&
    [ "$top" = "$(cd "$source" && pwd -P)" ]
}
if [ -n "$date_only" ]; then
  if own_checkout; then
    git -C "$source" log -1 --format=%ct 2>/dev/null || true
  fi
  exit 0
fi
if [ -n "$handed" ] && ! [[ $handed =~ ^[0-9a-f]{40}$ ]]; then
  echo "WAVRIX_SOURCE_COMMIT must be a full commit id (40 hex digits), not '$handed'" >&2
  exit 1
fi
if own_checkout; then
  head=$(git -C "$source" rev-parse HEAD)
  if [ -n "$handed" ] && [ "$handed" != "$head" ]; then
    echo "WAVRIX_SOURCE_COMMIT is $handed, but the source has $head checked out" >&2
    exit 1
  fi
  if [ -n "$(git --no-optional-locks -C "$source" status --porcelain)" ]; then
    echo "unknown (the source has changes not committed to $head)"
  else
    echo "$head"
  fi
elif [ -n "$handed" ]; then
  echo "$handed"
else
  echo "unknown (the source is no git checkout, and WAVRIX_SOURCE_COMMIT was not set)"
fi
