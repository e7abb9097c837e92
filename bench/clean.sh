#!/usr/bin/env bash
# The cleaning benchmark: 1,000 day folders of 100 files (made once under
# build/bench/clean-tree), construction and Open with KEEPDAYS alone and with
# KEEPMB, and the longest WriteLog of another thread while Open runs. Set
# QW_CLEAN_BEFORE to an older libquillwork.so to measure it side by side.
#   bench/clean.sh [reps]
set -u
top=${QW_TOP:-$(cd "$(dirname "$0")/.." && pwd)}
host="$top/build/bench/clean-host"
mkdir -p "$host"
cp "$top/build/bench-linux/bin/qw_cleanbench" "$host/" && cp -L "$top/build/bench-linux/bin/libquillwork.so" "$host/" || exit 1
before=()
if [ -n "${QW_CLEAN_BEFORE:-}" ]; then cp -L "$QW_CLEAN_BEFORE" "$host/before-libquillwork.so" && before=(--before="$host/before-libquillwork.so"); fi
cd "$host" && TZ=UTC ./qw_cleanbench --tree="$top/build/bench/clean-tree" "${before[@]}" \
  --benchmark_repetitions="${1:-5}" --benchmark_report_aggregates_only=true
