#!/usr/bin/env bash
# [LOG] SYNC=1 and ECHO=1 of Quillwork.ini, through the shipped library:
# - Linux, counted with strace: one fdatasync after each entry's and each dump's
#   write (a dump in parts: after the last), the folders fsynced after a new
#   file, none of it without the key; ECHO=1 writes each entry to standard error
#   once, as the file has it but in LF lines without the closing empty line
#   (control characters shown; under a pipe too), nothing without the key;
#   threads with both keys: every entry once, whole, in the file's order.
# - Wine x64 and x86, from the relay trace: FlushFileBuffers after each entry's
#   WriteFile, OutputDebugStringW with the text converted from code page 1252
#   and 932; the entries seen in the debugger channel.
# - A power cut on a loop device (as root): every entry whose call returned
#   before the cut is in the file with SYNC=1; without it the cut loses entries.
set -u
source "$(dirname "$0")/../lib/common.sh"
work=$QW_TOP/build/sync-echo
rm -rf "$work" && mkdir -p "$work"
BIN=$QW_TOP/build/linux/bin
BANNER_BYTES=14

# Makes a host folder: the host and the library of bin folder $2, Quillwork.ini
# holding $3 (printf format). Prints the folder.
install_host() {
  local dir=$work/$1 bin=$2 ini=$3
  mkdir -p "$dir"
  if [ -f "$bin/qw_synchost.exe" ]; then
    cp "$bin/qw_synchost.exe" "$bin/Quillwork.dll" "$dir/"
  else
    cp "$bin/qw_synchost" "$dir/" && cp -L "$bin/libquillwork.so" "$dir/"
  fi
  printf "$ini" >"$dir/Quillwork.ini"
  echo "$dir"
}

