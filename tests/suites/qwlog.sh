#!/usr/bin/env bash
# qwlog, the log reader, on the targets `./run build` made: JSON over the golden logs (Linux and
# qwlog.exe under Wine x64), line ends, every cut of a file, bad input, filters, code pages,
# colours, pcapng read back by tshark, --follow on a file a real host is writing, memory on a
# large file, and the parser under libFuzzer.
#   QW_QWLOG_BIG_MB=N       size of the large file (default 64; 512 with ./run test --full)
#   QW_QWLOG_FUZZ_SECONDS=N length of the fuzz run (default 10; 30 with ./run test --full;
#                           tests/qwlog/fuzz.sh --long: an hour)
set -u
: "${QW_TOP:=$(cd "$(dirname "$0")/../.." && pwd)}"
export QW_TOP
source "$QW_TOP/tests/lib/common.sh"
qwlog="${QW_QWLOG:-$QW_TOP/dist/linux/qwlog}"  # QW_QWLOG: another build to test
golden="$QW_TOP/tests/qwlog/golden"
expected="$golden/expected"
work="$QW_TOP/build/qwlog-tests"
rm -rf "$work" && mkdir -p "$work"
export TZ=UTC
if [ ! -x "$qwlog" ]; then
  qw_say "FAIL qwlog: dist/linux/qwlog is missing (./run build)"
  exit 0
fi

# Runs qwlog json on a golden file from the golden folder and compares with its expected JSON.
json_matches() {  # json_matches LABEL NAME RUNNER...
  local label=$1 name=$2 out="$work/$2.$1.jsonl"; shift 2
  local runner="$*"
  (cd "$golden" && $runner json "2024-03-05/$name.log" >"$out" 2>"$out.err" </dev/null) || return 1
  cmp -s "$out" "$expected/$name.jsonl" || { diff "$expected/$name.jsonl" "$out" | head -5; return 1; }
}

golden_json() {
  local f name
  for f in "$golden"/2024-03-05/*.log; do
    name=$(basename "$f" .log)
    qw_check "json of golden $name.log matches the expected JSON" json_matches linux "$name" "$qwlog"
  done
  qw_check "json of three files merged by time, a file's own order kept" eval \
    '(cd "$golden" && "$qwlog" json 2024-03-05/090907_reopen.log 2024-03-05/090807_reopen.log 2024-03-05/090807.log) | cmp -s - "$expected/merged.jsonl"'
}

# The same file with LF alone and with CR CR LF (text-mode writers) reads the same.
line_ends() {
  local kind dir name
  for kind in lf crcrlf; do
    dir="$work/$kind/2024-03-05"; mkdir -p "$dir"
    for name in 090807_worked 090807_dumps; do
      if [ $kind = lf ]; then sed 's/\r$//' "$golden/2024-03-05/$name.log" >"$dir/$name.log"
      else sed 's/\r$/\r\r/' "$golden/2024-03-05/$name.log" >"$dir/$name.log"; fi
      qw_check "json of $name.log with $kind line ends is unchanged" eval \
        '(cd "$work/$kind" && "$qwlog" json 2024-03-05/$name.log) | cmp -s - "$expected/$name.jsonl"'
    done
  done
}

# Cuts of eight golden files (every byte with --full; else every byte near a line's end and
# every fifth between, see cuts.py): records before the cut kept, the one cut reported as torn.
cuts() {
  local name how
  how=$([ "${QW_FULL:-0}" = 1 ] && echo "after every byte" || echo "after every byte near a line's end")
  for name in 090807_worked 090807_dumps 090807_olddec 090807_text 090807_ms 090807_us 090807_thread 090807_us_thread; do
    qw_check "$name.log cut $how: whole records kept, the cut one reported torn" \
      python3 "$QW_TOP/tests/qwlog/cuts.py" "$qwlog" "$golden" "2024-03-05/$name.log" "$expected/$name.jsonl"
  done
}

# Sub-second stamps and thread ids ([LOG] STAMP=MS|US, THREAD=1): the golden files of each form
# and the mixed one are read by golden_json (the single-session ones by cuts as well); here the
# filters, pcap times and merging.
stamps() {
  local forms=(2024-03-05/090807_ms.log 2024-03-05/090807_us.log 2024-03-05/090807_thread.log
    2024-03-05/090807_us_thread.log 2024-03-05/090807_mixed.log)
  # args | the (file:line) of the records that pass, over all five files
  local table=(
    "--kind entry --since 2024-03-05 09:08:07.999|090807_ms.log:10 090807_ms.log:16 090807_us.log:10 090807_us.log:16 090807_thread.log:16 090807_us_thread.log:10 090807_us_thread.log:16 090807_mixed.log:29 090807_mixed.log:35 090807_mixed.log:37"
    # a stamp's time is where its span starts: .999999 is before .9999995
    "--since 2024-03-05 09:08:07.9999 --until 2024-03-05 09:08:07.999999|090807_us.log:13 090807_us_thread.log:13"
    "--since 2024-03-05 09:08:07.9999995|090807_ms.log:16 090807_us.log:16 090807_thread.log:16 090807_us_thread.log:16 090807_mixed.log:26 090807_mixed.log:29 090807_mixed.log:35 090807_mixed.log:37"
    # --until takes the span it names: whole seconds of :07 may lie in .0, .250001 in .25
    "--kind dump --until 2024-03-05 09:08:07.0|090807_ms.log:7 090807_us.log:7 090807_thread.log:7 090807_thread.log:13 090807_us_thread.log:7 090807_mixed.log:7"
    "--kind entry --until 2024-03-05 09:08:07.25|090807_ms.log:5 090807_us.log:5 090807_thread.log:5 090807_thread.log:10 090807_us_thread.log:5 090807_mixed.log:5 090807_mixed.log:14 090807_mixed.log:24"
    "--thread 7|090807_mixed.log:24 090807_mixed.log:29"
    "--thread 4294967295 --kind dump|090807_us_thread.log:7 090807_us_thread.log:13"
    "--thread 4711 --since 2024-03-05 09:08:09|090807_thread.log:16 090807_mixed.log:35"
    "--thread 3|"
  )
  local row args want got
  for row in "${table[@]}"; do
    IFS='|' read -r args want <<<"$row"
    got=$(cd "$golden" && eval "\"\$qwlog\" json $(sed -E 's/(--(since|until) )([0-9-]+ [0-9:.]+)/\1"\3"/g' <<<"$args") ${forms[*]}" |
      sed -E 's/.*"file":"2024-03-05\/([^"]*)","line":([0-9]+).*/\1:\2/' | sort -t: -k1,1 -s | tr '\n' ' ' | sed 's/ $//')
    want=$(tr ' ' '\n' <<<"$want" | sort -t: -k1,1 -s | tr '\n' ' ' | sed 's/ $//')
    if [ "$got" = "$want" ]; then qw_say "PASS stamps filter $args"; else qw_say "FAIL stamps filter $args: got '$got', want '$want'"; fi
  done
  local rc=0
  "$qwlog" json --thread 12x "$golden/${forms[0]}" >/dev/null 2>"$work/thread.err" || rc=$?
  qw_check "--thread 12x: exit 2 and says what it wants" eval '[ $rc = 2 ] && grep -q "thread id" "$work/thread.err"'

  # cat: the stamp colour spans the whole stamp of each form; a dump's further lines keep their
  # indent of as many spaces, uncoloured, before the label.
  local esc=$'\e' catout
  catout=$(cd "$golden" && "$qwlog" cat --color=always 2024-03-05/090807_mixed.log)
  qw_check "cat colours the whole stamp of every form and indents dump lines under the label" eval \
    'grep -qF "${esc}[33m2024-03-05 09:08:07.250001 [7]  ${esc}[0mmicroseconds" <<<"$catout" &&
     grep -qF "${esc}[33m2024-03-05 09:08:07.250 <-- ${esc}[0m${esc}[36m00000000h: " <<<"$catout" &&
     grep -qxF "$(printf "%37s" "")${esc}[36m00000010h: ${esc}[0m${esc}[32m10 11 ${esc}[0m" <<<"$catout"'

  # Merging orders by the whole stamp: fractions of one second, whole seconds before them.
  local d="$work/stamps"; mkdir -p "$d/2024-03-05"
  { qw_banner; printf '2024-03-05 09:08:07.300  a3\r\n\r\n2024-03-05 09:08:08  a8\r\n\r\n'; } >"$d/2024-03-05/090807_a.log"
  { qw_banner; printf '2024-03-05 09:08:07  b0\r\n\r\n2024-03-05 09:08:07.250001 [5]  b25\r\n\r\n2024-03-05 09:08:07.999999  b99\r\n\r\n'; } >"$d/2024-03-05/090807_b.log"
  got=$(cd "$d" && "$qwlog" json --kind entry 2024-03-05/090807_a.log 2024-03-05/090807_b.log | sed -E 's/.*"text":"([^"]*)".*/\1/' | tr '\n' ' ')
  qw_check "merge orders by the full stamp across forms ($got)" eval '[ "$got" = "b0 b25 a3 b99 a8 " ]'

  # pcap: each packet's time carries the fraction to the microsecond.
  if ! command -v tshark >/dev/null; then echo "SKIP tshark not installed"; return; fi
  rc=0
  (cd "$golden" && "$qwlog" pcap -o "$d/stamps.pcapng" "${forms[@]}" 2>"$d/err") || rc=$?
  tshark -r "$d/stamps.pcapng" -T fields -e frame.time_epoch >"$d/times.txt" 2>/dev/null
  (cd "$golden" && "$qwlog" json --kind dump "${forms[@]}") | python3 -c '
import json, sys, calendar, time
for l in sys.stdin:
    r = json.loads(l)
    if r["complete"] and r["bytes"]:
        whole, _, frac = r["time"].partition(".")
        print("%d.%s" % (calendar.timegm(time.strptime(whole, "%Y-%m-%d %H:%M:%S")), (frac + "000000")[:6] + "000"))
' >"$d/want.txt"
  qw_check "pcap of every form: tshark reads each dump's time with its fraction ($(wc -l <"$d/want.txt") packets)" \
    eval '[ $rc = 0 ] && [ -s "$d/want.txt" ] && cmp -s "$d/times.txt" "$d/want.txt"'
}

