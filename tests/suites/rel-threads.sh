#!/usr/bin/env bash
# Threads: 8 threads of mixed WriteLog/WriteHex on one object, the file read
# back; natively, under AddressSanitizer + UndefinedBehaviorSanitizer and
# under ThreadSanitizer. QW_REL_FULL=1 runs 8 x 100,000 calls everywhere.
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
# The unit suite's thread tables (every call once, whole, stamps in file order;
# the per-entry settings from four threads; Open/Close/ShowConsole storms) on
# the sanitizer builds, at a tenth of their calls.
for preset in linux-asan linux-tsan; do
  if cmake --build --preset "$preset" -j"$(nproc)" --target qw_unit >>"$QW_TOP/build/rel-$preset.log" 2>&1; then
    out="$QW_TOP/build/reports/rel-unit-threads-$preset.out"
    (cd "$QW_TOP/build/$preset/bin" && TZ=UTC QW_THREAD_CALLS_DIV=10 UBSAN_OPTIONS=halt_on_error=1 TSAN_OPTIONS=halt_on_error=1 \
      timeout 600 ./qw_unit --gtest_filter='ThreadTest.*:LockTest.*' >"$out" 2>&1 </dev/null)
    qw_rel_report "unit-threads-$preset" "$out"
  else qw_say "FAIL unit-threads-$preset build (see build/rel-$preset.log)"; fi
done