# The one log file below a host folder.
log_file() { ls "$1"/Log/*/*_Sync.log 2>/dev/null | head -1; }

# Runs the Linux host under strace in folder $1 with the rest as its arguments;
# its standard error goes to $1/err.
traced() {
  local dir=$1; shift
  (cd "$dir" && strace -f -e trace=openat,write,fdatasync,fsync,close -o trace ./qw_synchost "$@" >out 2>err </dev/null)
}

# What happened to the log file's descriptor, in order: W a write, S an fdatasync.
log_ops() {
  awk '
    /openat\(.*_Sync\.log", .*O_APPEND/ { fd = $NF; next }
    fd != "" && $0 ~ ("^[0-9]+ +write\\(" fd ",") { printf "W" }
    fd != "" && $0 ~ ("^[0-9]+ +fdatasync\\(" fd "\\)") { printf "S" }
    fd != "" && $0 ~ ("^[0-9]+ +close\\(" fd "\\)") { fd = "" }
  ' "$1"
}

# The folders fsynced after the log file was opened, one a line.
synced_folders() {
  awk '
    /openat\(.*_Sync\.log", .*O_APPEND/ { opened = 1; next }
    opened && /O_DIRECTORY/ { match($0, /"[^"]*"/); path[$NF] = substr($0, RSTART + 1, RLENGTH - 2) }
    opened && /^[0-9]+ +fsync\(/ { match($0, /fsync\([0-9]+/); print path[substr($0, RSTART + 6, RLENGTH - 6)] }
  ' "$1"
}

repeat() { local s=$1 n=$2 out=""; for ((i = 0; i < n; i++)); do out+=$s; done; echo "$out"; }

# Standard error's writes, counted from the strace record.
stderr_writes() { grep -c '^[0-9]* *write(2,' "$1"; }

linux_sync() {
  local dir ops
  dir=$(install_host linux-sync "$BIN" '[LOG]\nSYNC=1\n')
  traced "$dir" entries 40 10
  ops=$(log_ops "$dir/trace")
  echo "FIGURE linux SYNC=1, 40 entries and 10 dumps: log descriptor $ops"
  qw_check "linux SYNC=1: one fdatasync after the banner's, each entry's and each dump's write" \
    [ "$ops" = "$(repeat WS 51)" ]
  local day; day=$(dirname "$(log_file "$dir")")
  qw_check "linux SYNC=1: the day folder, the log folder and the host folder fsynced after the new file" \
    [ "$(synced_folders "$dir/trace" | tr '\n' '|')" = "$day|$dir/Log|$dir|" ]

  dir=$(install_host linux-sync-parts "$BIN" '[LOG]\nSYNC=1\n')
  traced "$dir" dump 1000000
  ops=$(log_ops "$dir/trace")
  echo "FIGURE linux SYNC=1, a dump of 1,000,000 bytes: log descriptor $ops"
  qw_check "linux SYNC=1: a dump in parts is synced once, after its last part" \
    grep -Eq '^WSW{2,}S$' <<<"$ops"

  dir=$(install_host linux-nosync "$BIN" '[LOG]\nDIR=Log\n')
  traced "$dir" entries 40 10
  ops=$(log_ops "$dir/trace")
  qw_check "linux without SYNC: one write per entry, no fdatasync or fsync anywhere" \
    unsynced "$ops" "$dir/trace"
}

unsynced() { [ "$1" = "$(repeat W 51)" ] && ! grep -Eq '^[0-9]+ +f(data)?sync\(' "$2"; }

linux_echo() {
  local dir file
  dir=$(install_host linux-echo "$BIN" '[LOG]\nECHO=1\n')
  traced "$dir" entries 40 10
  file=$(log_file "$dir")
  echo "FIGURE linux ECHO=1, 40 entries and 10 dumps: $(stderr_writes "$dir/trace") writes to standard error"
  qw_check "linux ECHO=1: one write to standard error per entry and dump" [ "$(stderr_writes "$dir/trace")" = 50 ]
  qw_check "linux ECHO=1: standard error holds the file's entries as LF lines, no empty line, in its order" \
    cmp -s <(as_lines "$file") "$dir/err"

  # Under a pipe, as a service's journal reads it: every line an entry's or a
  # dump's line, each ending in LF, no CR, no empty line.
  dir=$(install_host linux-echo-pipe "$BIN" '[LOG]\nECHO=1\n')
  (cd "$dir" && ./qw_synchost entries 40 10 2>&1 >out </dev/null | cat >piped)
  qw_check "linux ECHO=1 under a pipe: one LF line per entry line, no CR, no empty line, as the file holds them" \
    echo_lines_piped "$dir"

  # ESC [31m and BEL in a message: raw in the file, shown on the channel.
  dir=$(install_host linux-echo-controls "$BIN" '[LOG]\nECHO=1\n')
  traced "$dir" entries 5 0 1B5B33316D07
  qw_check "linux ECHO=1: control characters shown on standard error (^[ ^G), kept raw in the file" \
    controls_shown "$dir/err" "$(log_file "$dir")"

  # A host that closed its standard error: its log is descriptor 2, and the
  # echo must not write into it.
  dir=$(install_host linux-echo-closed "$BIN" '[LOG]\nECHO=1\n')
  (cd "$dir" && ./qw_synchost entries 5 1 >out 2>&- </dev/null)
  qw_check "linux ECHO=1 with standard error closed: the log (descriptor 2) holds each entry once" \
    [ "$(grep -c 'entry [0-9] ' "$(log_file "$dir")")" = 5 ]

  dir=$(install_host linux-noecho "$BIN" '[CONSOLE]\nOPEN=0\n')
  traced "$dir" entries 40 10
  qw_check "linux without ECHO: nothing on standard error" silent "$dir"
}

# The entries of log file $1 (banner left out) as the echo gives them: CR LF as
# LF, the empty line that closes each entry left out.
as_lines() { tail -c +$((BANNER_BYTES + 1)) "$1" | sed -e 's/\r$//' -e '/^$/d'; }

# The piped echo of host folder $1: LF lines only, 40 entries, 10 dumps' lines.
echo_lines_piped() {
  local piped=$1/piped
  [ -s "$piped" ] && ! grep -q $'\r' "$piped" && ! grep -qx '' "$piped" || { echo "  CR or empty line: $(head -c 300 "$piped" | od -c | head -5)"; return 1; }
  [ "$(tail -c 1 "$piped" | od -An -c | tr -d ' ')" = '\n' ] || { echo "  no LF at the end"; return 1; }
  cmp -s <(as_lines "$(log_file "$1")") "$piped" || { echo "  differs from the file's lines"; return 1; }
}

# Five entries with ESC [31m BEL: shown as ^[[31m^G on the channel, raw in the file.
controls_shown() {
  [ "$(grep -c 'entry [0-9] ^\[\[31m^G' "$1")" = 5 ] && ! grep -q $'\x1b' "$1" &&
    [ "$(grep -c $'\x1b\\[31m\x07' "$2")" = 5 ]
}

silent() { [ ! -s "$1/err" ] && [ "$(stderr_writes "$1/trace")" = 0 ]; }

# Every thread's entries in the file once, numbered 0..n-1 in order.
threads_in_order() {
  local file=$1 threads=$2 each=$3 t
  for ((t = 0; t < threads; t++)); do
    tr -d '\r' <"$file" | awk -v t="$t" -v n="$each" '
      $0 ~ ("^[0-9-]+ [0-9:]+  t" t " n[0-9]+$") { split($NF, a, "n"); if (a[2] != next_n) exit 1; next_n++ }
      END { exit next_n != n }' || return 1
  done
}

linux_threads() {
  local dir file
  dir=$(install_host linux-threads "$BIN" '[LOG]\nSYNC=1\nECHO=1\n')
  (cd "$dir" && ./qw_synchost threads 4 500 >out 2>err </dev/null)
  file=$(log_file "$dir")
  qw_check "linux threads, both keys: every entry once, whole and in order in the file" threads_in_order "$file" 4 500
  qw_check "linux threads, both keys: standard error is the file's entries in the file's order" \
    cmp -s <(as_lines "$file") "$dir/err"
}

# ---- Wine ---------------------------------------------------------------------

# The library's calls in a relay trace, in order: W WriteFile, S FlushFileBuffers,
# E OutputDebugStringW. Only the calls of the thread that opened the log file:
# Wine's own services, started with the same WINEDEBUG, are traced as well.
relay_ops() {
  local tid
  tid=$(grep -a -m1 'Call KERNEL32\.CreateFileW(.*_Sync\.log' "$1" | cut -d: -f1)
  grep -a -E "^$tid:Call KERNEL32\.(WriteFile|FlushFileBuffers|OutputDebugStringW)\(" "$1" |
    sed -E 's/.*KERNEL32\.WriteFile.*/W/; s/.*KERNEL32\.FlushFileBuffers.*/S/; s/.*KERNEL32\.OutputDebugStringW.*/E/' | tr -d '\n'
}

