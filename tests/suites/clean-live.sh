#!/usr/bin/env bash
# Retention against live logs, with real processes: a host that made its object
# (and perhaps opened its file) is still running when another host, two days
# later by its clock (libfaketime), starts with KEEPDAYS=1 or KEEPMB=1 and cleans.
# The first host's file must stay and take every later entry; a day folder it
# has not used yet may go, and its Open makes it again. Linux, and under Wine
# x64 (where the file is held without delete sharing).
set -u
source "$(dirname "$0")/../lib/common.sh"
work="$QW_TOP/build/clean-live"
golden="$QW_TOP/tests/folders/expected.log"
faketime_lib=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1
rm -rf "$work" && mkdir -p "$work"

masked() { sed -E 's/[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}/YYYY-MM-DD hh:mm:ss/g' "$1"; }

# Waits (at most 60 s) until file $1 holds line $2.
wait_line() {
  local i
  for ((i = 0; i < 600; i++)); do tr -d '\r' <"$1" 2>/dev/null | grep -qx "$2" && return 0; sleep 0.1; done
  return 1
}

# Runs one case: runner ($1: linux or wine), host folder $2, ini $3, option of
# the first host $4 (--hold: file open while the other cleans; --wait: object
# made, nothing opened).
live_case() {
  local how=$1 dir=$2 ini=$3 option=$4 exe go="$2/go" out="$2/first.out" rc=0
  rm -rf "$dir" && mkdir -p "$dir"
  if [ "$how" = linux ]; then
    cp "$QW_TOP/build/linux/bin/qw_folderhost" "$QW_TOP/build/linux/bin/libquillwork.so.1" "$dir/"
    ln -sf libquillwork.so.1 "$dir/libquillwork.so"; exe=./qw_folderhost
  else
    cp "$QW_TOP/build/win64/bin/qw_folderhost.exe" "$QW_TOP/build/win64/bin/Quillwork.dll" "$dir/"; exe="wine ./qw_folderhost.exe"
  fi
  printf '[LOG]\r\n%s\r\n' "$ini" >"$dir/Quillwork.ini"
  (cd "$dir" && TZ=UTC timeout 120 $exe 4C697665 "$option" "$go" >"$out" 2>&1 </dev/null) &
  local first=$!
  wait_line "$out" "$([ "$option" = --hold ] && echo held || echo made)" || { echo "  first host did not start"; kill $first; return 1; }
  # Big enough that KEEPMB=1 is over the cap on the cleaner's day.
  local later; later=$(date -u -d '+2 days' +%F)
  mkdir -p "$dir/Log/$later" && head -c 1200000 /dev/zero >"$dir/Log/$later/000000_Big.log"
  (cd "$dir" && TZ=UTC LD_PRELOAD="$faketime_lib" FAKETIME="+2d" NO_FAKE_STAT=1 timeout 120 $exe 436C65616E \
      >"$dir/second.out" 2>&1 </dev/null) || rc=1
  touch "$go"
  wait $first || rc=1
  [ $rc = 0 ] || { echo "  a host failed: $(tr '\n' ' ' <"$out") / $(tr '\n' ' ' <"$dir/second.out")"; return 1; }
  local files; files=$(compgen -G "$dir/Log/*/[0-9][0-9][0-9][0-9][0-9][0-9]_Live.log")
  [ "$(wc -w <<<"$files")" = 1 ] || { echo "  files: $files"; return 1; }
  # The banner once, then the entry and dump (twice for a held file: before and after the cleaning).
  cmp -s <(masked "$files") <(cat "$golden"; [ "$option" = --hold ] && tail -n +5 "$golden") ||
    { echo "  bytes differ: $files"; return 1; }
}

if [ -x "$QW_TOP/build/linux/bin/qw_folderhost" ] && [ -f "$faketime_lib" ]; then
  qw_check "linux KEEPDAYS=1 in a host two days later, file held open by another process: nothing lost" \
    live_case linux "$work/linux-days" "KEEPDAYS=1" --hold
  qw_check "linux KEEPMB=1 in a host two days later, file held open by another process: nothing lost" \
    live_case linux "$work/linux-mb" "KEEPMB=1" --hold
  qw_check "linux object made, its day folder cleaned away by a later host: Open makes it again" \
    live_case linux "$work/linux-empty" "KEEPDAYS=1" --wait
else
  echo "SKIP linux live cleaning: host not built or libfaketime missing"
fi

if [ -f "$QW_TOP/build/win64/bin/qw_folderhost.exe" ] && [ -f "$faketime_lib" ]; then
  qw_wine_env win64  # the server runs on the real clock (a frozen server never ends a wait)
  qw_check "win64 KEEPDAYS=1 in a host two days later, file held open by another process: nothing lost" \
    live_case wine "$work/win64-days" "KEEPDAYS=1" --hold
  qw_check "win64 object made, its day folder cleaned away by a later host: Open makes it again" \
    live_case wine "$work/win64-empty" "KEEPDAYS=1" --wait
  qw_stop_wine
else
  echo "SKIP win64 live cleaning: host not built or libfaketime missing"
fi
