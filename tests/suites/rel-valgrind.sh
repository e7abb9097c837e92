#!/usr/bin/env bash
# Valgrind memcheck over the Linux black-box suite: no invalid access, no
# leak once every object is released.
source "$(dirname "$0")/../lib/common.sh"
command -v valgrind >/dev/null || { qw_say "FAIL valgrind: not installed"; exit 0; }
bin="$QW_TOP/build/linux/bin"
out="$QW_TOP/build/reports/rel-valgrind.out"
mkdir -p "$QW_TOP/build/reports"
rc=0
(cd "$bin" && TZ=UTC timeout 600 valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect --error-exitcode=99 ./qw_blackbox >"$out" 2>&1 </dev/null) || rc=$?
errors=$(sed -nE 's/.*ERROR SUMMARY: ([0-9]+) errors.*/\1/p' "$out" | tail -1)
lost=$(sed -nE 's/.*definitely lost: ([0-9,]+) bytes.*/\1/p' "$out" | tail -1)
tests=$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\./\1/p' "$out")
echo "FIGURE valgrind: qw_blackbox ${tests:-0} tests passed, ${errors:-?} memcheck errors, definitely lost ${lost:-0} bytes"
if [ "$rc" -eq 0 ] && [ "${errors:-1}" = 0 ] && [ -n "$tests" ]; then qw_say "PASS valgrind qw_blackbox"
else qw_say "FAIL valgrind qw_blackbox (exit $rc; see build/reports/rel-valgrind.out)"; fi