# Runs the Windows host in folder $1 under Wine, WINEDEBUG=$2, the rest its arguments.
wine_host() {
  local dir=$1 debug=$2; shift 2
  (cd "$dir" && WINEDEBUG=$debug timeout 300 wine ./qw_synchost.exe "$@" >out 2>err </dev/null)
}

# Code page 1252: "Grüße €5" and ESC; code page 932: 日本語 and 表示 (0x5C as a second byte).
TEXT_1252=4772FCDF652080351B
WIDE_1252='Gr\\00fc\\00dfe \\20ac5\^\['
SEEN_1252='Gr\\xfc\\xdfe \\x805\^\['
TEXT_932=93FA967B8CEA955C8EA6
WIDE_932='\\65e5\\672c\\8a9e\\8868\\793a'

wine_cases() {
  local arch=$1 bin=$QW_TOP/build/$1/bin dir ops
  dir=$(install_host "$arch-both" "$bin" '[LOG]\r\nSYNC=1\r\nECHO=1\r\n')
  wine_host "$dir" +relay entries 20 5 "$TEXT_1252"
  ops=$(relay_ops "$dir/err")
  echo "FIGURE $arch SYNC=1 ECHO=1, 20 entries and 5 dumps: WriteFile/FlushFileBuffers/OutputDebugStringW $ops"
  qw_check "$arch SYNC=1 ECHO=1: FlushFileBuffers after each write (banner, folders, entries, dumps), then the echo" \
    [ "$ops" = "WSSSS$(repeat WSE 25)" ]
  qw_check "$arch ECHO=1, code page 1252: OutputDebugStringW receives the UTF-16 text, ESC shown" \
    [ "$(grep -a 'Call KERNEL32.OutputDebugStringW' "$dir/err" | grep -c "entry [0-9]* $WIDE_1252")" = 20 ]

  dir=$(install_host "$arch-debugstr" "$bin" '[LOG]\r\nECHO=1\r\n')
  wine_host "$dir" +debugstr,warn+seh entries 20 5 "$TEXT_1252"
  qw_check "$arch ECHO=1: each entry and dump once in the debugger channel, code page 1252 text as itself" \
    debugger_saw "$dir/err"

  dir=$(install_host "$arch-none" "$bin" '[LOG]\r\nDIR=Log\r\n')
  wine_host "$dir" +relay entries 20 5 "$TEXT_1252"
  ops=$(relay_ops "$dir/err")
  qw_check "$arch without the keys: one WriteFile per entry, no FlushFileBuffers, no OutputDebugStringW" \
    [ "$ops" = "$(repeat W 26)" ]
}

