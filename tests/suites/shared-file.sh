#!/usr/bin/env bash
# One log file, several writers: two objects of one process, and two processes,
# each writing 10,000 entries (and a dump after every 100th) to the same name in
# the same second. The checker wants every entry whole, none interleaved, and
# exact counts. Linux, then the DLL under Wine x64 and x86.
set -u
source "$(dirname "$0")/../lib/common.sh"
COUNT=${QW_SHARED_COUNT:-10000}

# Runs one case in a folder of its own: label, run prefix ("" or "wine"), bin
# folder, exe name, library, mode (objects, processes, or raw: two processes
# appending the same bytes without the library). Retries when the writers missed
# their common second (two files instead of one). Prints the checker's figures;
# the status is the checker's.
shared_run() {
  local label=$1 runner=$2 bin=$3 exe=$4 lib=$5 mode=$6
  local dir="$QW_TOP/build/shared/$label" try start files pattern
  pattern="$dir/Log/*/*_Shared.log"
  [ "$mode" = raw ] && pattern="$dir/Log/*_Shared.log"
  for try in 1 2 3; do
    rm -rf "$dir" && mkdir -p "$dir/Log" && cp "$bin/$exe" "$bin/$lib" "$dir/"
    start=$(( $(date +%s) + 3 ))
    if [ "$mode" = objects ]; then
      (cd "$dir" && $runner "./$exe" objects "$COUNT" "$start" >"$dir/w.out" 2>&1 </dev/null)
    else
      local verb=write; [ "$mode" = raw ] && verb=raw
      (cd "$dir" && $runner "./$exe" $verb 1 "$COUNT" "$start" >"$dir/w1.out" 2>&1 </dev/null) &
      (cd "$dir" && $runner "./$exe" $verb 2 "$COUNT" "$start" >"$dir/w2.out" 2>&1 </dev/null) &
      wait
    fi
    files=$(ls $pattern 2>/dev/null | wc -l)
    [ "$files" = 1 ] && break
  done
  if [ "$files" != 1 ]; then echo "FIGURE $label: $files files after 3 tries"; return 1; fi
  "$QW_TOP/build/linux/bin/qw_sharedfile" check $pattern 2 "$COUNT" >"$dir/check.out" 2>&1
  local rc=$?
  sed "s/^/FIGURE $label: /" "$dir/check.out" | head -5
  return $rc
}

# PASS or FAIL of one case. Where two processes fail, the same bytes are appended
# without the library: if the platform's own append-only writes interleave too,
# the case is the platform's limit (SKIP, with both figures), else a FAIL.
shared_case() {
  local label=$1
  if shared_run "$@"; then qw_say "PASS $label"; return; fi
  if [ "$6" = processes ] && ! shared_run "$label-raw" "$2" "$3" "$4" "$5" raw; then
    echo "SKIP $label: appends through the platform's own append-only handles interleave as well"
  else
    qw_say "FAIL $label"
  fi
}

linux=$QW_TOP/build/linux/bin
shared_case linux-objects "" "$linux" qw_sharedfile libquillwork.so objects
shared_case linux-processes "" "$linux" qw_sharedfile libquillwork.so processes
for arch in win64 win32; do
  [ -f "$QW_TOP/build/$arch/bin/qw_sharedfile.exe" ] || { qw_not_built "$arch" qw_sharedfile.exe; continue; }
  qw_wine_env "$arch"
  shared_case "$arch-objects" wine "$QW_TOP/build/$arch/bin" qw_sharedfile.exe Quillwork.dll objects
  shared_case "$arch-processes" wine "$QW_TOP/build/$arch/bin" qw_sharedfile.exe Quillwork.dll processes
  qw_stop_wine
done