# Bad input and bad arguments: a clear message, the exit status, never a crash.
bad_input() {
  local d="$work/bad"; mkdir -p "$d"
  printf 'hello\r\nworld\r\n' >"$d/text.log"
  head -c 65536 /dev/urandom >"$d/random.log"
  printf '\r\nnot a banner\r\n' >"$d/blank.log"
  : >"$d/empty.log"
  { qw_banner; printf '2024-03-05 09:08:07 --> 00000000h: 01 \r\n\r\nstray line\r\n'; qw_banner; } >"$d/stray.log"
  # args | exit status | text the error output must hold ("-" for none)
  local table=(
    "json $d/missing.log|1|No such file"
    "json $d/text.log|1|not a Quillwork log"
    "json $d/random.log|1|not a Quillwork log"
    "json $d/blank.log|1|not a Quillwork log"
    "json $d|1|is a folder"
    "json $d/empty.log|0|-"
    "json $d/stray.log|1|line outside any record"
    "json --kind banner $d/empty.log|2|--kind is open, entry or dump"
    "json --dir up $d/empty.log|2|--dir is in or out"
    "json --since yesterday $d/empty.log|2|--since wants a real time"
    "json --since 2026-13-45 $d/empty.log|2|--since wants a real time"
    "json --since 2026-02-29 $d/empty.log|2|--since wants a real time"
    "json --until 2026-12-08T25 $d/empty.log|2|--until wants a real time"
    "json --since 2026-12-08T23:60 $d/empty.log|2|--since wants a real time"
    "json --since 2024-02-29T23:59:60 $d/empty.log|0|-"
    "json --grep ( $d/empty.log|2|not a regular expression"
    "json --grep a(?=b) $d/empty.log|2|look-around"
    "json --grep x{1001} $d/empty.log|2|repeat count above 1000"
    "json --encoding koi8-r $d/empty.log|2|unknown encoding"
    "cat --color=sometimes $d/empty.log|2|-"
    "pcap $d/empty.log|2|-"
    "pcap -o $d/no/such/dir/x.pcapng $d/empty.log|1|No such file"
    "json --follow $d/empty.log $d/empty.log|2|exactly one file"
    "frobnicate|2|-"
  )
  local row args rc want msg got
  for row in "${table[@]}"; do
    IFS='|' read -r args want msg <<<"$row"
    rc=0; "$qwlog" $args >"$d/out" 2>"$d/err" </dev/null || rc=$?
    if [ "$rc" = "$want" ] && { [ "$msg" = - ] || grep -q -- "$msg" "$d/err"; }; then
      qw_say "PASS qwlog $args: exit $want${msg:+, says '$msg'}"
    else
      qw_say "FAIL qwlog $args: exit $rc (want $want), said: $(head -2 "$d/err")"
    fi
  done
  qw_check "a stray line costs no record around it" eval \
    '[ "$("$qwlog" json "$d/stray.log" 2>/dev/null | grep -c "\"kind\"")" = 3 ]'
}

