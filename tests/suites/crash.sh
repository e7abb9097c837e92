#!/usr/bin/env bash
# [LOG] CRASH=1 of Quillwork.ini, through the shipped library and the host
# tests/crash/QwCrashHost.cpp, on Linux and under Wine (x64; x86 where 32-bit
# programs run):
# - a null read, a write to read-only memory, abort(), a division by zero, an
#   illegal instruction and a stack overflow: the log ends with one crash entry
#   naming the fault, one of whose frames addr2line turns into the host's own
#   crashing function; the process ends as it does with CRASH=0 (the same signal
#   and core dump; under Wine the same unhandled exception);
# - a host handler installed before the object opens is called after the entry;
#   one installed after it is the one that runs (no entry, its exit code);
# - a bad %s pointer crashes inside WriteLog, the object's lock held: its entry
#   is still written, with a frame in the library;
# - 4 threads writing while a fifth crashes: every entry whole, the crash entry last;
# - CRASH=0 changes no handler; with CRASH=1 Release gives the host's back;
# - qwlog json reads the crash entry as an entry (where qwlog is built).
set -u
source "$(dirname "$0")/../lib/common.sh"
# No display: with one (./run test starts Xvfb for the console suites) Wine's debugger
# shows its crash dialog for every unhandled exception and waits for a click that never
# comes; without, it prints its report and the process ends.
unset DISPLAY
work=$QW_TOP/build/crash
rm -rf "$work" && mkdir -p "$work"
CHECK=$QW_TOP/tests/crash/crashlog.py

# Makes a host folder $1 with the host and library of bin folder $2 and
# Quillwork.ini saying CRASH=$3. Prints the folder.
install_host() {
  local dir=$work/$1 bin=$2
  rm -rf "$dir" && mkdir -p "$dir"
  if [ -f "$bin/qw_crashhost.exe" ]; then
    cp "$bin/qw_crashhost.exe" "$bin/Quillwork.dll" "$dir/"
  else
    cp "$bin/qw_crashhost" "$dir/" && cp -L "$bin/libquillwork.so" "$dir/"
  fi
  printf '[LOG]\r\nCRASH=%s\r\n' "$3" >"$dir/Quillwork.ini"
  echo "$dir"
}

# The one log file below a host folder.
log_file() { ls "$1"/Log/*/*_Crash.log 2>/dev/null | head -1; }

# Runs the host of folder $1 with mode $2 (cores allowed, written into the
# folder) and prints how it ended.
run_linux() {
  (cd "$1" && ulimit -c unlimited && timeout 60 python3 "$CHECK" status . ./qw_crashhost "$2")
}
# Under Wine the exit code after an unhandled exception is Wine's debugger's and
# varies from run to run: what ended the process is the exception Wine names
# ("wine: Unhandled page fault on read access to X"), addresses left out.
run_win() {
  local got
  got=$(cd "$1" && timeout 120 python3 "$CHECK" status . "$(command -v wine)" ./qw_crashhost.exe "$2")
  grep -a -m1 '^wine: Unhandled' "$1/err" | sed 's/ at address.*//; s/[0-9A-Fa-f]\{8,16\}/X/g' | grep . || echo "$got"
}

# TRUE when a frame of module $2 in the crash entry of log $1 (its frames as
# crashlog.py entry prints them, in $3) is in function $4 of binary $5, read
# with addr2line $6 at the offset plus $7 (the image base of a PE file).
frame_in() {
  local frames=$1 module=$2 fn=$3 binary=$4 a2l=$5 base=$6 offset
  for offset in $(awk -v m="$module" '$1 == m { print $2 }' <<<"$frames"); do
    # A return address is the instruction after the call: its line is one byte earlier.
    for delta in 0 1; do
      "$a2l" -f -e "$binary" "$(printf '0x%x' $((base + 0x$offset - delta)))" 2>/dev/null | head -1 | grep -qx "$fn" && return 0
    done
  done
  return 1
}

# One fault: $1 platform (linux, win64, win32), $2 bin folder, $3 mode, $4 the
# fault's name, $5 the host's function, then the module, addr2line and base.
fault_case() {
  local plat=$1 bin=$2 mode=$3 name=$4 fn=$5 module=$6 a2l=$7 base=$8 dir plain got want frames
  dir=$(install_host "$plat-$mode" "$bin" 1)
  plain=$(install_host "$plat-$mode-off" "$bin" 0)
  got=$("run_${plat%%[0-9]*}" "$dir" "$mode")
  want=$("run_${plat%%[0-9]*}" "$plain" "$mode")
  qw_check "$plat $mode: ends as without the handler ($want)" [ -n "$got" ] && [ "$got" = "$want" ]
  if frames=$(python3 "$CHECK" entry "$(log_file "$dir")" "$name" 2>&1); then
    qw_say "PASS $plat $mode: the log ends with the crash entry, $name"
  else
    qw_say "FAIL $plat $mode: crash entry: $frames"
  fi
  qw_check "$plat $mode: a frame is in $fn" frame_in "$frames" "$module" "$fn" "$dir/$module" "$a2l" "$base"
  qw_check "$plat $mode: no crash entry with CRASH=0" python3 "$CHECK" none "$(log_file "$plain")"
}

