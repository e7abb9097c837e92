#!/usr/bin/env bash
# Threads: 8 threads of mixed WriteLog/WriteHex on one object, the file read
# back; natively, under AddressSanitizer + UndefinedBehaviorSanitizer and
# under ThreadSanitizer. QW_REL_FULL=1 runs 8 x 100,000 calls everywhere. (The unit
# suite's thread tables run under both sanitizers in ./run test, with the whole unit suite.)
source "$(dirname "$0")/../lib/common.sh"
source "$QW_TOP/tests/lib/reliability.sh"
qw_rel_linux threads-linux linux --gtest_filter='ThreadsTest.*'
if qw_rel_build linux-asan; then
  QW_REL_CALLS=${QW_REL_CALLS:-$([ "${QW_REL_FULL:-}" = 1 ] || echo 10000)} UBSAN_OPTIONS=halt_on_error=1 \
    qw_rel_linux threads-asan linux-asan --gtest_filter='ThreadsTest.*:BadInputTest.*'
else qw_say "FAIL threads-asan build (see build/rel-linux-asan.log)"; fi
if qw_rel_build linux-tsan; then
  QW_REL_CALLS=${QW_REL_CALLS:-$([ "${QW_REL_FULL:-}" = 1 ] || echo 5000)} TSAN_OPTIONS=halt_on_error=1 \
    qw_rel_linux threads-tsan linux-tsan --gtest_filter='ThreadsTest.*'
else qw_say "FAIL threads-tsan build (see build/rel-linux-tsan.log)"; fi
