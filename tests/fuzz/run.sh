#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs them side by side.
#   tests/fuzz/run.sh          15 seconds each (the test run; 60 with QW_FULL=1, ./run test --full)
#   tests/fuzz/run.sh --long   an hour each
#   QW_FUZZ_SECONDS=N          any other length
# Prints PASS/FAIL per target and FIGURE lines with executions and findings.
# Corpora stay in build/fuzz/corpus-*, inputs that failed in build/fuzz/findings-*.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
secs=${QW_FUZZ_SECONDS:-15}
[ "${QW_FULL:-0}" = 1 ] && secs=${QW_FUZZ_SECONDS:-60}
[ "${1:-}" = --long ] && secs=3600
out=$top/build/fuzz
mkdir -p "$out"
if ! { CXX=clang++-14 cmake -S "$top/tests/fuzz" -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        && cmake --build "$out" -j"$(nproc)"; } >"$out/build.log" 2>&1; then
  echo "FAIL fuzz-build (see build/fuzz/build.log)"; tail -20 "$out/build.log"; exit 0
fi
for t in fuzz_dump fuzz_entry fuzz_format; do
  mkdir -p "$out/corpus-$t" "$out/findings-$t"
  (cd "$out" && "./$t" -max_total_time="$secs" -max_len=4200 -timeout=20 -print_final_stats=1 \
      -artifact_prefix="$out/findings-$t/" "$out/corpus-$t" >"$out/$t.log" 2>&1) &
done
wait
for t in fuzz_dump fuzz_entry fuzz_format; do
  runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$out/$t.log" | tail -1)
  found=$(find "$out/findings-$t" -type f | wc -l)
  corpus=$(find "$out/corpus-$t" -type f | wc -l)
  echo "FIGURE $t: ${runs:-0} executions in ${secs} s, corpus $corpus inputs, $found findings"
  if [ "$found" -eq 0 ] && [ -n "$runs" ]; then echo "PASS $t"; else
    echo "FAIL $t (see build/fuzz/$t.log)"; grep -m5 -E 'ERROR|differs|model:|library:' "$out/$t.log"; fi
done
rm -rf /dev/shm/qwfuzz.* /tmp/qwfuzz.* 2>/dev/null
exit 0
