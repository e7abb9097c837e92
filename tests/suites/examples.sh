#!/usr/bin/env bash
# The example programs of examples/ as the linux and win64 builds made them (build/<preset>/
# examples/), run and their logs read back with qwlog: the echo server and its client (every
# byte sent and received in the dumps, stamps with milliseconds and thread ids), the service
# (several files by MAXFILEMB, old days removed by KEEPDAYS, a new day folder by DAILY, a
# clean stop on SIGTERM), and the Windows host, built in the tree and once more against the
# unpacked win64 zip as a Visual Studio user builds it.
set -u
: "${QW_TOP:=$(cd "$(dirname "$0")/../.." && pwd)}"
export QW_TOP
source "$QW_TOP/tests/lib/common.sh"
work="$QW_TOP/build/examples"
qwlog="$QW_TOP/build/linux/bin/qwlog"
faketime_lib=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1
rm -rf "$work" && mkdir -p "$work"
version=$(for p in MAJOR MINOR PATCH; do
  sed -n "s/^#define QUILLWORK_VERSION_$p \+\([0-9]\+\).*/\1/p" "$QW_TOP/LogClass/Quillwork.h"; done | paste -sd.)

# Copies the programs of build/$1/examples/$2 (with their settings file and, on Windows, the
# DLL) into $work/$3, a folder of the run's own, so each run starts without logs.
stage() {
  local from="$QW_TOP/build/$1/examples/$2" to="$work/$3"
  mkdir -p "$to" && find "$from" -maxdepth 1 -type f \( -perm -u+x -o -name '*.ini' -o -name '*.dll' -o -name '*.exe' \) \
    -exec cp {} "$to/" \;
}

# Runs a program of folder $1 (under Wine when it ends in .exe) with a time bound, its
# output in $1/out.txt; the exit status is the program's.
run_in() {
  local dir=$1 exe=$2; shift 2
  case $exe in
    *.exe) (cd "$dir" && timeout 120 wine "$exe" "$@" </dev/null 2>/dev/null | tr -d '\r' >out.txt; exit "${PIPESTATUS[0]}") ;;
    *) (cd "$dir" && timeout 60 "./$exe" "$@" </dev/null >out.txt 2>"$dir/err.txt") ;;
  esac
}

# The records of the logs $2... as JSON lines in $1.
read_logs() {
  local out=$1; shift
  "$qwlog" json "$@" >"$out"
}

# The echo server and client of folder $1 (programs with suffix $2): the server serves
# 4 clients, the client sends 4 x 30 messages; both end with 0 and the client got every
# message back.
echo_round() {
  local dir=$1 sfx=$2 port i
  rm -f "$dir/port.txt"
  if [ -n "$sfx" ]; then
    (cd "$dir" && timeout 120 wine "echo_server$sfx" 4 </dev/null >port.txt 2>/dev/null; echo $? >server.rc) &
  else
    (cd "$dir" && timeout 60 ./echo_server 4 </dev/null >port.txt 2>server.err; echo $? >server.rc) &
  fi
  for i in $(seq 600); do
    port=$(tr -d '\r' <"$dir/port.txt" 2>/dev/null | awk '/^port /{print $2}')
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || { echo "the server printed no port"; wait; return 1; }
  run_in "$dir" "echo_client$sfx" "$port" 4 30 || { echo "client: exit $?, $(cat "$dir/out.txt")"; wait; return 1; }
  wait
  [ "$(cat "$dir/server.rc")" = 0 ] || { echo "server: exit $(cat "$dir/server.rc")"; return 1; }
  grep -qx 'echoed 120 messages' "$dir/out.txt" || { echo "client printed '$(cat "$dir/out.txt")'"; return 1; }
}