# Filters, table-driven: arguments and the (file:line) of the records that pass.
filters() {
  local all=(2024-03-05/090807_worked.log 2024-03-05/090907_reopen.log)
  local table=(
    "--kind dump --dir in|090807_worked.log:12 090807_worked.log:19"
    "--kind open|090807_worked.log:1 090907_reopen.log:1"
    "--kind open,entry --since 2024-03-05 09:09|090907_reopen.log:1 090907_reopen.log:5"
    "--until 2024-03-05 09:08|090807_worked.log:1 090807_worked.log:5 090807_worked.log:7 090807_worked.log:9 090807_worked.log:12 090807_worked.log:15 090807_worked.log:17 090807_worked.log:19 090807_worked.log:22"
    "--grep ^plain|090807_worked.log:7"
    "--grep 0f10111213$ --dir out|090807_worked.log:9"
    "--dir out --since 2024-03-05T09:09:07|090907_reopen.log:7"
    "--since 2024-03-06|"
  )
  local row args want got
  for row in "${table[@]}"; do
    IFS='|' read -r args want <<<"$row"
    # shellcheck disable=SC2086
    got=$(cd "$golden" && eval "\"\$qwlog\" json $(sed -E 's/(--(since|until) )([0-9-]+ [0-9:]+)/\1"\3"/' <<<"$args") ${all[*]}" |
      sed -E 's/.*"file":"2024-03-05\/([^"]*)","line":([0-9]+).*/\1:\2/' | tr '\n' ' ' | sed 's/ $//')
    if [ "$got" = "$want" ]; then qw_say "PASS filter $args"; else qw_say "FAIL filter $args: got '$got', want '$want'"; fi
  done
}

# --grep runs in time linear in the text and never recurses: dumps of 16 KiB to 1 MiB that a
# backtracking matcher overflows its stack on, then the language against Python's re.
grep_linear() {
  local d="$work/grep"; mkdir -p "$d"
  python3 "$QW_TOP/tests/qwlog/mklog.py" "$d/090807_big.log" banner entry:before hex:out:16k hex:in:64k \
    dec:out:256k hex:in:1m entry:after
  local table=(  # pattern, records passed
    ".*0e0f%4" "[0-9a-f]*zz%0" "^(0[0-9a-f])*0e0f%4" "0e0f.*fdfeff\$%4" "(a|b|c|0|e|f)*x%0" "before%1"
  )
  local row pat want got rc
  for row in "${table[@]}"; do
    IFS='%' read -r pat want <<<"$row"
    rc=0; "$qwlog" json --grep "$pat" "$d/090807_big.log" >"$d/out" 2>"$d/err" || rc=$?
    got=$(grep -c '"kind"' "$d/out")
    if [ "$rc" = 0 ] && [ "$got" = "$want" ]; then qw_say "PASS --grep '$pat' over dumps of 16 KiB to 1 MiB: $want records"
    else qw_say "FAIL --grep '$pat' over dumps of 16 KiB to 1 MiB: exit $rc, $got records (want $want)"; fi
  done
  qw_check "--grep reads its patterns as Python's re reads them (table and 300 random patterns)" \
    python3 "$QW_TOP/tests/qwlog/grep_check.py" "$qwlog" "$d" 300
}

# --grep refuses a pattern past its bounds (1,000 levels of repeats and groups, a million parts to
# lay out) with exit 2 and the reason, before any recursion goes deeper: chains of 10,000 to
# 130,000 '+', '*' and '?' on qwlog's command line (Linux's longest argument is 128 KiB), 5,000
# and 9,000 on qwlog.exe's (Wine passes a command line of about 9,000 characters at most); then
# tests/qwlog/MatcherBounds.cpp drives the matcher itself with 10,000 to 200,000, on a 1 MiB
# stack: Linux, Wine x64 and Wine x86 (skipped where 32-bit programs cannot run).
grep_bounds() {
  local d="$work/grep-bounds"; mkdir -p "$d"
  python3 "$QW_TOP/tests/qwlog/mklog.py" "$d/090807_one.log" banner entry:aaa
  local n op rc pat
  for n in 10000 60000 130000; do
    for op in + '*' '?'; do
      pat="a$(head -c "$n" /dev/zero | tr '\0' "$op")"
      rc=0; timeout 60 "$qwlog" json --grep "$pat" "$d/090807_one.log" >"$d/out" 2>"$d/err" </dev/null || rc=$?
      if [ "$rc" = 2 ] && grep -q "nested too deeply" "$d/err"; then qw_say "PASS qwlog --grep a$op$op$op... ($n of '$op'): exit 2, says why"
      else qw_say "FAIL qwlog --grep a$op$op$op... ($n of '$op'): exit $rc, said: $(head -c 200 "$d/err")"; fi
    done
  done
  local src="$QW_TOP/tests/qwlog/MatcherBounds.cpp $QW_TOP/tools/qwlog/Matcher.cpp"
  # shellcheck disable=SC2086
  if g++ -std=c++17 -O2 -I"$QW_TOP/tools/qwlog" $src -o "$d/matcher_bounds" 2>"$d/build-linux.log"; then
    (ulimit -s 1024; "$d/matcher_bounds") >"$d/linux.txt" 2>&1; rc=$?
    sed 's/^\(PASS\|FAIL\) matcher:/\1 matcher (Linux, 1 MiB stack):/' "$d/linux.txt"
    [ "$rc" -le 1 ] || qw_say "FAIL matcher (Linux, 1 MiB stack): ended by signal $((rc - 128)) after $(wc -l <"$d/linux.txt") checks"
  else qw_say "FAIL matcher (Linux): tests/qwlog/MatcherBounds.cpp does not build (see $d/build-linux.log)"; fi
  local exe="$QW_TOP/dist/win64/qwlog.exe"
  if [ ! -f "$exe" ]; then qw_say "FAIL qwlog.exe: dist/win64/qwlog.exe is missing (./run build)"; return; fi
  qw_wine_env win64
  for n in 5000 9000; do
    for op in + '*' '?'; do
      pat="a$(head -c "$n" /dev/zero | tr '\0' "$op")"
      # a relative file name: qwlog.exe reads "/work/..." as an option, Windows style
      rc=0; (cd "$d" && timeout 120 wine "$exe" json --grep "$pat" 090807_one.log >out 2>err </dev/null) || rc=$?
      if [ "$rc" = 2 ] && grep -q "nested too deeply" "$d/err"; then qw_say "PASS qwlog.exe (Wine x64) --grep a$op$op$op... ($n of '$op'): exit 2, says why"
      else qw_say "FAIL qwlog.exe (Wine x64) --grep a$op$op$op... ($n of '$op'): exit $rc, said: $(head -c 200 "$d/err")"; fi
    done
  done
  local arch cxx label
  for arch in win64 win32; do
    if [ "$arch" = win64 ]; then cxx=x86_64-w64-mingw32-g++; label="Wine x64"; else cxx=i686-w64-mingw32-g++; label="Wine x86"; fi
    # shellcheck disable=SC2086
    if ! "$cxx" -std=c++17 -O2 -static -Wl,--stack,1048576 -I"$QW_TOP/tools/qwlog" $src -o "$d/matcher_bounds_$arch.exe" \
        2>"$d/build-$arch.log"; then
      qw_say "FAIL matcher ($label): tests/qwlog/MatcherBounds.cpp does not build (see $d/build-$arch.log)"; continue
    fi
    qw_wine_env "$arch"
    rc=0; timeout 300 wine "$d/matcher_bounds_$arch.exe" >"$d/$arch.txt" 2>"$d/$arch.err" </dev/null || rc=$?
    if [ -n "${QW_SKIP32_MARK:-}" ] && [ -e "$QW_SKIP32_MARK" ]; then qw_say "PASS matcher ($label): chains of 10,000 to 200,000 repeats refused"
    elif [ "$rc" -le 1 ] && [ -s "$d/$arch.txt" ]; then tr -d '\r' <"$d/$arch.txt" | sed "s/^\(PASS\|FAIL\) matcher:/\1 matcher ($label, 1 MiB stack):/"
    else qw_say "FAIL matcher ($label, 1 MiB stack): exit $rc after $(wc -l <"$d/$arch.txt") checks"; fi
    qw_stop_wine
  done
}

