#!/usr/bin/env bash
# Instructions per entry under callgrind, for the library and its peers: each
# writer runs N and then 2N entries, and the difference over N is the cost of
# one entry, set-up and exit cancelling out. User-space instructions only: what
# the kernel does inside write(2) is not counted.
#   bench/callgrind.sh BENCH_BINARY [N] [WRITER...]
#   QW_CALLGRIND_SIZE=S   count dumps of S bytes instead of entries
set -u
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); n=${2:-2000}; shift $(( $# >= 2 ? 2 : 1 ))
writers=("$@")
[ ${#writers[@]} -gt 0 ] || writers=(quillwork spdlog glog floor_write1 floor_format_write1)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Total instructions of one run of WRITER with COUNT entries, from callgrind's summary line.
count_ir() {
  local writer=$1 count=$2 file="$out/$1.$2.cg"
  (cd "$(dirname "$bin")" && valgrind --tool=callgrind --callgrind-out-file="$file" \
      "$bin" --qw_count="$writer" "$count" ${QW_CALLGRIND_SIZE:-} >/dev/null 2>&1) || return 1
  sed -n 's/^summary: *\([0-9]*\).*/\1/p' "$file" | head -1
}

printf '| writer | instructions per entry |\n|---|---:|\n'
for w in "${writers[@]}"; do
  a=$(count_ir "$w" "$n") && b=$(count_ir "$w" $((2 * n))) && [ -n "$a" ] && [ -n "$b" ] || {
    echo "| $w | failed |"; continue; }
  printf '| %s | %d |\n' "$w" $(( (b - a) / n ))
done