# Twenty entries and five dumps in Wine's record of the debugger channel.
debugger_saw() {
  [ "$(grep -a -c "OutputDebugStringA \"[0-9-]* [0-9:]*  entry [0-9]* $SEEN_1252\\\\r\\\\n\\\\r\\\\n\"" "$1")" = 20 ] &&
    [ "$(grep -a -c "OutputDebugStringA \"[0-9-]* [0-9:]* [<-]-[->] 00000000h: 00 01 02" "$1")" = 5 ]
}

wine_932() {
  local arch=$1 bin=$QW_TOP/build/$1/bin dir
  dir=$(install_host "$arch-932" "$bin" '[LOG]\r\nECHO=1\r\n')
  LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 wine_host "$dir" +relay entries 3 0 "$TEXT_932"
  qw_check "$arch ECHO=1, code page 932: OutputDebugStringW receives 日本語表示" \
    [ "$(grep -a 'Call KERNEL32.OutputDebugStringW' "$dir/err" | grep -c "entry [0-9] $WIDE_932")" = 3 ]
}

# ---- a power cut --------------------------------------------------------------

# A host writing entries to an ext4 file system on a loop device (journal commits
# only every 60 s, so nothing reaches the device unless synced) is stopped; the
# device's image is copied at that moment, as a power cut would leave it. Then the
# copy is mounted (the journal replayed) and read. Prints "<returned> <in file>".
cut_run() {
  local label=$1 ini=$2 dir=$work/cut-$1 loop
  mkdir -p "$dir/mnt" "$dir/after"
  truncate -s 64M "$dir/disk.img" && mkfs.ext4 -q -F "$dir/disk.img" || return 1
  loop=$(losetup -f --show "$dir/disk.img") || return 1
  mount -o commit=60 "$loop" "$dir/mnt" || return 1
  mkdir -p "$dir/mnt/host" && cp "$BIN/qw_synchost" "$dir/mnt/host/" && cp -L "$BIN/libquillwork.so" "$dir/mnt/host/"
  printf "$ini" >"$dir/mnt/host/Quillwork.ini"
  sync -f "$dir/mnt/host/Quillwork.ini"  # the host and its library are on the device before the run
  (cd "$dir/mnt/host" && exec ./qw_synchost progress 100000000 >"$dir/progress" 2>/dev/null </dev/null) &
  local pid=$!
  sleep 3
  kill -STOP "$pid"
  local returned; returned=$(wc -l <"$dir/progress")
  cp --sparse=always "$dir/disk.img" "$dir/cut.img"
  kill -KILL "$pid"; kill -CONT "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  umount "$dir/mnt"; losetup -d "$loop"; loop=
  loop=$(losetup -f --show "$dir/cut.img") || return 1
  mount "$loop" "$dir/after" || return 1
  local file; file=$(ls "$dir"/after/host/Log/*/*_Sync.log 2>/dev/null | head -1)
  local kept=0
  [ -n "$file" ] && kept=$(tr -d '\r' <"$file" | awk -v n="$returned" '
      /entry [0-9]+ of a run that is cut$/ { i = $(NF - 6) + 0; if (i < n) seen[i] = 1 }
      END { c = 0; for (i = 0; i < n; i++) if (i in seen) c++; print c }')
  umount "$dir/after"; losetup -d "$loop"; loop=
  echo "$returned $kept"
}

all_kept() { [ "$1" -gt 0 ] && [ "$2" = "$1" ]; }

# Unmounts and detaches whatever the cuts left, found by their folders and images: a
# cut_run that failed half-way ran in a command substitution, so its variables are gone.
cleanup_cut() {
  local m img
  for m in "$work"/cut-*/mnt "$work"/cut-*/after; do mountpoint -q "$m" 2>/dev/null && umount "$m"; done
  for img in "$work"/cut-*/*.img; do
    [ -e "$img" ] || continue
    losetup -n -O NAME -j "$img" 2>/dev/null | xargs -r -n1 losetup -d 2>/dev/null
  done
  rm -f "$work"/cut-*/*.img
}

power_cut() {
  if [ "$(id -u)" != 0 ] || ! command -v losetup >/dev/null || ! command -v mkfs.ext4 >/dev/null ||
     ! losetup -f >/dev/null 2>&1; then
    echo "SKIP power cut: needs root, losetup, mkfs.ext4 and a free loop device"
    return
  fi
  trap cleanup_cut EXIT
  local synced plain
  synced=$(cut_run sync '[LOG]\nSYNC=1\n') || { qw_say "FAIL power cut: the loop device could not be set up"; cleanup_cut; return; }
  plain=$(cut_run plain '[CONSOLE]\nOPEN=0\n') || { qw_say "FAIL power cut: the loop device could not be set up"; cleanup_cut; return; }
  cleanup_cut
  set -- $synced $plain
  echo "FIGURE power cut with SYNC=1: $2 of the $1 entries whose call returned before the cut are in the file"
  echo "FIGURE power cut without SYNC: $4 of $3"
  if [ "$4" -ge "$3" ]; then
    echo "SKIP power cut: without SYNC nothing was lost either, so this cut does not show what SYNC adds"
  fi
  qw_check "power cut with SYNC=1: every entry whose call returned is in the file" all_kept "$1" "$2"
}

if command -v strace >/dev/null && [ -x "$BIN/qw_synchost" ]; then
  linux_sync
  linux_echo
else
  qw_say "FAIL linux: strace or qw_synchost missing"
fi
[ -x "$BIN/qw_synchost" ] && linux_threads
if command -v wine >/dev/null; then
  for arch in win64 win32; do
    [ -f "$QW_TOP/build/$arch/bin/qw_synchost.exe" ] || { qw_not_built "$arch" qw_synchost.exe; continue; }
    qw_wine_env "$arch"
    wine_cases "$arch"
    if locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
      wine_932 "$arch"
    else
      echo "SKIP $arch code page 932: no ja_JP.UTF-8 locale (the rel-input suite makes it, as root)"
    fi
    qw_stop_wine
  done
else
  echo "SKIP wine: not installed"
fi
[ -x "$BIN/qw_synchost" ] && power_cut
exit 0
