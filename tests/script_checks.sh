# shellcheck shell=bash
# Sourced by the tests of the scripts: the checks a case makes. Each failed
# check is a line on standard error naming the case ($case_name); `finish`
# ends the case, showing what the script printed ($output, which the case's
# `run` captures with its exit code in $status) and, when the stand-ins log
# to $CALLS, their calls.
failures=0
fail() { echo "$case_name: $*" >&2; failures=$((failures + 1)); }
# A whole line the script must have printed.
expect() { grep -qxF -- "$*" <<<"$output" || fail "no line: $*"; }
# A whole line the stand-ins must have logged; a pattern they must not have.
called() { grep -qxF -- "$1" "$CALLS" || fail "not called: $1"; }
not_called() { ! grep -q -- "$1" "$CALLS" || fail "called: $(grep -- "$1" "$CALLS")"; }
exits() { [ "$status" -eq "$1" ] || fail "exit code $status, not $1"; }
finish() {
  if [ "$failures" -ne 0 ]; then
    printf 'its output:\n%s\n' "$output" >&2
    [ ! -s "${CALLS:-}" ] || printf 'calls:\n%s\n' "$(cat "$CALLS")" >&2
    exit 1
  fi
  echo "$case_name: passed"
}
