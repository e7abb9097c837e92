#!/usr/bin/env bash
# DAILY and MAXFILEMB through the shipped Linux library and a real host
# (tests/rollover/QwRollHost.cpp) under a clock libfaketime sets from a
# timestamp file: the entry that crosses midnight starts a file in the new day's
# folder; without the key it stays in the first; a run of 3.5 MiB with
# MAXFILEMB=1 leaves files of about 1 MiB holding every entry once and in order;
# qwlog --follow on the first file of a run follows it into the later ones.
# The unit suite covers the same on Windows through the clock seam.
set -u
source "$(dirname "$0")/../lib/common.sh"
work="$QW_TOP/build/rollover"
lbin=$QW_TOP/build/linux/bin
faketime_lib=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1
rm -rf "$work" && mkdir -p "$work"

# Runs the host in folder $1 with Quillwork.ini's [LOG] lines $2, then the host's arguments.
run_host() {
  local dir=$1 ini=$2; shift 2
  rm -rf "$dir" && mkdir -p "$dir" && cp "$lbin/qw_rollhost" "$lbin/libquillwork.so.1" "$dir/" &&
    ln -sf libquillwork.so.1 "$dir/libquillwork.so" && printf '[LOG]\n%b' "$ini" >"$dir/Quillwork.ini" || return 1
  (cd "$dir" && LD_PRELOAD="$faketime_lib" FAKETIME_TIMESTAMP_FILE="$dir/clock" FAKETIME_NO_CACHE=1 NO_FAKE_STAT=1 TZ=UTC \
      ./qw_rollhost "$dir/clock" "$@" >"$dir.out" 2>&1 </dev/null)
}

