#!/usr/bin/env bash
# Runs the Linux program under valgrind's memcheck on the end-to-end paths:
# every run must be free of memory errors and leaks. (valgrind carries x87
# extended arithmetic in double precision, so the numbers themselves are not
# judged here; the tests do that natively.)
set -euo pipefail
cd "$(dirname "$0")/.."
[ -x build/native/bin/wavrix ] || { cmake --preset native >/dev/null && cmake --build --preset native; }
exe=build/native/bin/wavrix
run() {
  local status=0
  env "$@" >/dev/null 2>/tmp/wavrix-memcheck.log || status=$?
  if [ "$status" -eq 99 ]; then
    cat /tmp/wavrix-memcheck.log
    echo "memcheck: errors in: $*" >&2
    return 1
  fi
}
vg=(valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect)
trace=WAVRIX_SIM_TRACE=/tmp/wavrix-memcheck.trace
count=0
for arg in 98.5 98500000 abc "" 1000 -98.5 1e19 -1e303 1e400 1e5119 \
           "$(printf '2%0308dx' 0)" "$(printf '%04096d' 0)"; do
  run "$trace" "${vg[@]}" "$exe" "$arg"
  count=$((count + 1))
done
run "$trace" "${vg[@]}" "$exe"
run "$trace" WAVRIX_SIM_STATUS=20,00,fail "${vg[@]}" "$exe" 100
echo "memcheck: $((count + 2)) runs, no errors"