# The server's log of folder $1 holds, per serving thread, exactly the bytes one client
# thread sent, once in and once out, in order; every record is stamped to the millisecond
# with its thread; the serving threads are four and none of them the accepting one.
echo_server_log_right() {
  local dir=$1
  read_logs "$dir/server.json" "$dir"/Log/*/*_EchoServer.log || return 1
  grep -qE '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} \[[0-9]+\] --> ' \
    "$dir"/Log/*/*_EchoServer.log || { echo "no dump stamped with milliseconds and a thread"; return 1; }
  python3 - "$dir/server.json" <<'EOF'
import json, sys
recs = [json.loads(l) for l in open(sys.argv[1])]
def expected(t):  # what echo_client's thread t sends, 30 messages
    return b"".join(b"thread %d message %d%s\n" % (t, m, b"-" * (m % 17)) for m in range(30))
body = [r for r in recs if r["kind"] != "open"]
bad = [r for r in body if "thread" not in r or "." not in r["time"] or len(r["time"].split(".")[1]) != 3]
if bad: sys.exit("records without a thread id or milliseconds: %s" % bad[:2])
main = {r["thread"] for r in body if r["kind"] == "entry" and r["text"].startswith("client ") and "connected" in r["text"]}
streams = {}
for r in body:
    if r["kind"] == "dump":
        s = streams.setdefault((r["thread"], r["dir"]), bytearray())
        s += bytes.fromhex(r["bytes"])
threads = {t for t, d in streams}
if len(threads) != 4 or threads & main: sys.exit("serving threads %s, accepting thread %s" % (threads, main))
want = sorted(expected(t) for t in range(4))
for d in ("in", "out"):
    got = sorted(bytes(streams.get((t, d), b"")) for t in threads)
    if got != want: sys.exit("the %s dumps differ from what the client sent" % d)
if not any(r["kind"] == "entry" and r["text"] == "served 4 clients" for r in body): sys.exit("no closing entry")
EOF
}

# The client's log of folder $1: 120 dumps out and 120 in, the same bytes both ways.
echo_client_log_right() {
  local dir=$1
  read_logs "$dir/client.json" "$dir"/Log/*/*_EchoClient.log || return 1
  python3 - "$dir/client.json" <<'EOF'
import json, sys
recs = [json.loads(l) for l in open(sys.argv[1])]
dumps = {"in": [], "out": []}
for r in recs:
    if r["kind"] == "dump": dumps[r["dir"]].append(r["bytes"])
if len(dumps["in"]) != 120 or sorted(dumps["in"]) != sorted(dumps["out"]):
    sys.exit("%d in, %d out, equal: %s" % (len(dumps["in"]), len(dumps["out"]), sorted(dumps["in"]) == sorted(dumps["out"])))
if not any(r["kind"] == "entry" and r["text"] == "echoed 120 of 120 messages" for r in recs): sys.exit("no summary entry")
EOF
}

# The service's logs of folder $1 read as one stream: ticks 0 to $2 - 1 each once and in
# order, each followed by its status dump (the tick's number in its first four bytes),
# then the closing entry; more than one file, each starting with a banner and none much
# past the 1 MiB of MAXFILEMB (one record more at most); every entry's date is its folder's.
service_logs_right() {
  local dir=$1 ticks=$2 files f
  files=("$dir"/Log/*/*_Service.log)
  for f in "${files[@]}"; do
    cmp -s -n 14 "$f" <(qw_banner) || { echo "$f: no banner"; return 1; }
  done
  read_logs "$dir/service.json" "${files[@]}" || return 1
  python3 - "$dir/service.json" "$ticks" "${files[@]}" <<'EOF'
