#!/usr/bin/env bash
# One log file, several writers: two objects of one process, and two processes,
# each writing 10,000 entries (and a dump after every 100th) to the same name in
# the same second. The checker wants every entry whole, none interleaved, and
# exact counts. Linux, then the DLL under Wine x64 and x86.
set -u
source "$(dirname "$0")/../lib/common.sh"
COUNT=${QW_SHARED_COUNT:-10000}

# Runs one case in a folder of its own: label, run prefix ("" or "wine"), bin
# folder, exe name, library, mode (objects|processes). Retries when the writers
# missed their common second (two files instead of one).
shared_case() {
  local label=$1 runner=$2 bin=$3 exe=$4 lib=$5 mode=$6
  local dir="$QW_TOP/build/shared/$label" try start files
  for try in 1 2 3; do
    rm -rf "$dir" && mkdir -p "$dir" && cp "$bin/$exe" "$bin/$lib" "$dir/"
    start=$(( $(date +%s) + 3 ))
    if [ "$mode" = objects ]; then
      (cd "$dir" && $runner "./$exe" objects "$COUNT" "$start" >"$dir/w.out" 2>&1 </dev/null)
    else
      (cd "$dir" && $runner "./$exe" write 1 "$COUNT" "$start" >"$dir/w1.out" 2>&1 </dev/null) &
      (cd "$dir" && $runner "./$exe" write 2 "$COUNT" "$start" >"$dir/w2.out" 2>&1 </dev/null) &
      wait
    fi
    files=$(ls "$dir"/Log/*/*_Shared.log 2>/dev/null | wc -l)
    [ "$files" = 1 ] && break
  done
  if [ "$files" != 1 ]; then echo "FAIL $label: $files files after 3 tries"; return; fi
  local file
  file=$(ls "$dir"/Log/*/*_Shared.log)
  "$QW_TOP/build/linux/bin/qw_sharedfile" check "$file" 2 "$COUNT" >"$dir/check.out" 2>&1
  local rc=$?
  sed "s/^/FIGURE $label: /" "$dir/check.out" | head -5
  if [ $rc -eq 0 ]; then echo "PASS $label"; else echo "FAIL $label"; fi
}

linux=$QW_TOP/build/linux/bin
shared_case linux-objects "" "$linux" qw_sharedfile libquillwork.so objects
shared_case linux-processes "" "$linux" qw_sharedfile libquillwork.so processes
for arch in win64 win32; do
  [ -f "$QW_TOP/build/$arch/bin/qw_sharedfile.exe" ] || { echo "FAIL $arch: qw_sharedfile.exe not built"; continue; }
  qw_wine_env "$arch"
  shared_case "$arch-objects" wine "$QW_TOP/build/$arch/bin" qw_sharedfile.exe Quillwork.dll objects
  shared_case "$arch-processes" wine "$QW_TOP/build/$arch/bin" qw_sharedfile.exe Quillwork.dll processes
  qw_stop_wine
done
