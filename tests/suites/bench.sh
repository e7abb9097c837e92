#!/usr/bin/env bash
# Smoke run of the benchmarks (bench/): both bench presets build from the current
# sources, every writer writes the library's bytes, and every case runs once and
# gives its row in the tables. Nothing here is timed: figures come from ./run bench.
set -u
. "$(dirname "$0")/../lib/common.sh"
cd "$QW_TOP"
out=build/reports/bench
mkdir -p "$out"

# Builds one bench preset, quietly; PASS or FAIL.
build_bench() {
  qw_check "bench: $1 builds" eval "{ cmake --preset $1 && cmake --build --preset $1 -j$(nproc); } >$out/$1.log 2>&1"
}

# Prints the PASS/FAIL lines of a byte check with the platform before the text.
tagged() { sed -E "s/^(PASS|FAIL) /\1 $1: /"; }

# Expects a table with one row per case listed in $1 from the result $2.
check_table() {
  local names=$1 result=$2 what=$3 rows
  rows=$(python3 bench/table.py "$result" 2>/dev/null | grep -c '^| [A-Z]')
  qw_check "bench: $what table has a row for each of $(grep -c . "$names") cases" [ "$rows" -eq "$(grep -c . "$names")" ]
}

# The library's file holds every byte its calls handed over, in every thread case
# (the column "bytes kept: quillwork").
kept_all() {
  local rows
  rows=$(tr -d '\r' <"$2" | awk -F'|' '/^\| Write/ { gsub(/ /, "", $10); print $10 }')
  qw_check "bench: $1 library kept 100% of its bytes in every thread case" \
    [ "$(grep -c '^100%$' <<<"$rows")" -eq 9 ]
}

linux_smoke() {
  local dir=build/bench-linux/bin
  (cd "$dir" && ./qw_bench --qw_check) | tagged linux
  (cd "$dir" && ./qw_bench --benchmark_list_tests) >"$out/linux-names.txt"
  (cd "$dir" && ./qw_bench --benchmark_min_time=0.001 --benchmark_repetitions=2 --benchmark_report_aggregates_only=true \
      --benchmark_out="$QW_TOP/$out/linux.json" --benchmark_out_format=json) >"$out/linux.txt" 2>&1
  python3 bench/table.py "$out/linux.json" --expect "$out/linux-names.txt" | tagged linux
  check_table "$out/linux-names.txt" "$out/linux.json" linux
  (cd "$dir" && ./qw_bench --qw_threads --smoke) >"$out/linux-threads.md" 2>&1
  qw_check "bench: linux thread table has a row for each of 9 cases" [ "$(grep -c '^| Write' "$out/linux-threads.md")" -eq 9 ]
  kept_all linux "$out/linux-threads.md"
}

wine_smoke() {
  local dir=build/bench-win64/bin
  qw_wine_env win64
  # Wine's output goes to files, never to a pipe: its helper processes would hold a pipe open.
  (cd "$dir" && wine qw_winbench.exe --qw_check >"$QW_TOP/$out/wine-check.txt" 2>&1 </dev/null)
  tr -d '\r' <"$out/wine-check.txt" | tagged wine
  (cd "$dir" && wine qw_winbench.exe --list >"$QW_TOP/$out/wine-list.txt" 2>/dev/null </dev/null)
  tr -d '\r' <"$out/wine-list.txt" >"$out/wine-names.txt"
  (cd "$dir" && wine qw_winbench.exe --smoke --out=smoke.json >"$QW_TOP/$out/wine.txt" 2>&1 </dev/null)
  mv -f "$dir/smoke.json" "$out/wine.json" 2>/dev/null
  (cd "$dir" && wine qw_winbench.exe --qw_threads --smoke >"$QW_TOP/$out/wine-threads.md" 2>&1 </dev/null)
  qw_stop_wine
  qw_check "bench: wine thread table has a row for each of 9 cases" [ "$(grep -c '^| Write' "$out/wine-threads.md")" -eq 9 ]
  kept_all wine "$out/wine-threads.md"
  python3 bench/table.py "$out/wine.json" --expect "$out/wine-names.txt" | tagged wine
  check_table "$out/wine-names.txt" "$out/wine.json" wine
}

# Instructions per entry are a figure, not a check: the count only has to come out.
callgrind_smoke() {
  local table
  table=$(bench/callgrind.sh build/bench-linux/bin/qw_bench 200 quillwork spdlog)
  grep -E '^\| (quillwork|spdlog) ' <<<"$table" | while IFS='|' read -r _ w n _; do
    echo "FIGURE instructions per entry (callgrind, 200 vs 400 entries):$w$n"
  done
  qw_check "bench: callgrind counts instructions per entry" \
    grep -qE '^\| quillwork \| [1-9][0-9]* \|$' <<<"$table"
}

build_bench bench-linux
build_bench bench-win64
[ -x build/bench-linux/bin/qw_bench ] && { linux_smoke; callgrind_smoke; }
[ -f build/bench-win64/bin/qw_winbench.exe ] && wine_smoke
exit 0