# cat shows the control characters of the decoded text escaped (OSC 0, OSC 52, CSI 2J, OSC 8,
# C1, DEL, NUL), keeps TAB, and keeps a windows-1252 0x80 as the euro sign it is.
cat_escapes() {
  local d="$work/escapes/2024-03-05"; mkdir -p "$d"
  qw_banner >"$d/090807_esc.log"
  local table=(  # message bytes (printf), what cat shows
    '\033]0;owned\007%^[]0;owned^G'
    '\033]52;c;aGVsbG8=\007%^[]52;c;aGVsbG8=^G'
    '\033[2J\033[H%^[[2J^[[H'
    '\033]8;;http://x.example/\033\\\\link\033]8;;\033\\\\%^[]8;;http://x.example/^[\\link^[]8;;^[\\'
    'C1 \302\233 in UTF-8%C1 \x9b in UTF-8'
    'DEL \177 NUL \000 BEL \007 tab\there%DEL ^? NUL ^@ BEL ^G tab	here'
    'price 5 \200 in windows-1252 \233%price 5 € in windows-1252 ›'
  )
  local row bytes want i=0
  for row in "${table[@]}"; do
    printf "2024-03-05 09:08:07  ${row%%\%*}\r\n\r\n" >>"$d/090807_esc.log"
  done
  "$qwlog" cat --color=never "$d/090807_esc.log" >"$d/never.txt" 2>"$d/err"
  "$qwlog" cat --color=always "$d/090807_esc.log" | sed -E $'s/\x1b\\[[0-9;]*m//g' >"$d/always.txt"
  for row in "${table[@]}"; do
    want=${row#*\%}; i=$((i + 1))
    qw_check "cat escapes message $i as '$want' (colour off and on)" eval \
      'grep -qxF -- "2024-03-05 09:08:07  $want" "$d/never.txt" && grep -qxF -- "2024-03-05 09:08:07  $want" "$d/always.txt"'
  done
  qw_check "cat writes no control character but TAB and LF, and no ESC but its own colours" eval \
    '[ -s "$d/always.txt" ] && ! cat "$d/never.txt" "$d/always.txt" | tr -d "\t\n" | LC_ALL=C grep -q "[[:cntrl:]]"'
  qw_check "json keeps the message's bytes (escaped as JSON)" eval \
    '"$qwlog" json "$d/090807_esc.log" | grep -qF "\"text\":\"\\u001b[2J\\u001b[H\""'
}

# pcap: dumps past the snap length are cut to 262144 bytes in the packet, their length kept;
# tshark reads every packet; stderr names the dumps cut.
pcap_snap() {
  local d="$work/pcap-snap"; mkdir -p "$d"
  if ! command -v tshark >/dev/null; then echo "SKIP tshark not installed"; return; fi
  python3 "$QW_TOP/tests/qwlog/mklog.py" "$d/090807_snap.log" banner hex:out:64k hex:in:300k hex:out:1m hex:in:16
  local rc=0
  "$qwlog" pcap -o "$d/snap.pcapng" "$d/090807_snap.log" 2>"$d/err" || rc=$?
  tshark -r "$d/snap.pcapng" -T fields -e frame.len -e frame.cap_len >"$d/tshark.txt" 2>"$d/tshark.err"
  local trc=$?
  qw_check "pcap of dumps of 64 KiB, 300 KiB and 1 MiB: exit 0, tshark reads all four packets without complaint" \
    eval '[ $rc = 0 ] && [ $trc = 0 ] && ! grep -qiE "corrupt|error|cut short" "$d/tshark.err" && [ "$(wc -l <"$d/tshark.txt")" = 4 ]'
  qw_check "pcap: each packet's length is the dump's, its captured part at most 262144 bytes" eval \
    '[ "$(tr "\t\n" ", " <"$d/tshark.txt")" = "65536,65536 307200,262144 1048576,262144 16,16 " ]'
  if command -v capinfos >/dev/null; then
    qw_check "pcap: the interface's snap length is 262144" eval \
      'capinfos -I "$d/snap.pcapng" 2>/dev/null | grep -q "Capture length = 262144"'
  fi
  qw_check "pcap: standard error names the two dumps cut" eval \
    '[ "$(grep -c "dump longer than 262144 bytes" "$d/err")" = 2 ] && grep -q "090807_snap.log:.* (307200 bytes)" "$d/err"'
}

# pcap -o naming one of its inputs (by its name or another): exit 2, the input untouched; a
# good run leaves no temporary file, a failed one leaves the old output as it was.
pcap_output() {
  local d="$work/pcap-out"; mkdir -p "$d"
  cp "$golden/2024-03-05/090807_dumps.log" "$d/in.log"
  cp "$d/in.log" "$d/in.copy"
  ln -f "$d/in.log" "$d/hard.log"; ln -sf in.log "$d/soft.log"
  local out
  for out in "$d/in.log" "$d/hard.log" "$d/soft.log" "$d/./in.log"; do
    local rc=0; "$qwlog" pcap -o "$out" "$d/in.log" >/dev/null 2>"$d/err" || rc=$?
    qw_check "pcap -o $(basename "$out") naming the input: exit 2, says so, input unchanged" \
      eval '[ $rc = 2 ] && grep -q "is the input" "$d/err" && cmp -s "$d/in.log" "$d/in.copy"'
  done
  rc=0; "$qwlog" pcap -o /dev/stdout "$d/in.log" 2>/dev/null | head -c 4 | od -An -tx1 | tr -d " " >"$d/magic" || rc=$?
  qw_check "pcap -o /dev/stdout writes into the pipe and leaves /dev/stdout a link" eval \
    '[ "$(cat "$d/magic")" = 0a0d0d0a ] && [ -L /dev/stdout ] && [ -z "$(ls /dev | grep qwlog-)" ]'
  rm -f "$d/fifo"; mkfifo "$d/fifo"; timeout 60 cat "$d/fifo" >"$d/fifo.out" &
  local cat_pid=$!
  rc=0; timeout 60 "$qwlog" pcap -o "$d/fifo" "$d/in.log" 2>/dev/null || rc=$?; wait "$cat_pid"
  qw_check "pcap -o a FIFO writes into it and leaves it a FIFO" eval \
    '[ $rc = 0 ] && [ "$(head -c 4 "$d/fifo.out" | od -An -tx1 | tr -d " ")" = 0a0d0d0a ] && [ -p "$d/fifo" ]'
  echo keep >"$d/old.pcapng"
  rc=0; "$qwlog" pcap -o "$d/old.pcapng" "$d/in.log" "$d/missing.log" >/dev/null 2>&1 || rc=$?
  qw_check "pcap over an existing output: replaced whole, no temporary file left" eval \
    '[ $rc = 1 ] && [ "$(head -c 4 "$d/old.pcapng" | od -An -tx1 | tr -d " ")" = 0a0d0d0a ] && [ -z "$(ls "$d" | grep qwlog-)" ]'
}

# --follow: a file cut back is read again from its start; --follow=name follows a file renamed
# over the followed one.
follow_truncate() {
  local d="$work/follow-cut/2024-03-05" mode; mkdir -p "$d"
  for mode in descriptor name; do
    local f="$d/090807_cut_$mode.log"
    python3 "$QW_TOP/tests/qwlog/mklog.py" "$f" banner entry:one entry:two entry:three-long-enough-to-pass-the-cut
    "$qwlog" cat --follow=$mode --color=never "$f" >"$d/$mode.out" 2>"$d/$mode.err" &
    local reader=$! i
    for i in $(seq 100); do grep -q three "$d/$mode.out" && break; sleep 0.1; done
    if [ $mode = descriptor ]; then
      python3 "$QW_TOP/tests/qwlog/mklog.py" "$f" banner entry:after-the-cut
    else
      python3 "$QW_TOP/tests/qwlog/mklog.py" "$f.new" banner entry:renamed-over
      mv "$f.new" "$f"
      sleep 0.5; python3 - "$f" <<'PY'
import sys; open(sys.argv[1], "ab").write(b"2024-03-05 09:08:08  appended-later\r\n\r\n")
PY
    fi
    local want; [ $mode = descriptor ] && want=after-the-cut || want=appended-later
    for i in $(seq 100); do grep -q "$want" "$d/$mode.out" && break; sleep 0.1; done
    kill "$reader" 2>/dev/null; wait "$reader" 2>/dev/null
    if [ $mode = descriptor ]; then
      qw_check "--follow across a truncation: 'file truncated' said, the new records read, nothing called malformed" eval \
        'grep -q "file truncated" "$d/$mode.err" && grep -q after-the-cut "$d/$mode.out" && ! grep -qE "outside|torn|not a" "$d/$mode.err"'
    else
      qw_check "--follow=name: a file renamed over the followed one is read from its start, and as it grows" eval \
        'grep -q "replaced by a new file" "$d/$mode.err" && grep -q renamed-over "$d/$mode.out" && grep -q appended-later "$d/$mode.out"'
    fi
  done
}

# A damaged file of 40 MB in one record, read under the bound: an entry that never ends (torn
# at 1 MiB, the record after it still read) and one dump of 40 MB of lines (json whole; cat
# holds its lines up to 32 MiB). Peak memory stays under 100 MB plus the dump's bytes.
record_bound() {
  local d="$work/bound/2024-03-05"; mkdir -p "$d"
  python3 - "$d" <<'PY'
import sys
d = sys.argv[1]
with open(d + "/090807_entry.log", "wb") as f:
    f.write(b"\r\n------\r\n\r\n\r\n2024-03-05 09:08:07  start of a message that never ends\r\n")
    line = b"x" * 70 + b"\r\n"
    f.write(line * (40 * 1024 * 1024 // len(line)))
    f.write(b"\r\n2024-03-05 09:08:08  the record after it\r\n\r\n")
PY
  python3 "$QW_TOP/tests/qwlog/mklog.py" "$d/090807_dump.log" banner hex:out:9m time:"2024-03-05 09:08:08" entry:after-the-dump
  local name cmd rss
  for name in entry dump; do
    for cmd in json cat; do
      /usr/bin/time -f %M -o "$d/$name.$cmd.time" "$qwlog" $cmd "$d/090807_$name.log" >"$d/$name.$cmd.out" 2>"$d/$name.$cmd.err"
      rss=$(tail -1 "$d/$name.$cmd.time")
      echo "FIGURE qwlog $cmd of a 40 MB single-record file ($name): peak RSS $((rss / 1024)) MiB"
      local limit=97656  # 100 MB in KiB, plus the dump's 9 MiB
      [ $name = dump ] && limit=$((limit + 9216))
      qw_check "qwlog $cmd of a 40 MB $name record: under 100 MB plus the dump's bytes ($((rss / 1024)) MiB)" \
        eval '[ "$rss" -lt $limit ]'
    done
  done
  qw_check "an entry past 1 MiB is reported torn and the record after it read" eval \
    'grep -q "entry longer than 1 MiB" "$d/entry.json.err" && tail -1 "$d/entry.json.out" | grep -q "the record after it" &&
     head -2 "$d/entry.json.out" | tail -1 | grep -q "\"torn\":true"'
  qw_check "json of a 9 MiB dump (40 MB of lines): complete, every byte" eval \
    '[ ! -s "$d/dump.json.err" ] && grep "\"kind\":\"dump\"" "$d/dump.json.out" | grep -q "\"complete\":true" &&
     [ "$(grep -o "\"bytes\":\"[0-9a-f]*\"" "$d/dump.json.out" | wc -c)" = $((9 * 1048576 * 2 + 11)) ]'
  qw_check "cat of the same dump: its lines up to 32 MiB, reported torn there, the entry after it shown" eval \
    'grep -q "dump lines past 32 MiB" "$d/dump.cat.err" && tail -2 "$d/dump.cat.out" | grep -q after-the-dump'
  rm -f "$d"/*.log "$d"/*.out
}

# Many files merged: 1,500 under ulimit -n 1024, every one read, in time order.
many_files() {
  local d="$work/many/2024-03-05"; mkdir -p "$d"
  python3 - "$d" 1500 <<'PY'
import sys
d, n = sys.argv[1], int(sys.argv[2])
for i in range(n):
    t = "%02d%02d%02d" % (10 + i // 3600, i // 60 % 60, i % 60)
    with open("%s/%s_many.log" % (d, t), "wb") as f:
        stamp = "2024-03-05 %s:%s:%s" % (t[0:2], t[2:4], t[4:6])
        f.write(("\r\n------\r\n\r\n\r\n%s  file %d\r\n\r\n" % (stamp, i)).encode())
PY
  local rc=0
  (ulimit -n 1024 && cd "$d/.." && "$qwlog" json --kind entry 2024-03-05/*_many.log >"$d/../many.out" 2>"$d/../many.err") || rc=$?
  qw_check "1,500 files under ulimit -n 1024: exit 0, all 1,500 entries, in time order" eval \
    '[ $rc = 0 ] && [ ! -s "$d/../many.err" ] && [ "$(grep -o "file [0-9]*" "$d/../many.out" | tr "\n" ,)" = "$(seq -f "file %g" 0 1499 | tr "\n" ,)" ]'
}

# The open record of a file whose folder is the day before its first stamp: an object made
# before midnight and opened after it. File name time, first stamp, the open record's time.
midnight() {
  local d="$work/midnight/2024-03-05"; mkdir -p "$d"
  local table=(
    "000005|2024-03-06 00:00:06|2024-03-06 00:00:05"
    "235958|2024-03-06 00:00:01|2024-03-05 23:59:58"
    "090807|2024-03-05 09:08:07|2024-03-05 09:08:07"
    "000005|2024-03-08 00:00:01|2024-03-07 00:00:05"
    "120000|2024-03-06 13:00:00|2024-03-06 12:00:00"
    "235959|2024-03-01 00:00:00|2024-03-05 23:59:59"
  )
  local row name stamp want got i=0
  for row in "${table[@]}"; do
    IFS='|' read -r name stamp want <<<"$row"; i=$((i + 1))
    python3 "$QW_TOP/tests/qwlog/mklog.py" "$d/${name}_m$i.log" banner time:"$stamp" entry:first
    got=$("$qwlog" json --kind open "$d/${name}_m$i.log" | sed -E 's/.*"time":"([^"]*)".*/\1/')
    if [ "$got" = "$want" ]; then qw_say "PASS open record of $name in 2024-03-05/ before a stamp $stamp: $want"
    else qw_say "FAIL open record of $name in 2024-03-05/ before a stamp $stamp: $got (want $want)"; fi
  done
  qw_check "--since the next day keeps the open record made after midnight" eval \
    '"$qwlog" json --since 2024-03-06 --kind open "$d/000005_m1.log" | grep -q "\"time\":\"2024-03-06 00:00:05\""'
  python3 "$QW_TOP/tests/qwlog/mklog.py" "$d/000005_held.log" banner banner time:"2024-03-06 00:00:06" entry:x
  qw_check "of two banners in a row only the second takes the later date" eval \
    '[ "$("$qwlog" json --kind open "$d/000005_held.log" | grep -o "\"time\":\"[^\"]*\"" | tr "\n" ,)" = "\"time\":\"2024-03-05 00:00:05\",\"time\":\"2024-03-06 00:00:05\"," ]'
}

# A file whose lines end in CR LF: a record starts only after CR LF, so a message holding a
# bare LF and stamp-like text cannot forge a dump or a banner. LF-only files keep the old rule.
crlf_forged() {
  local d="$work/forged/2024-03-05"; mkdir -p "$d"
  { qw_banner; printf '2024-03-05 09:08:07  peer says\n2024-03-05 09:08:07 --> 00000000h: 41 42 \r\n\r\n2024-03-05 09:08:07  banner next\n'
    qw_banner; printf '2024-03-05 09:08:08  real\r\n\r\n'; } >"$d/090807_forged.log"
  local rc=0; "$qwlog" json "$d/090807_forged.log" >"$d/out" 2>"$d/err" || rc=$?
  qw_check "CR LF file: a bare LF and a stamp inside a message forge no dump" eval \
    '[ $rc = 0 ] && [ "$(grep -o "\"kind\":\"[a-z]*\"" "$d/out" | tr "\n" ,)" = "\"kind\":\"open\",\"kind\":\"entry\",\"kind\":\"entry\",\"kind\":\"entry\"," ] &&
     grep -qF "\"text\":\"peer says\n2024-03-05 09:08:07 --> 00000000h: 41 42 \"" "$d/out"'
  qw_check "CR LF file: pcap finds no packet in the forged text" eval \
    '"$qwlog" pcap -o "$d/f.pcapng" "$d/090807_forged.log" 2>&1 | grep -q "^qwlog: 0 packets"'
  tr -d '\r' <"$d/090807_forged.log" >"$d/090807_lf.log"
  qw_check "LF-only file: the old rule, a stamp after a line end starts a record" eval \
    '"$qwlog" json --kind dump "$d/090807_lf.log" 2>/dev/null | grep -q "\"bytes\":\"4142\""'
}

# Every byte 0x80-0xFF of a message decoded through each code page, against glibc's iconv
# (bytes a page leaves undefined: the C1 control of the same number).
encodings() {
  local d="$work/enc/2024-03-05"; mkdir -p "$d"
  python3 - "$d/090807_enc.log" <<'EOF'
import sys
body = bytes(range(0x80, 0x100))
open(sys.argv[1], "wb").write(b"\r\n------\r\n\r\n\r\n2024-03-05 09:08:07  " + body + b"\r\n\r\n")
EOF
  local page iconv_name
  for page in windows-1252:CP1252 windows-1250:CP1250 windows-1251:CP1251 iso-8859-1:ISO-8859-1 \
      iso-8859-15:ISO-8859-15 cp437:CP437 cp850:CP850; do
    iconv_name=${page#*:}; page=${page%%:*}
    qw_check "--encoding $page decodes bytes 0x80-0xFF as iconv $iconv_name does" \
      python3 - "$qwlog" "$d/090807_enc.log" "$page" "$iconv_name" <<'EOF'
import json, subprocess, sys
qwlog, path, page, iconv_name = sys.argv[1:]
want = ""
for b in range(0x80, 0x100):
    p = subprocess.run(["iconv", "-f", iconv_name, "-t", "UTF-8"], input=bytes([b]), capture_output=True)
    want += p.stdout.decode() if p.returncode == 0 and p.stdout else chr(b)
out = subprocess.run([qwlog, "json", "--kind", "entry", "--encoding", page, path], capture_output=True, check=True)
got = json.loads(out.stdout)["text"]
bad = [hex(0x80 + i) for i, (g, w) in enumerate(zip(got, want)) if g != w]
if got != want:
    print("differ at", bad[:8], len(got), len(want)); sys.exit(1)
EOF
  done
  qw_check "valid UTF-8 passes through whatever --encoding says" eval \
    '(cd "$golden" && "$qwlog" json --encoding cp437 --grep "UTF-8" 2024-03-05/090807_text.log) | grep -q "café in UTF-8"'
}

# cat: the file's own lines, in the mirror's colours only when asked or on a terminal.
colours() {
  local f="$golden/2024-03-05/090807_worked.log" esc=$'\x1b'
  qw_check "cat --color=never gives the file's lines unchanged" eval '"$qwlog" cat --color=never "$f" | cmp -s - <(tr -d "\r" <"$f")'
  qw_check "cat --color=auto into a pipe gives no colour" eval '! "$qwlog" cat "$f" | grep -q "$esc"'
  local always; always=$("$qwlog" cat --color=always "$f")
  local table=(
    "banner light blue|${esc}[94m------${esc}[0m"
    "entry stamp dark yellow, message plain|${esc}[33m2024-03-05 09:08:07  ${esc}[0m3 items"
    "dump stamp, label dark cyan, bytes dark green|${esc}[33m2024-03-05 09:08:07 --> ${esc}[0m${esc}[36m00000000h: ${esc}[0m${esc}[32m00 01"
    "second dump line: plain indent, label, bytes|                        ${esc}[36m00000010h: ${esc}[0m${esc}[32m10 11 12 13 ${esc}[0m"
  )
  local row what want
  for row in "${table[@]}"; do
    IFS='|' read -r what want <<<"$row"
    qw_check "cat --color=always: $what" grep -qF -- "$want" <<<"$always"
  done
  # On a real terminal (script gives the program a pty), auto means colour.
  if command -v script >/dev/null; then
    qw_check "cat --color=auto on a terminal colours" eval \
      'script -qec "\"$qwlog\" cat \"$f\"" /dev/null </dev/null | grep -q "${esc}\[33m"'
  fi
}

# tshark reads the pcapng: one packet per complete, non-empty dump, its bytes, its direction.
pcap() {
  local d="$work/pcap"; mkdir -p "$d"
  if ! command -v tshark >/dev/null; then echo "SKIP tshark not installed"; return; fi
  local rc=0
  (cd "$golden" && "$qwlog" pcap -o "$d/all.pcapng" 2024-03-05/090807_worked.log 2024-03-05/090807_dumps.log \
      2024-03-05/090907_reopen.log 2>"$d/err") || rc=$?
  qw_check "pcap writes the file and says how many packets" eval '[ $rc = 0 ] && grep -q "packets written" "$d/err"'
  tshark -r "$d/all.pcapng" -o 'uat:user_dlts:"User 0 (DLT=147)","data","0","","0",""' \
    -T fields -e frame.len -e frame.packet_flags_direction -e frame.time_epoch -e data.data >"$d/tshark.txt" 2>"$d/tshark.err"
  (cd "$golden" && "$qwlog" json --kind dump 2024-03-05/090807_worked.log 2024-03-05/090807_dumps.log 2024-03-05/090907_reopen.log) |
    python3 -c '
import json, sys, calendar, time
for l in sys.stdin:
    r = json.loads(l)
    if r["complete"] and r["bytes"]:
        t = calendar.timegm(time.strptime(r["time"], "%Y-%m-%d %H:%M:%S"))
        print("%d\t0x%08x\t%d.000000000\t%s" % (len(r["bytes"]) // 2, 2 if r["dir"] == "out" else 1, t, r["bytes"]))
' >"$d/want.txt"
  qw_check "tshark reads as many packets as there are complete, non-empty dumps ($(wc -l <"$d/want.txt"))" \
    eval '[ "$(wc -l <"$d/tshark.txt")" = "$(wc -l <"$d/want.txt")" ] && [ -s "$d/want.txt" ]'
  qw_check "tshark: each packet's length, direction flag (out 2, in 1), time and bytes as written" cmp -s "$d/tshark.txt" "$d/want.txt"
  qw_check "tshark: link type USER0" eval 'tshark -r "$d/all.pcapng" -T fields -e frame.encap_type -c 1 2>/dev/null | grep -qx 45'
}

# --follow on a file a real host is still writing: later entries and dumps appear.
follow() {
  local d="$work/follow"; mkdir -p "$d"
  g++ -std=c++17 -O1 -I "$QW_TOP/LogClass" -I "$QW_TOP/demo" "$QW_TOP/tests/qwlog/QwWriter.cpp" -o "$d/qwwriter" -ldl
  cp "$QW_TOP/dist/linux/libquillwork.so" "$d/"
  { echo "open follow"; echo "log before the reader"; echo "sleep 2500"
    echo "log after the reader started"; echo "hex out hex 1 2 3"; echo "sleep 1000"
    echo "log much later"; echo "close"; } >"$d/script.txt"
  (cd "$d" && ./qwwriter <script.txt) &
  local writer=$! file="" i
  for i in $(seq 50); do file=$(ls "$d"/Log/*/*_follow.log 2>/dev/null | head -1); [ -n "$file" ] && break; sleep 0.1; done
  "$qwlog" cat --follow --color=never "$file" >"$d/out" 2>"$d/err" &
  local reader=$!
  wait "$writer"
  for i in $(seq 50); do grep -q "much later" "$d/out" && break; sleep 0.2; done
  kill "$reader" 2>/dev/null; wait "$reader" 2>/dev/null
  qw_check "--follow shows what was written before and after it started, in order" eval \
    '[ "$(grep -o -E "(before the reader|after the reader started|01 02 03|much later)" "$d/out" | tr "\n" ,)" = "before the reader,after the reader started,01 02 03,much later," ]'
  qw_check "--follow on a whole file reports nothing" eval '[ ! -s "$d/err" ]'
}

# A large file read in constant memory: many copies of a golden file, then the peak RSS.
big_file() {
  local mb=${QW_QWLOG_BIG_MB:-$(qw_full_size 64 512)} d="$work/big/2024-03-05"; mkdir -p "$d"
  local f="$d/090807_big.log" one="$golden/2024-03-05/090807_dumps.log"
  cp "$one" "$f"
  while [ "$(stat -c %s "$f")" -lt $((mb * 1024 * 1024)) ]; do cat "$f" "$f" >"$f.2" && mv "$f.2" "$f"; done
  local size; size=$(stat -c %s "$f")
  /usr/bin/time -f "%M %e" -o "$d/time" "$qwlog" json --kind open "$f" >"$d/out" 2>"$d/err"
  local rss secs; read -r rss secs <"$d/time"
  echo "FIGURE qwlog json over $((size / 1048576)) MiB: $secs s, peak RSS $((rss / 1024)) MiB"
  qw_check "a $((size / 1048576)) MiB file: every banner found ($(wc -l <"$d/out") of $((size / $(stat -c %s "$one"))))" \
    eval '[ "$(wc -l <"$d/out")" = "$((size / $(stat -c %s "$one")))" ] && [ ! -s "$d/err" ]'
  qw_check "a $((size / 1048576)) MiB file is read in under 32 MiB of memory" eval '[ "$rss" -lt 32768 ]'
  rm -f "$f"
}

# qwlog.exe under Wine x64 gives the same JSON, byte for byte.
wine_json() {
  local exe="$QW_TOP/dist/win64/qwlog.exe"
  if [ ! -f "$exe" ]; then qw_say "FAIL qwlog.exe: dist/win64/qwlog.exe is missing (./run build)"; return; fi
  qw_wine_env win64
  local f name
  for f in "$golden"/2024-03-05/*.log; do
    name=$(basename "$f" .log)
    qw_check "qwlog.exe (Wine x64) json of $name.log matches the expected JSON" json_matches wine64 "$name" timeout 120 wine "$exe"
  done
  qw_check "qwlog.exe (Wine x64) reports a torn record and goes on" eval \
    '(cd "$work/cuts-wine" 2>/dev/null || mkdir -p "$work/cuts-wine/2024-03-05"; cd "$work/cuts-wine" &&
      head -c 700 "$golden/2024-03-05/090807_worked.log" >2024-03-05/090807_worked.log &&
      timeout 120 wine "$exe" json 2024-03-05/090807_worked.log >out 2>err </dev/null; [ $? = 1 ] &&
      grep -q "torn last record" err && [ "$(grep -c "\"kind\"" out)" = 9 ])'
  qw_stop_wine
}

# qwlog.exe (Wine x64) from a cmd /c command line: it expands * and ? in its file arguments,
# folder parts too; 600 files merged with every one read; the system's own reason for a file
# it cannot open.
wine_files() {
  local exe="$QW_TOP/dist/win64/qwlog.exe"
  if [ ! -f "$exe" ]; then qw_say "FAIL qwlog.exe: dist/win64/qwlog.exe is missing (./run build)"; return; fi
  local d="$work/wine-files"; rm -rf "$d"; mkdir -p "$d/Log/2024-03-05" "$d/Log/2024-03-06" "$d/Log/other"
  cp "$exe" "$d/"
  python3 "$QW_TOP/tests/qwlog/mklog.py" "$d/Log/2024-03-05/090807_a.log" banner entry:a-first
  python3 "$QW_TOP/tests/qwlog/mklog.py" "$d/Log/2024-03-06/090807_b.log" banner time:"2024-03-06 09:08:07" entry:b-second
  python3 "$QW_TOP/tests/qwlog/mklog.py" "$d/Log/2024-03-06/100000_a.log" banner time:"2024-03-06 10:00:00" entry:a-third
  python3 - "$d/Log/other" 600 <<'PY'
import sys
d, n = sys.argv[1], int(sys.argv[2])
for i in range(n):
    t = "%02d%02d%02d" % (10 + i // 3600, i // 60 % 60, i % 60)
    open("%s/%s_many.log" % (d, t), "wb").write(
        ("\r\n------\r\n\r\n\r\n2024-03-05 %s:%s:%s  file %d\r\n\r\n" % (t[:2], t[2:4], t[4:], i)).encode())
PY
  qw_wine_env win64
  local table=(  # arguments in cmd | the entries read, in order
    'Log\*\*_?.log|a-first,b-second,a-third'
    'Log\2024-03-0?\*_a.log|a-first,a-third'
    'Log/2024-*/090807_*.log|a-first,b-second'
    'Log\2024-03-06\*.log Log\2024-03-05\090807_a.log|a-first,b-second,a-third'
  )
  local row args want got
  for row in "${table[@]}"; do
    IFS='|' read -r args want <<<"$row"
    (cd "$d" && timeout 120 wine cmd /c "qwlog.exe json --kind entry $args" >"$d/out" 2>"$d/err" </dev/null)
    got=$(tr -d '\r' <"$d/out" | sed -E 's/.*"text":"([^"]*)".*/\1/' | tr '\n' , | sed 's/,$//')
    if [ "$got" = "$want" ]; then qw_say "PASS qwlog.exe (Wine, cmd /c) json $args: $want"
    else qw_say "FAIL qwlog.exe (Wine, cmd /c) json $args: '$got' (want '$want'), $(head -2 "$d/err")"; fi
  done
  local rc=0
  (cd "$d" && timeout 300 wine cmd /c 'qwlog.exe json --kind entry Log\other\*_many.log' >"$d/many.out" 2>"$d/many.err" </dev/null) || rc=$?
  qw_check "qwlog.exe (Wine) merges 600 files: every one read, in time order" eval \
    '[ "$(tr -d "\r" <"$d/many.out" | grep -o "file [0-9]*" | tr "\n" ,)" = "$(seq -f "file %g" 0 599 | tr "\n" ,)" ] && [ ! -s "$d/many.err" ]'
  rc=0; (cd "$d" && timeout 120 wine qwlog.exe json 'Log\nothing-here.log' >"$d/out" 2>"$d/err" </dev/null) || rc=$?
  qw_check "qwlog.exe (Wine): a missing file gives the system's reason, not 'Success' ($(tr -d '\r' <"$d/err" | head -1))" eval \
    '[ $rc = 1 ] && grep -qiE "not found|cannot find" "$d/err" && ! grep -q Success "$d/err"'
  cp "$d/Log/2024-03-05/090807_a.log" "$d/a.copy"
  rc=0; (cd "$d" && timeout 120 wine qwlog.exe pcap -o 'LOG\2024-03-05\090807_A.LOG' 'Log\2024-03-05\090807_a.log' \
    >"$d/out" 2>"$d/err" </dev/null) || rc=$?
  qw_check "qwlog.exe (Wine): pcap -o naming the input in other letters: exit 2, input unchanged" eval \
    '[ $rc = 2 ] && grep -q "is the input" "$d/err" && cmp -s "$d/a.copy" "$d/Log/2024-03-05/090807_a.log"'
  rc=0; (cd "$d" && timeout 120 wine qwlog.exe pcap -o 'out.pcapng' 'Log\2024-03-05\090807_a.log' >"$d/out" 2>"$d/err" </dev/null) || rc=$?
  qw_check "qwlog.exe (Wine): pcap writes its output through a temporary file and leaves none" eval \
    '[ $rc = 0 ] && [ "$(head -c 4 "$d/out.pcapng" | od -An -tx1 | tr -d " ")" = 0a0d0d0a ] && [ -z "$(ls "$d" | grep qwlog-)" ]'
  qw_stop_wine
}

# qwlog.exe under Wine x86 gives the same JSON for the worked examples and the dumps.
wine32_json() {
  local exe="$QW_TOP/dist/win32/qwlog.exe" name
  if [ ! -f "$exe" ]; then qw_say "FAIL qwlog.exe: dist/win32/qwlog.exe is missing (./run build)"; return; fi
  qw_wine_env win32
  for name in 090807_worked 090807_dumps 090807_text; do
    qw_check "qwlog.exe (Wine x86) json of $name.log matches the expected JSON" json_matches wine32 "$name" timeout 120 wine "$exe"
  done
  qw_stop_wine
}

# The installed package holds qwlog, the lnav format and the rsyslog configurations.
installed() {
  local prefix="$work/prefix"
  if [ ! -d "$QW_TOP/build/linux" ]; then qw_say "FAIL install: build/linux is missing"; return; fi
  cmake --install "$QW_TOP/build/linux" --prefix "$prefix" >"$work/install.log" 2>&1
  local f
  for f in bin/qwlog share/quillwork/lnav/quillwork_log.json share/quillwork/rsyslog/quillwork-forward.conf \
      share/quillwork/rsyslog/quillwork-central.conf; do
    qw_check "cmake --install places $f" test -s "$prefix/$f"
  done
}

# Named parts only (tests/suites/qwlog.sh follow pcap ...), else everything.
if [ $# -gt 0 ]; then
  for part in "$@"; do "$part"; done
  exit 0
fi
golden_json
installed
line_ends
cuts
bad_input
filters
stamps
grep_linear
grep_bounds
encodings
colours
cat_escapes
pcap
pcap_snap
pcap_output
follow
follow_truncate
record_bound
many_files
midnight
crlf_forged
big_file
wine_json
wine_files
wine32_json
bash "$QW_TOP/tests/qwlog/fuzz.sh"
