#!/usr/bin/env bash
# The benchmarks from the repository's current sources: the Linux cases on
# Google Benchmark (library, floor, spdlog, glog), the Windows x64 DLL under Wine
# (library and WriteFile floor), 1, 2 and 4 threads on one object against as
# many on one file on both, and instructions per entry under callgrind.
# Everything lands in build/bench/; tables.md holds the three tables.
#   ./run bench [--quick] [--docs] [--reps N]
#     --quick   short runs (a look, not figures to keep)
#     --docs    also put the tables into docs/performance.md
#   QW_BENCH_RT=1 runs the thread rounds and the readability checks at a real-time priority
#                 (as root; see threads_cmd), under Wine with the Wine server at the same one
set -u
top=${QW_TOP:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$top"
. tests/lib/common.sh
out=build/bench
reps=9; min_time=0.5; batch_ms=50; docs=0; callgrind_n=5000; thread_opts="--round_ms=50"
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) reps=3; min_time=0.05; batch_ms=10; callgrind_n=500; thread_opts="--round_ms=10" ;;
    --docs) docs=1 ;;
    --reps) reps=$2; shift ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done
mkdir -p "$out"

# Configures and builds one bench preset; the log stays in build/bench/.
build() {
  { cmake --preset "$1" && cmake --build --preset "$1" -j"$(nproc)"; } >"$out/$1.log" 2>&1 && return 0
  echo "build of $1 failed; see $out/$1.log" >&2; tail -20 "$out/$1.log" >&2; return 1
}

# What the figures were measured on (never the machine's name).
machine() {
  local cpu mem fs
  cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
  mem=$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)
  fs=$(stat -f -c %T build)
  echo "$(nproc) cores ($cpu), $mem memory, Linux $(uname -r), files on $fs;"\
       "g++ $(g++ -dumpversion), MinGW-w64 g++ $(x86_64-w64-mingw32-g++-posix -dumpversion), $(wine --version 2>/dev/null)."
}

# Threads on one object against as many on one file, alternating rounds (ThreadCases.h).
# Run as root, the rounds run at a real-time priority (chrt -f) when QW_BENCH_RT=1: on a
# shared machine a process otherwise gets a fraction of a core and its threads seldom run at once.
threads_cmd() {
  if [ "${QW_BENCH_RT:-}" = 1 ] && [ "$(id -u)" = 0 ]; then echo "chrt -f 10"; fi
}

linux_run() {
  local bin=build/bench-linux/bin/qw_bench
  (cd "$(dirname "$bin")" && $(threads_cmd) ./qw_readcheck) >"$out/readcheck.md" || return 1
  (cd "$(dirname "$bin")" && ./qw_bench --qw_check) >"$out/linux-check.txt" || { cat "$out/linux-check.txt"; return 1; }
  (cd "$(dirname "$bin")" && $(threads_cmd) ./qw_bench --qw_threads --rounds="$reps" $thread_opts) >"$out/linux-threads.md" || return 1
  (cd "$(dirname "$bin")" && ./qw_bench --benchmark_repetitions="$reps" --benchmark_min_time="$min_time" \
      --benchmark_report_aggregates_only=true --benchmark_enable_random_interleaving=true \
      --benchmark_out="$top/$out/linux.json" --benchmark_out_format=json) >"$out/linux.txt" 2>&1
}

wine_run() {
  local dir=build/bench-win64/bin
  qw_wine_env win64
  (cd "$dir" && wine qw_winbench.exe --qw_check >"$top/$out/wine-check.txt" 2>&1 </dev/null) || {
    cat "$out/wine-check.txt"; qw_stop_wine; return 1; }
  (cd "$dir" && wine qw_winbench.exe --reps="$reps" --batch_ms="$batch_ms" --out=wine.json \
      >"$top/$out/wine.txt" 2>&1 </dev/null)
  local rc=$?
  # At a real-time priority the Wine server must run at the same one: it serves every wait of
  # the threads of both writers, and left at the normal priority it stalls them all.
  if [ -n "$(threads_cmd)" ]; then
    wineserver -k >/dev/null 2>&1; $(threads_cmd) wineserver -p >/dev/null 2>&1 </dev/null
  fi
  (cd "$dir" && $(threads_cmd) wine qw_winbench.exe --qw_threads --rounds="$reps" $thread_opts \
      >"$top/$out/wine-threads.md" 2>&1 </dev/null) || rc=1
  mv -f "$dir/wine.json" "$out/wine.json" 2>/dev/null
  qw_stop_wine
  return $rc
}

build bench-linux && build bench-win64 || exit 1
echo "running the Linux cases ($reps repetitions)..."
linux_run || { echo "Linux run failed; see $out/linux.txt" >&2; exit 1; }
echo "running the cleaning cases (1,000 day folders of 100 files)..."
bench/clean.sh 3 >"$out/clean.txt" 2>&1 || { echo "cleaning run failed; see $out/clean.txt" >&2; exit 1; }
echo "running the Wine cases ($reps batches each)..."
wine_run || { echo "Wine run failed; see $out/wine.txt" >&2; exit 1; }
echo "counting instructions under callgrind ($callgrind_n and $((2 * callgrind_n)) entries)..."
bench/callgrind.sh build/bench-linux/bin/qw_bench "$callgrind_n" quillwork spdlog glog floor_format_write1 >"$out/callgrind.md"
for size in 16 4096; do
  echo "counting instructions per dump of $size bytes..."
  QW_CALLGRIND_SIZE=$size bench/callgrind.sh build/bench-linux/bin/qw_bench "$callgrind_n" quillwork spdlog |
    sed "1,2d; s/^| \([a-z_0-9]*\) |/| \1, dump of $size B |/" >>"$out/callgrind.md"
done

{
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') with \`./run bench\` on $(machine)"
  echo
  python3 bench/table.py "$out/linux.json" --title "Linux: libquillwork.so, $reps repetitions, median"
  echo
  python3 bench/table.py "$out/wine.json" --title "Wine: Quillwork.dll (x64), $reps batches, median"
  echo
  cat "$out/linux-threads.md"
  echo
  cat "$out/readcheck.md"
  echo
  tr -d '\r' <"$out/wine-threads.md"
  echo
  echo "### Instructions per entry or dump (callgrind, user space)"
  echo
  cat "$out/callgrind.md"
} >"$out/tables.md"
cat "$out/tables.md"

if [ "$docs" = 1 ]; then
  python3 - "$out/tables.md" docs/performance.md <<'PY'
import sys
tables, doc = open(sys.argv[1]).read(), open(sys.argv[2]).read()
begin, end = "<!-- tables: begin -->\n", "<!-- tables: end -->"
head, rest = doc.split(begin, 1)
open(sys.argv[2], "w").write(head + begin + tables + rest[rest.index(end):])
PY
  echo "docs/performance.md updated"
fi