import json, os, sys
recs = [json.loads(l) for l in open(sys.argv[1])]
ticks, files = int(sys.argv[2]), sys.argv[3:]
if len(files) < 2: sys.exit("one file: MAXFILEMB moved to no new file")
big = [f for f in files if os.path.getsize(f) > (1 << 20) + 200000]
if big: sys.exit("past the limit: %s" % big)
seen, expect = [], None
for r in recs:
    if r["kind"] == "open": continue
    if r["time"][:10] != os.path.basename(os.path.dirname(r["file"])): sys.exit("entry of %s in %s" % (r["time"], r["file"]))
    if r["kind"] == "entry" and r["text"].startswith("tick "):
        expect = int(r["text"][5:]); seen.append(expect)
    elif r["kind"] == "dump":
        b = bytes.fromhex(r["bytes"])
        if len(b) != 16384 or int.from_bytes(b[:4], "little") != expect: sys.exit("dump after tick %s holds tick %d" % (expect, int.from_bytes(b[:4], "little")))
if seen != list(range(ticks)): sys.exit("ticks %s..., %d of them" % (seen[:5], len(seen)))
last = [r for r in recs if r["kind"] == "entry"][-1]
if last["text"] != "service stopped after %d ticks" % ticks: sys.exit("last entry: %s" % last["text"])
EOF
}

# KEEPDAYS=14 of the service's settings: the day folder of 2020-01-01 with an old log is
# gone after a run, yesterday's folder and log stay.
keepdays_cleaned() {
  local dir=$1
  [ ! -e "$dir/Log/2020-01-01" ] || { echo "2020-01-01 kept"; return 1; }
  [ -f "$dir/Log/$(date -d yesterday +%F)/000000_Yesterday.log" ] || { echo "yesterday's log removed"; return 1; }
}

# Plants the folders keepdays_cleaned looks at.
plant_old_days() {
  local dir=$1 y
  y=$(date -d yesterday +%F)
  mkdir -p "$dir/Log/2020-01-01" "$dir/Log/$y" &&
    echo old >"$dir/Log/2020-01-01/000000_Service.log" && touch -d 2020-01-01 "$dir/Log/2020-01-01/000000_Service.log" &&
    echo recent >"$dir/Log/$y/000000_Yesterday.log" && touch -d yesterday "$dir/Log/$y/000000_Yesterday.log"
}

# The service of folder $1 started without a time limit stops on SIGTERM with exit status 0
# and writes its closing entry last.
service_stops_on_sigterm() {
  local dir=$1 pid i ticks
  (cd "$dir" && exec ./service </dev/null >/dev/null 2>&1) &
  pid=$!
  for i in $(seq 300); do
    grep -qs 'tick 3' "$dir"/Log/*/*_Service.log && break
    sleep 0.1
  done
  kill -TERM "$pid"
  timeout 30 tail --pid="$pid" -f /dev/null || { kill -KILL "$pid"; echo "did not stop"; return 1; }
  wait "$pid" || { echo "exit status $?"; return 1; }
  read_logs "$dir/sigterm.json" "$dir"/Log/*/*_Service.log || return 1
  ticks=$(grep -c '"text":"tick ' "$dir/sigterm.json")
  tail -1 "$dir/sigterm.json" | grep -qF "\"text\":\"service stopped after $ticks ticks\"" ||
    { tail -1 "$dir/sigterm.json"; return 1; }
}

# The service of folder $1 runs 3 s from 23:59:58 on a clock libfaketime sets (UTC).
service_past_midnight() {
  (cd "$1" && timeout 60 env LD_PRELOAD="$faketime_lib" FAKETIME="@2026-06-30 23:59:58" NO_FAKE_STAT=1 TZ=UTC \
     ./service 3 </dev/null >out.txt 2>err.txt)
}

