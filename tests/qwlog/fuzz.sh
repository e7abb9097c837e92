#!/usr/bin/env bash
# Builds the reader's libFuzzer target with clang (ASan and UBSan) and runs it.
#   tests/qwlog/fuzz.sh           10 seconds (the suite's run; 30 with QW_FULL=1, ./run test --full)
#   tests/qwlog/fuzz.sh --long    an hour
#   QW_QWLOG_FUZZ_SECONDS=N       any other length
# Prints PASS/FAIL and a FIGURE line; the corpus stays in build/qwlog-fuzz/corpus.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
secs=${QW_QWLOG_FUZZ_SECONDS:-10}
[ "${QW_FULL:-0}" = 1 ] && secs=${QW_QWLOG_FUZZ_SECONDS:-30}
[ "${1:-}" = --long ] && secs=3600
out=$top/build/qwlog-fuzz
src=$top/tools/qwlog
mkdir -p "$out/corpus" "$out/findings"
cxx=$(command -v clang++-14 || command -v clang++)
if ! "$cxx" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I "$src" -I "$top/tests/common" "$top/tests/qwlog/FuzzParser.cpp" "$src/LineReader.cpp" "$src/Parser.cpp" "$src/DumpLine.cpp" \
    -o "$out/fuzz_qwlog" >"$out/build.log" 2>&1; then
  echo "FAIL qwlog fuzz build (see build/qwlog-fuzz/build.log)"; tail -5 "$out/build.log"; exit 0
fi
# Seeds: the golden logs, each as a raw file (first byte even).
for f in "$top"/tests/qwlog/golden/2024-03-05/*.log; do
  { printf '\0'; cat "$f"; } >"$out/corpus/seed-$(basename "$f")"
done
(cd "$out" && ./fuzz_qwlog -max_total_time="$secs" -max_len=8192 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$out/findings/" "$out/corpus" >"$out/fuzz.log" 2>&1)
runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$out/fuzz.log" | tail -1)
found=$(find "$out/findings" -type f | wc -l)
echo "FIGURE qwlog fuzz: ${runs:-0} executions in ${secs} s, $found findings"
if [ "$found" -eq 0 ] && [ -n "$runs" ]; then echo "PASS qwlog parser fuzz (no crash, hang or mismatch)"; else
  echo "FAIL qwlog parser fuzz (see build/qwlog-fuzz/fuzz.log)"; grep -m5 -E 'ERROR|qwlog fuzz:' "$out/fuzz.log"; fi
exit 0