# The files below log folder $1 as day/name, one line.
files_of() { (cd "$1" && ls -d */* | tr '\n' ' '); }

# The bytes of an entry at stamp $1 with text $2.
entry() { printf '%s  %s\r\n\r\n' "$1" "$2"; }

midnight() {
  local ini=$1 want=$2 dir="$work/midnight-$3"
  run_host "$dir" "$ini" Run "2024-05-01 23:59:50" "2024-05-01 23:59:58" A "2024-05-02 00:00:02" B || return 1
  [ "$(files_of "$dir/Log")" = "$want" ] || { echo "  files: $(files_of "$dir/Log")"; return 1; }
  if [ "$3" = daily ]; then
    cmp "$dir/Log/2024-05-01/235950_Run.log" <(qw_banner; entry "2024-05-01 23:59:58" A) &&
      cmp "$dir/Log/2024-05-02/000002_Run.log" <(qw_banner; entry "2024-05-02 00:00:02" B)
  else
    cmp "$dir/Log/2024-05-01/235950_Run.log" <(qw_banner; entry "2024-05-01 23:59:58" A; entry "2024-05-02 00:00:02" B)
  fi
}

max_file_mb() {
  local dir="$work/maxfilemb" args=() i pad f n=0 size largest=0
  pad=$(printf 'x%.0s' $(seq 1 1000))
  for ((i = 0; i < 9; i++)); do args+=("2024-05-01 10:00:0$i" "*400:$i $pad"); done
  run_host "$dir" 'MAXFILEMB=1\n' Big "2024-05-01 10:00:00" "${args[@]}" || return 1
  for f in "$dir"/Log/2024-05-01/*_Big.log; do
    n=$((n + 1)); size=$(stat -c %s "$f"); [ "$size" -gt "$largest" ] && largest=$size
    [ "$size" -le $((1048576 + 1100)) ] || { echo "  $f: $size bytes"; return 1; }
    cmp -s <(head -c 14 "$f") <(qw_banner) || { echo "  $f: no banner first"; return 1; }
  done
  echo "FIGURE linux MAXFILEMB=1: $n files, the largest $largest bytes, for 3600 entries of 1,026 bytes"
  [ "$n" -ge 3 ] || return 1
  # Every entry once, in order, across the files read in name order.
  cmp -s <(cat "$dir"/Log/2024-05-01/*_Big.log | tr -d '\r' | sed -n 's/^2024-05-01 [0-9:]*  \([0-9]\) x* \([0-9]*\)$/\1 \2/p') \
    <(for ((i = 0; i < 9; i++)); do seq -f "$i %g" 0 399; done)
}

# Two processes on one name and one faked clock (each sets it in turn, so it
# also goes back and forth over midnight): every entry of both once, each file
# starting with its banner, each entry in the folder of its date.
two_processes() {
  local dir="$work/two" p args=() pids=() rc=0 f
  rm -rf "$dir" && mkdir -p "$dir" && cp "$lbin/qw_rollhost" "$lbin/libquillwork.so.1" "$dir/" &&
    ln -sf libquillwork.so.1 "$dir/libquillwork.so" && printf '[LOG]\nDAILY=1\nMAXFILEMB=1\n' >"$dir/Quillwork.ini" || return 1
  for p in P1 P2; do
    args=()
    for t in "23:59:57" "23:59:58" "23:59:59"; do args+=("2024-05-01 $t" "*300:$p $(printf 'y%.0s' $(seq 1 600))"); done
    for t in "00:00:00" "00:00:01" "00:00:02"; do args+=("2024-05-02 $t" "*300:$p $(printf 'y%.0s' $(seq 1 600))"); done
    (cd "$dir" && LD_PRELOAD="$faketime_lib" FAKETIME_TIMESTAMP_FILE="$dir/clock" FAKETIME_NO_CACHE=1 NO_FAKE_STAT=1 TZ=UTC \
        ./qw_rollhost "$dir/clock" Two "2024-05-01 23:59:50" "${args[@]}" >"$dir-$p.out" 2>&1 </dev/null) &
    pids+=($!)
  done
  for p in "${pids[@]}"; do wait "$p" || rc=1; done
  [ $rc = 0 ] || { echo "  a host failed"; return 1; }
  for f in "$dir"/Log/*/*_Two.log; do
    cmp -s <(head -c 14 "$f") <(qw_banner) || { echo "  $f: no banner first"; return 1; }
    # Every line is a stamp of the folder's date with a whole entry, or part of a banner.
    tr -d '\r' <"$f" | grep -v -e '^$' -e '^------$' | grep -v "^${f: -25:10} [0-9:]*  P[12] y* [0-9]*$" | grep -q . &&
      { echo "  $f: a line that is not a whole entry of its day"; return 1; }
  done
  echo "FIGURE linux two processes: $(ls -d "$dir"/Log/*/*_Two.log | wc -l) files for 2 x 1800 entries"
  for p in P1 P2; do
    cmp -s <(cat "$dir"/Log/*/*_Two.log | tr -d '\r' | sed -n "s/^.*  $p y* \([0-9]*\)$/\1/p" | sort -n) \
      <(for i in 1 2 3 4 5 6; do seq 0 299; done | sort -n) || { echo "  entries of $p lost or doubled"; return 1; }
  done
}

# qwlog reads the files of that run as one stream: every entry once, in order.
qwlog_one_stream() {
  cmp -s <("$lbin/qwlog" json "$work"/maxfilemb/Log/*/*_Big.log | sed -n 's/.*"kind":"entry","text":"\([0-9]\) x* \([0-9]*\)".*/\1 \2/p') \
    <(for ((i = 0; i < 9; i++)); do seq -f "$i %g" 0 399; done)
}

# qwlog json --follow and cat --follow on the first file of a run while the host writes it:
# a roll-over at a new second, two more in one second (HHMMSS~0001, ~0002) and a DAILY move
# past midnight into the next day folder. Every record of every file comes out once, in
# order, and each switch is said on standard error.
follow_run() {
  local cmd=$1 dir="$work/follow-$1" pad args=() first i pid
  pad=$(printf 'f%.0s' $(seq 1 1000))
  args=("2024-05-01 23:59:51" "*600:a $pad" "2024-05-01 23:59:51" "=700"
        "2024-05-01 23:59:52" "*600:b $pad" "2024-05-01 23:59:52" "=500"
        "2024-05-01 23:59:53" "*3000:c $pad" "2024-05-01 23:59:53" "=500"
        "2024-05-02 00:00:01" "*20:d $pad" "2024-05-02 00:00:01" "=500"
        "2024-05-02 00:00:01" "last")
  rm -rf "$dir" && mkdir -p "$dir" && cp "$lbin/qw_rollhost" "$lbin/libquillwork.so.1" "$dir/" &&
    ln -sf libquillwork.so.1 "$dir/libquillwork.so" && printf '[LOG]\nDAILY=1\nMAXFILEMB=1\n' >"$dir/Quillwork.ini" || return 1
  (cd "$dir" && LD_PRELOAD="$faketime_lib" FAKETIME_TIMESTAMP_FILE="$dir/clock" FAKETIME_NO_CACHE=1 NO_FAKE_STAT=1 TZ=UTC \
      ./qw_rollhost "$dir/clock" Run "2024-05-01 23:59:50" "${args[@]}" >"$dir.out" 2>&1 </dev/null) &
  pid=$!
  first="$dir/Log/2024-05-01/235950_Run.log"
  for ((i = 0; i < 100; i++)); do [ -s "$first" ] && break; sleep 0.05; done
  TZ=UTC "$lbin/qwlog" $cmd --follow "$first" >"$dir.follow" 2>"$dir.err" &
  local reader=$!
  wait $pid || { kill $reader; echo "  host failed"; return 1; }
  # Until the last entry is out (a bound of 20 s turns a hang into a failure).
  for ((i = 0; i < 200; i++)); do grep -q 'last' "$dir.follow" && break; sleep 0.1; done
  kill $reader; wait $reader 2>/dev/null
  local files; files=$(cd "$dir/Log" && ls -d */*_Run.log | LC_ALL=C sort)
  echo "FIGURE linux --follow ($cmd) across the run's files: $(echo $files)"
  [ "$(wc -w <<<"$files")" -ge 5 ] || { echo "  too few files: $files"; return 1; }
  [[ "$files" == *"235953~0002_Run.log"* && "$files" == *"2024-05-02/000001_Run.log"* ]] || { echo "  files: $files"; return 1; }
  local want got
  want=$(cd "$dir/Log" && cat $files | tr -d '\r' | grep -c '^20')
  if [ "$cmd" = json ]; then
    got=$(grep -c '"kind":"entry"' "$dir.follow")
    cmp -s <(sed -n 's/.*"kind":"entry","text":"\([a-d]\) f* \([0-9]*\)".*/\1 \2/p;s/.*"kind":"entry","text":"last".*/last/p' "$dir.follow") \
      <(for l in a:600 b:600 c:3000 d:20; do seq -f "${l%:*} %g" 0 $((${l#*:} - 1)); done; echo last) ||
      { echo "  entries lost, doubled or out of order ($got of $want)"; return 1; }
    [ "$(grep -c '"kind":"open"' "$dir.follow")" = "$(wc -w <<<"$files")" ] || { echo "  not one banner per file"; return 1; }
    # A later file of one second is read as the library's: its banner's time comes from its name.
    grep -q '235953~0002_Run.log","line":1,"time":"2024-05-01 23:59:53","time_from":"file name","kind":"open"' "$dir.follow" ||
      { echo "  the banner of 235953~0002_Run.log has no time from its name"; return 1; }
  else
    # cat gives the bytes of the records as written: all the files one after another.
    cmp -s <(tr -d '\r' <"$dir.follow") <(cd "$dir/Log" && cat $files | tr -d '\r') ||
      { echo "  cat --follow is not the files one after another"; return 1; }
  fi
  [ "$(grep -c 'the run goes on in' "$dir.err")" = "$(($(wc -w <<<"$files") - 1))" ] ||
    { echo "  switches on standard error:"; cat "$dir.err"; return 1; }
}

# The files of the followed run named newest first, and in the order a locale that ignores
# punctuation might give ("~" before "_"): the same stream as in byte order.
merge_any_order() {
  local dir="$work/follow-json/Log" files
  files=$(cd "$dir" && ls -d */*_Run.log | LC_ALL=C sort)
  [ "$(wc -w <<<"$files")" -ge 5 ] || { echo "  run follow_run json first"; return 1; }
  (cd "$dir" && "$lbin/qwlog" json $files) >"$work/merge-sorted.jsonl" || return 1
  (cd "$dir" && "$lbin/qwlog" json $(tr ' ' '\n' <<<"$files" | sort -r)) >"$work/merge-reversed.jsonl"
  (cd "$dir" && "$lbin/qwlog" json $(tr ' ' '\n' <<<"$files" | sed 's/_Run/!_Run/' | LC_ALL=C sort | sed 's/!_Run/_Run/')) \
    >"$work/merge-tilde-first.jsonl"
  local f
  for f in reversed tilde-first; do
    cmp -s <(sed 's/"file":"[^"]*",//' "$work/merge-sorted.jsonl") <(sed 's/"file":"[^"]*",//' "$work/merge-$f.jsonl") ||
      { echo "  $f: another stream"; return 1; }
  done
  # And the stream is the run's entries in the order written.
  cmp -s <(sed -n 's/.*"kind":"entry","text":"\([a-d]\) f* \([0-9]*\)".*/\1 \2/p' "$work/merge-reversed.jsonl") \
    <(for l in a:600 b:600 c:3000 d:20; do seq -f "${l%:*} %g" 0 $((${l#*:} - 1)); done)
}

if [ ! -x "$lbin/qw_rollhost" ]; then
  qw_say "FAIL linux: $lbin/qw_rollhost not built"
elif [ ! -f "$faketime_lib" ]; then
  echo "SKIP rollover: libfaketime missing"
else
  qw_check "linux DAILY=1: 23:59:58 and 00:00:02 land in two day folders, each file whole with its banner" \
    midnight 'DAILY=1\n' "2024-05-01/235950_Run.log 2024-05-02/000002_Run.log " daily
  qw_check "linux no DAILY: both entries in the first day's file, as ever" \
    midnight '' "2024-05-01/235950_Run.log " plain
  qw_check "linux MAXFILEMB=1: 3.5 MiB of entries in files of about 1 MiB, every entry once and in order" max_file_mb
  qw_check "linux two processes on one name across midnight with DAILY and MAXFILEMB: nothing lost, split or doubled" \
    two_processes
  if [ -x "$lbin/qwlog" ]; then
    qw_check "qwlog json Log/*/*_Big.log reads the run's files as one stream in time order" qwlog_one_stream
    qw_check "qwlog json --follow follows the run across MAXFILEMB (three files in one second) and midnight: nothing lost or doubled" \
      follow_run json
    qw_check "qwlog cat --follow follows the run across MAXFILEMB and midnight: every file's bytes once, in order" \
      follow_run cat
    qw_check "qwlog json merges a run's files named in any order (three of one second among them) in the order written" \
      merge_any_order
  fi
fi
