#!/usr/bin/env bash
# Says which commit the source in SOURCE_DIR is, for the build record:
#   source_commit.sh SOURCE_DIR
# Prints the commit SOURCE_DIR has checked out, when it is the top of a git
# checkout with nothing changed; for a copy of the source without its .git
# (as `git archive` makes), the commit handed over in WAVRIX_SOURCE_COMMIT.
# When the commit cannot be known it prints a line that says why, beginning
# "unknown (". Fails, saying why on standard error, when WAVRIX_SOURCE_COMMIT
# is no full commit id or names another commit than the one checked out:
# a record must never name a wrong commit.
set -euo pipefail
source=$1
handed=${WAVRIX_SOURCE_COMMIT:-}
if [ -n "$handed" ] && ! [[ $handed =~ ^[0-9a-f]{40}$ ]]; then
  echo "WAVRIX_SOURCE_COMMIT must be a full commit id (40 hex digits), not '$handed'" >&2
  exit 1
fi
# Only a checkout whose top is the source itself: a copy of the source
# inside some other repository must not take that repository's commit.
if top=$(git -C "$source" rev-parse --show-toplevel 2>/dev/null) &&
  [ "$top" = "$(cd "$source" && pwd -P)" ]; then
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
