#!/usr/bin/env bash
# The console mirror must never harm its host. On Linux, in a real terminal (tmux):
#  - race: one object toggles its mirror (and reopens its file) in a loop while
#    another writes with its mirror on and a host thread opens and closes files
#    of its own; no host file may ever receive a byte of the mirror;
#  - stall: Ctrl-S stops the terminal while two threads log through an object with
#    the mirror on; both keep completing calls, the file keeps receiving entries,
#    and after Ctrl-Q the mirror shows new entries again;
#  - writes: each entry and each dump reaches the terminal in one write (strace).
# Under Wine x64 and x86 with Xvfb, the GUI console suite's code-page case once more
# with the Japanese locale: Shift-JIS text (code page 932) reads back from the screen
# buffer as the same characters. (The rest of that suite runs from ./run test.)
set -u
source "$(dirname "$0")/../lib/common.sh"
BIN="$QW_TOP/build/linux/bin"
WORK="$QW_TOP/build/console-suite"
RACE_SECONDS=${QW_RACE_SECONDS:-8}
SOCK=qw-console-$$
own_xvfb=
# The terminal server's socket folder is the suite's own, removed at the end.
export TMUX_TMPDIR
TMUX_TMPDIR=$(mktemp -d)

# However the script ends, its terminal server (and the host in it) and its X
# server go with it, so no host is left writing into the next run's folders.
cleanup() {
  tmux -L "$SOCK" kill-server 2>/dev/null
  rm -rf "$TMUX_TMPDIR"
  if [ -n "$own_xvfb" ]; then kill "$own_xvfb" 2>/dev/null; fi
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM
trap '' PIPE


# A fresh folder holding the host and the library: the host's logs go below it.
host_folder() {
  local dir="$WORK/$1"
  rm -rf "$dir" && mkdir -p "$dir"
  cp "$BIN/qw_mirrorhost" "$BIN/libquillwork.so" "$dir/"
  echo "$dir"
}

# Waits up to $1 tenths of a second for the command that follows to succeed.
wait_for() {
  local n=$1; shift
  while [ "$n" -gt 0 ]; do
    "$@" && return 0
    sleep 0.1; n=$((n - 1))
  done
  return 1
}

# Sums the two call counters of the stall host's status file.
calls() { awk '{ print $1, $2 }' "$1/status" 2>/dev/null; }

# Lines of the stall host's log file.
entries() { cat "$1"/Log/*/*_stall.log 2>/dev/null | grep -c 'entry'; }

pane_has() { tmux -L "$SOCK" capture-pane -p -t 0 -S -200 | grep -qF "$1"; }

race() {
  local dir; dir=$(host_folder race)
  tmux -L "$SOCK" new-session -d -x 120 -y 40 "cd '$dir' && TERM=xterm-256color ./qw_mirrorhost race $RACE_SECONDS '$dir/result'; sleep 600"
  wait_for $(( (RACE_SECONDS + 60) * 10 )) test -s "$dir/result"
  tmux -L "$SOCK" kill-server 2>/dev/null
  local line; line=$(cat "$dir/result" 2>/dev/null)
  echo "FIGURE race: $line (host files made, host files holding bytes they were never given, those bytes)"
  [ -n "$line" ] || { qw_say "FAIL race-host-finished"; return; }
  qw_say "PASS race-host-finished"
  set -- $line
  qw_check race-host-files-made [ "$2" -gt 1000 ]
  qw_check race-no-mirror-byte-in-a-host-file [ "$4" -eq 0 ]
  qw_check race-writer-file-kept-its-entries bash -c "cat '$dir'/Log/*/*_writer.log | grep -q 'writer entry 100 with'"
}

stall() {
  local dir; dir=$(host_folder stall)
  tmux -L "$SOCK" new-session -d -x 120 -y 40 "cd '$dir' && TERM=xterm-256color ./qw_mirrorhost stall '$dir'; sleep 600"
  wait_for 200 test -s "$dir/status"
  wait_for 100 pane_has "thread 2 entry 50"
  tmux -L "$SOCK" send-keys -t 0 C-s
  sleep 1   # the terminal's buffer fills and the mirror's writes find it full
  local before entries_before after entries_after
  before=$(calls "$dir"); entries_before=$(entries "$dir")
  sleep 2
  after=$(calls "$dir"); entries_after=$(entries "$dir")
  echo "FIGURE stall: calls $before -> $after, file entries $entries_before -> $entries_after while stopped"
  set -- $before $after
  qw_check stall-thread-1-keeps-completing-calls [ "${3:-0}" -gt "${1:-0}" ]
  qw_check stall-thread-2-keeps-completing-calls [ "${4:-0}" -gt "${2:-0}" ]
  qw_check stall-file-keeps-receiving-entries [ "$entries_after" -gt "$entries_before" ]
  tmux -L "$SOCK" send-keys -t 0 C-q
  sleep 0.5
  touch "$dir/resume"
  wait_for 100 test -s "$dir/resumed"
  # The terminal first shows what the mirror wrote before the stop: on a busy machine that
  # takes tmux seconds. A minute turns a mirror that never resumes into a failure.
  qw_check stall-mirror-resumes-after-ctrl-q wait_for 600 pane_has "RESUMED-MARK"
  touch "$dir/stop"
  wait_for 100 bash -c "! tmux -L '$SOCK' capture-pane -p -t 0 >/dev/null 2>&1 || tmux -L '$SOCK' list-panes -F '#{pane_current_command}' | grep -q sleep"
  tmux -L "$SOCK" kill-server 2>/dev/null
}

# Writes to the object's own terminal descriptor, from strace's record: the
# descriptor the last open of /dev/tty gave, counted until it was closed.
tty_writes() {
  awk '
    /openat\(.*"\/dev\/tty", O_WRONLY.*O_NONBLOCK/ { n = $NF; fd = n; count = 0; next }
    fd != "" && $0 ~ ("write\\(" fd ",") { count++ }
    fd != "" && $0 ~ ("close\\(" fd "\\)") { print count; fd = "" }
  ' "$1" | tail -1
}

# Writes the terminal refused (EAGAIN: it did not keep up), from the same record.
tty_refusals() {
  awk '
    /openat\(.*"\/dev\/tty", O_WRONLY.*O_NONBLOCK/ { fd = $NF; count = 0; next }
    fd != "" && $0 ~ ("write\\(" fd ",") && /EAGAIN/ { count++ }
    fd != "" && $0 ~ ("close\\(" fd "\\)") { print count; fd = "" }
  ' "$1" | tail -1
}

# One run of the entries host under strace in a terminal; the record goes to $1/trace.
traced_entries() {
  local dir=$1 n=$2
  rm -f "$dir/trace" "$dir/done"
  tmux -L "$SOCK" new-session -d -x 120 -y 40 "cd '$dir' && TERM=xterm-256color strace -f -e trace=openat,write,close -o '$dir/trace' ./qw_mirrorhost entries $n; touch '$dir/done'; sleep 600"
  wait_for 600 test -e "$dir/done"
  tmux -L "$SOCK" kill-server 2>/dev/null
}

# One write per entry needs a terminal that keeps up: a refused write is dropped and the
# next entry starts on a line of its own, which takes writes of its own. A run in which the
# terminal refused a write (a busy machine) is tried again, up to three times.
writes() {
  command -v strace >/dev/null || { qw_say "FAIL strace-missing"; return; }
  local dir n=200 try count refused; dir=$(host_folder writes)
  for try in 1 2 3; do
    traced_entries "$dir" $n
    count=$(tty_writes "$dir/trace"); refused=$(tty_refusals "$dir/trace")
    [ "${refused:-0}" -eq 0 ] && break
    echo "FIGURE writes: try $try: the terminal refused $refused writes (it did not keep up)"
  done
  # The colour set when the mirror comes on, then one write per entry and per dump.
  echo "FIGURE writes: ${count:-none} writes to the terminal for $n entries and $n dumps of 100 bytes"
  if [ "${refused:-0}" -ne 0 ]; then
    echo "SKIP writes-one-per-entry: the terminal refused writes in three tries (a busy machine)"
    return
  fi
  qw_check writes-one-per-entry [ "${count:-0}" -eq $((2 * n + 1)) ]
}

# The code-page case of the GUI console suite with the ANSI code page 932.
codepage_932() {
  local arch=$1 dir="$QW_TOP/build/$1/bin" xml=qw_gui_cp932.xml cp
  [ -f "$dir/qw_gui.exe" ] || { echo "SKIP cp932-$arch: qw_gui.exe is not built"; return; }
  qw_wine_env "$arch"
  rm -f "$dir/$xml"
  (cd "$dir" && LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 TZ=UTC timeout 300 wine start /wait /unix "$dir/qw_gui.exe" \
      --gtest_filter='*CodePage*' --gtest_output="xml:$xml" >/dev/null 2>&1 </dev/null)
  cp=$(grep -o 'name="ansi_code_page" value="[0-9]*"' "$dir/$xml" 2>/dev/null | grep -o '[0-9]*"$' | tr -d '"')
  if [ -n "$cp" ] && [ "$cp" != 932 ]; then
    echo "SKIP cp932-$arch: the locale gave the ANSI code page $cp, not 932"
  else
    qw_check "cp932-$arch-text-reads-back-as-itself" grep -q '<testsuites tests="1" failures="0"' "$dir/$xml"
  fi
  qw_stop_wine  # after the check: a win32 check where none can run is a skip, not a failure
}

# Xvfb for the Wine cases when no display is given; ended by its own id.
start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  command -v Xvfb >/dev/null || return 1
  local n
  for n in 80 81 82 83 84 85 86 87 88 89; do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    own_xvfb=$!
    export DISPLAY=":$n"
    sleep 1
    return 0
  done
  return 1
}

if command -v tmux >/dev/null && [ -x "$BIN/qw_mirrorhost" ]; then
  race
  stall
  writes
else
  qw_say "FAIL linux-terminal: tmux or qw_mirrorhost missing"
fi
if command -v wine >/dev/null && start_display; then
  codepage_932 win64
  codepage_932 win32
else
  echo "SKIP cp932: no Wine or no X display"
fi
exit 0
