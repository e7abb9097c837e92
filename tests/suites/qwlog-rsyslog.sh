#!/usr/bin/env bash
# Central collection with the shipped rsyslog configurations: two real rsyslogd instances on
# 127.0.0.1, each with its own configuration, work folder and pid file (never the system's
# instance). A host writes entries and dumps with the real library (libquillwork.so, loaded with
# dlopen); the forwarder tails the day folders with imfile and sends over TCP; the central writes
# JSON. Every entry and dump must arrive whole, in order, exactly once. The three runs of the
# host write whole-second stamps, then STAMP=MS, then STAMP=US with THREAD=1; dumps of 2,000
# bytes and of 64 KiB are among them (bytes compared).
set -u
: "${QW_TOP:=$(cd "$(dirname "$0")/../.." && pwd)}"
export QW_TOP
source "$QW_TOP/tests/lib/common.sh"
work="$QW_TOP/build/qwlog-rsyslog"
qwlog="$QW_TOP/dist/linux/qwlog"
if ! command -v rsyslogd >/dev/null; then echo "SKIP rsyslogd is not installed"; exit 0; fi
if [ ! -x "$qwlog" ] || [ ! -f "$QW_TOP/dist/linux/libquillwork.so" ]; then
  qw_say "FAIL rsyslog: dist/linux is not built (./run build)"; exit 0
fi
rm -rf "$work" && mkdir -p "$work/host" "$work/central-work" "$work/forward-work" "$work/central-out"

# A free TCP port on the loopback address.
port=
for _ in $(seq 50); do
  p=$((20000 + RANDOM % 20000))
  ss -Hltn "sport = :$p" 2>/dev/null | grep -q . || { port=$p; break; }
done

# The shipped files with their EDIT lines pointed at this test's folders and port.
sed -e "s|Port=\"10514\"|Port=\"$port\" Address=\"127.0.0.1\"|" \
    -e "s|/var/log/quillwork/|$work/central-out/|" \
    "$QW_TOP/tools/rsyslog/quillwork-central.conf" >"$work/quillwork-central.conf"
sed -e "s|/srv/quillwork-host/Log|$work/host/Log|" -e "s|quillwork-central.example|127.0.0.1|" \
    -e "s|Port=\"10514\"|Port=\"$port\"|" \
    "$QW_TOP/tools/rsyslog/quillwork-forward.conf" >"$work/quillwork-forward.conf"
cat >"$work/central.conf" <<CONF
global(workDirectory="$work/central-work")
include(file="$work/quillwork-central.conf")
CONF
cat >"$work/forward.conf" <<CONF
global(workDirectory="$work/forward-work" localHostname="qwtest-host")
include(file="$work/quillwork-forward.conf")
CONF
for conf in central forward; do
  qw_check "rsyslogd -N1 accepts the shipped $conf configuration" eval \
    'rsyslogd -N1 -f "$work/$conf.conf" >"$work/$conf.check" 2>&1'
done

# The host: the real library beside a small program that writes what a script says.
g++ -std=c++17 -O1 -I "$QW_TOP/LogClass" -I "$QW_TOP/demo" "$QW_TOP/tests/qwlog/QwWriter.cpp" -o "$work/host/qwwriter" -ldl
cp "$QW_TOP/dist/linux/libquillwork.so" "$work/host/"
script() {  # script TAG: entries and dumps of every shape, then a burst for order
  local tag=$1 i
  echo "open $tag"
  echo "log $tag: plain text"
  echo "log "
  echo "log tab\tquote\" back\\\\slash"
  echo "log two lines\r\nof one message"
  echo "log with an empty line\n\ninside"
  echo "hex out hex 0..19"
  echo "hex in dec 0..15 240..243"
  echo "hex out hex"
  echo "hex in hex 0..255 0..43"
  echo "hex in dec 200*29"
  for i in $(seq 1 60); do echo "log $tag burst $i"; echo "hex out hex $i $i $i"; done
  # Dumps far past rsyslog's default message size of 8 KiB: 2,000 bytes (about 10 KB of
  # text) hex and decimal, and 64 KiB (about 300 KB), each to arrive whole.
  for i in 1 2 3; do echo "hex out hex $(printf '0..255 %.0s' $(seq 7)) 0..207"; echo "log $tag after big $i"; done
  echo "hex in dec $(printf '0..255 %.0s' $(seq 7)) 0..207"
  echo "hex in hex $(printf '0..255 %.0s' $(seq 256))"
  echo "log $tag last"
  echo "close"
}
run_host() { (cd "$work/host" && ./qwwriter >/dev/null 2>&1 <"$1"); }
script first >"$work/first.txt"
script second >"$work/second.txt"
{ echo "open first"; echo "log first: a second session in the same file"; echo "hex out dec 1 2 3"; echo "close"; } >"$work/third.txt"

stop_daemons() {
  local f
  for f in forward central; do
    [ -s "$work/$f.pid" ] && kill "$(cat "$work/$f.pid")" 2>/dev/null
  done
  sleep 1
}
trap stop_daemons EXIT

# Some records exist before the forwarder starts, some are written while it runs: into a new
# file, and into a new day-folder file of the first name a second later.
run_host "$work/first.txt"
printf '[LOG]\r\nSTAMP=MS\r\n' >"$work/host/Quillwork.ini"
rsyslogd -n -f "$work/central.conf" -i "$work/central.pid" >"$work/central.out" 2>&1 </dev/null &
for _ in $(seq 100); do ss -Hltn "sport = :$port" | grep -q . && break; sleep 0.1; done
rsyslogd -n -f "$work/forward.conf" -i "$work/forward.pid" >"$work/forward.out" 2>&1 </dev/null &
sleep 2
run_host "$work/second.txt"
sleep 1.1
printf '[LOG]\r\nSTAMP=US\r\nTHREAD=1\r\n' >"$work/host/Quillwork.ini"
run_host "$work/third.txt"

logs=("$work"/host/Log/*/*.log)
want=0
for f in "${logs[@]}"; do want=$((want + $("$qwlog" json --kind entry,dump "$f" | wc -l))); done
out="$work/central-out/qwtest-host.json"
for _ in $(seq 60); do
  [ -f "$out" ] && [ "$(wc -l <"$out")" -ge "$want" ] && break
  sleep 0.5
done
sleep 3  # anything beyond the expected count would show up now
stop_daemons
trap - EXIT
echo "FIGURE rsyslog: $want records in ${#logs[@]} files, $( [ -f "$out" ] && wc -l <"$out" || echo 0) messages at the central"
qw_check "rsyslog: the host wrote whole-second, STAMP=MS and STAMP=US THREAD=1 stamps" eval \
  'cat "${logs[@]}" | grep -qE "^[0-9-]{10} [0-9:]{8}  " && cat "${logs[@]}" | grep -qE "^[0-9-]{10} [0-9:]{8}\.[0-9]{3}  " &&
   cat "${logs[@]}" | grep -qE "^[0-9-]{10} [0-9:]{8}\.[0-9]{6} \[[0-9]+\] --> "'
qw_check "rsyslog: every entry and dump arrived whole, in order, exactly once, with its time, thread and host" \
  python3 "$QW_TOP/tests/qwlog/central_check.py" "$qwlog" "$out" qwtest-host "${logs[@]}"
qw_check "rsyslog: both test daemons have stopped" eval '! pgrep -f "rsyslogd -n -f $work" >/dev/null'