# The host's handler before and after the library's, the crash inside WriteLog,
# the threads and the handler state.
host_cases() {
  local plat=$1 bin=$2 lib=$3 name=$4 run="run_${1%%[0-9]*}" dir plain got want frames msg
  dir=$(install_host "$plat-before" "$bin" 1)
  plain=$(install_host "$plat-before-off" "$bin" 0)
  got=$($run "$dir" before)
  want=$($run "$plain" before)
  qw_check "$plat before: the host's earlier handler runs after the entry, the end as without ($want)" \
    eval '[ "$got" = "$want" ] && grep -q "host handler before" "$dir/err" && python3 "$CHECK" entry "$(log_file "$dir")" "$name" >/dev/null'
  dir=$(install_host "$plat-after" "$bin" 1)
  got=$($run "$dir" after)
  qw_check "$plat after: the host's later handler is kept (exit 42, no entry)" \
    eval '[ "$got" = "exit 42" ] && grep -q "host handler after" "$dir/err" && python3 "$CHECK" none "$(log_file "$dir")"'
  dir=$(install_host "$plat-badfmt" "$bin" 1)
  got=$($run "$dir" badfmt)
  frames=$(python3 "$CHECK" entry "$(log_file "$dir")" "$name")
  qw_check "$plat badfmt: the crash inside WriteLog gives its entry, a frame in $lib ($got)" \
    eval '[ "$got" != "exit 0" ] && awk -v m="$lib" "\$1 == m" <<<"$frames" | grep -q .'
  dir=$(install_host "$plat-threads" "$bin" 1)
  got=$($run "$dir" threads)
  if msg=$(python3 "$CHECK" threads "$(log_file "$dir")" 2>&1); then
    qw_say "PASS $plat threads: $msg ($got)"
  else
    qw_say "FAIL $plat threads: $msg"
  fi
  dir=$(install_host "$plat-state" "$bin" 1)
  $run "$dir" state >/dev/null
  qw_check "$plat state: CRASH=1 installs, the last Release restores" eval '[ "$(tr -d "\r" <"$dir/out" | tr "\n" " ")" = "installed restored " ]'
  dir=$(install_host "$plat-state-off" "$bin" 0)
  $run "$dir" state >/dev/null
  qw_check "$plat state: CRASH=0 installs nothing" eval '[ "$(tr -d "\r" <"$dir/out" | tr "\n" " ")" = "unchanged restored " ]'
}

BIN=$QW_TOP/build/linux/bin
if [ -x "$BIN/qw_crashhost" ]; then
  while read -r mode name fn; do
    fault_case linux "$BIN" "$mode" "$name" "$fn" qw_crashhost addr2line 0
  done <<'EOF_CASES'
null SIGSEGV CrashByNullRead
rodata SIGSEGV CrashByReadOnlyWrite
abort SIGABRT CrashByAbort
div0 SIGFPE CrashByDivision
ill SIGILL CrashByIllegal
overflow SIGSEGV CrashByOverflow
EOF_CASES
  host_cases linux "$BIN" libquillwork.so SIGSEGV
  # qwlog reads the crash entry as one entry, its frame lines in its text.
  if [ -x "$BIN/qwlog" ]; then
    qw_check "linux: qwlog json gives the crash entry as an entry with its frames" eval \
      '"$BIN/qwlog" json "$(log_file "$work/linux-null")" | tail -1 | python3 -c "
import json, sys
r = json.loads(sys.stdin.read())
sys.exit(not (r[\"kind\"] == \"entry\" and r[\"text\"].startswith(\"CRASH SIGSEGV (11)\") and \"\\r\\n    #0 qw_crashhost+0x\" in r[\"text\"]))"'
  else
    echo "SKIP linux: qwlog not built"
  fi
else
  echo "SKIP linux: build/linux/bin/qw_crashhost not built"
fi

if command -v wine >/dev/null; then
  for arch in win64 win32; do
    BIN=$QW_TOP/build/$arch/bin
    [ -f "$BIN/qw_crashhost.exe" ] || { echo "SKIP $arch: qw_crashhost.exe not built"; continue; }
    if [ "$arch" = win64 ]; then tool=x86_64-w64-mingw32; else tool=i686-w64-mingw32; fi
    base=$((0x$($tool-objdump -p "$BIN/qw_crashhost.exe" | awk '$1 == "ImageBase" { print $2 }')))
    qw_wine_env "$arch"
    while read -r mode name fn; do
      fault_case "$arch" "$BIN" "$mode" "$name" "$fn" qw_crashhost.exe "$tool-addr2line" "$base"
    done <<'EOF_CASES'
null EXCEPTION_ACCESS_VIOLATION CrashByNullRead
rodata EXCEPTION_ACCESS_VIOLATION CrashByReadOnlyWrite
div0 EXCEPTION_INT_DIVIDE_BY_ZERO CrashByDivision
ill EXCEPTION_ILLEGAL_INSTRUCTION CrashByIllegal
overflow EXCEPTION_STACK_OVERFLOW CrashByOverflow
EOF_CASES
    host_cases "$arch" "$BIN" Quillwork.dll EXCEPTION_ACCESS_VIOLATION
    qw_check "$arch: a minidump beside the log" eval 'ls "$work/$arch-null"/Log/*/*_Crash.dmp >/dev/null 2>&1'
    qw_stop_wine
  done
else
  echo "SKIP wine: not installed"
fi