# The Windows host of folder $1 ran: it printed its log folder, beside the program, and the
# log holds its entry (stamped to the millisecond, STAMP=MS) and its dump of the frame.
windows_host_logged() {
  local dir=$1 log
  grep -q 'log written below .*\\Log$' "$dir/out.txt" || { echo "printed '$(cat "$dir/out.txt")'"; return 1; }
  log=$(ls "$dir"/Log/*/*_WindowsHost.log 2>/dev/null | head -1)
  [ -f "$log" ] || { echo "no log below $dir/Log"; return 1; }
  grep -qaE "^[0-9-]{10} [0-9:]{8}\.[0-9]{3}  windows host, process [0-9]+, Quillwork $version"$'\r$' "$log" &&
    grep -qa -- "--> 00000000h: 02 57 49 4E 03 "$'\r$' "$log" || { cat -A "$log" | head; return 1; }
}

# examples/windows-host configured and built with MinGW-w64 against the unpacked zip $1,
# as its CMakeLists.txt says for Visual Studio (CMAKE_PREFIX_PATH at the zip's folder),
# into $work/zip-host, with the DLL and the settings copied beside the program.
build_against_zip() {
  local root=$1 b="$work/zip-host"
  { cmake -S "$QW_TOP/examples/windows-host" -B "$b" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$QW_TOP/cmake/mingw-x86_64.cmake" -DCMAKE_PREFIX_PATH="$root" &&
    cmake --build "$b" -j2; } >"$work/zip-host.log" 2>&1 || { tail -15 "$work/zip-host.log"; return 1; }
  [ -f "$b/Quillwork.dll" ] && [ -f "$b/Quillwork.ini" ] && cmp -s "$b/Quillwork.dll" "$root/bin/Quillwork.dll" ||
    { echo "no DLL or settings beside the program"; return 1; }
}

# The host of folder $1 logged, in its one log named $2, the line $3 (CR LF ending).
host_logged() {
  local dir=$1 name=$2 line=$3 logs
  logs=("$dir"/Log/*/*_"$name".log)
  [ ${#logs[@]} = 1 ] && [ -f "${logs[0]}" ] || { echo "logs: ${logs[*]}"; return 1; }
  grep -qaE "^[0-9-]{10} [0-9:]{8}$line"$'\r$' "${logs[0]}" || { cat -A "${logs[0]}" | head; return 1; }
}

# The run-time loading host of folder $1 without Quillwork.dll beside it: says so on
# standard error, exits with 0, and leaves no log.
runs_without_library() {
  local dir=$1 err rc=0
  rm -f "$dir/Quillwork.dll" && rm -rf "$dir/Log"
  err=$(cd "$dir" && timeout 120 wine runtime_host.exe </dev/null 2>&1 >/dev/null | tr -d '\r') || rc=$?
  [ "$rc" = 0 ] || { echo "exit $rc"; return 1; }
  grep -q 'running without a log' <<<"$err" || { echo "said '$err'"; return 1; }
  [ ! -e "$dir/Log" ] || { echo "a Log folder was made"; return 1; }
}

start=$(date +%s)
if [ ! -x "$qwlog" ]; then
  qw_not_built linux qwlog
elif [ ! -x "$QW_TOP/build/linux/examples/echo-server/echo_server" ]; then
  qw_not_built linux "the examples"
else
  stage linux echo-server echo-linux
  qw_check "linux echo: server and 4 client threads exchange 120 messages" echo_round "$work/echo-linux" ""
  qw_check "linux echo: server's dumps hold every byte in and out, per thread, STAMP=MS and THREAD=1" \
    echo_server_log_right "$work/echo-linux"
  qw_check "linux echo: client's dumps hold 120 messages out and the same 120 in" echo_client_log_right "$work/echo-linux"

  stage linux link link-linux
  qw_check "linux linked host: runs and logs its entry and dump" eval \
    'run_in "$work/link-linux" linked_host && host_logged "$work/link-linux" Linked "  linked host started with 0 argument\(s\)" &&
     host_logged "$work/link-linux" Linked " <-- 00000000h: 02 10 41 42 43 03 "'
  stage linux load-at-runtime runtime-linux
  qw_check "linux run-time host: dlopen finds the library, logs its decimal dump" eval \
    'run_in "$work/runtime-linux" runtime_host && host_logged "$work/runtime-linux" Runtime " --> 00000000d: 165 01 00 255 "'

  stage linux service service-linux
  plant_old_days "$work/service-linux"
  qw_check "linux service: a run of 3 s ends with 0" run_in "$work/service-linux" service 3
  qw_check "linux service: MAXFILEMB=1 made several files, every tick once and in order" \
    service_logs_right "$work/service-linux" 30
  qw_check "linux service: KEEPDAYS=14 removed 2020-01-01, kept yesterday" keepdays_cleaned "$work/service-linux"
  stage linux service service-sigterm
  qw_check "linux service: SIGTERM stops it with 0, its closing entry last" service_stops_on_sigterm "$work/service-sigterm"
  if [ -f "$faketime_lib" ]; then
    stage linux service service-daily
    qw_check "linux service: DAILY=1 across midnight (libfaketime) ends with 0" service_past_midnight "$work/service-daily"
    qw_check "linux service: DAILY=1 moved on into 2026-07-01, each entry in its date's folder" eval \
      'ls "$work"/service-daily/Log/2026-07-01/*_Service.log >/dev/null && service_logs_right "$work/service-daily" 30'
  else
    echo "FAIL linux service: DAILY needs libfaketime ($faketime_lib)"
  fi
fi

if [ ! -f "$QW_TOP/build/win64/examples/windows-host/windows_host.exe" ]; then
  qw_not_built win64 "the examples"
else
  qw_wine_env win64
  stage win64 windows-host host-win64
  qw_check "win64 windows host (tree build): runs under Wine" run_in "$work/host-win64" windows_host.exe
  qw_check "win64 windows host: its log beside the program, STAMP=MS from its settings" windows_host_logged "$work/host-win64"
  stage win64 echo-server echo-win64
  qw_check "win64 echo: server and client under Wine exchange 120 messages" echo_round "$work/echo-win64" .exe
  qw_check "win64 echo: server's dumps hold every byte in and out, per thread" echo_server_log_right "$work/echo-win64"
  stage win64 service service-win64
  plant_old_days "$work/service-win64"
  qw_check "win64 service: a run of 3 s under Wine ends with 0" run_in "$work/service-win64" service.exe 3
  qw_check "win64 service: MAXFILEMB=1 made several files, every tick once and in order" \
    service_logs_right "$work/service-win64" 30
  qw_check "win64 service: KEEPDAYS=14 removed 2020-01-01, kept yesterday" keepdays_cleaned "$work/service-win64"
  if [ -f "$QW_TOP/build/win64/examples/load-at-runtime/runtime_host.exe" ]; then
    stage win64 load-at-runtime runtime-win64
    qw_check "win64 run-time host: LoadLibraryA finds the DLL beside it, logs" eval \
      'run_in "$work/runtime-win64" runtime_host.exe && host_logged "$work/runtime-win64" Runtime " --> 00000000d: 165 01 00 255 "'
    qw_check "win64 run-time host: without the DLL it says so, exits 0, makes no log" runs_without_library "$work/runtime-win64"
  else
    qw_not_built win64 runtime_host
  fi
  zip="$QW_TOP/dist/packages/quillwork-$version-win64.zip"
  if [ -s "$zip" ] && mkdir -p "$work/zip" && unzip -q "$zip" -d "$work/zip"; then
    root="$work/zip/quillwork-$version-win64"
    qw_check "win64 windows host: builds against the unpacked zip with its CMake project" build_against_zip "$root"
    qw_check "win64 windows host (zip build): runs under Wine" run_in "$work/zip-host" windows_host.exe
    qw_check "win64 windows host (zip build): logs beside the program" windows_host_logged "$work/zip-host"
  else
    echo "FAIL win64: quillwork-$version-win64.zip (./run package makes it) unpacks"
  fi
  qw_stop_wine
fi
echo "FIGURE examples suite took $(( $(date +%s) - start )) s"
