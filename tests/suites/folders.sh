#!/usr/bin/env bash
# Host folders and retention through the shipped library and a real host
# (tests/folders/QwFolderHost.cpp), on Linux and under Wine x64 and x86:
# Unicode and deep host folders, Quillwork.ini read from them, an existing LOG
# folder, a read-only host folder (private mount namespace) that sends the files
# to the per-user folder, descriptor exhaustion, a name in code page 932, and
# KEEPDAYS under a frozen clock with 45 day folders and two processes at once.
# Entries are compared with tests/folders/expected.log, stamps masked.
set -u
source "$(dirname "$0")/../lib/common.sh"
work="$QW_TOP/build/folders"
golden="$QW_TOP/tests/folders/expected.log"
faketime_lib=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1
rm -rf "$work" && mkdir -p "$work"

# The bytes of a log file with every stamp masked.
masked() { sed -E 's/[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}/YYYY-MM-DD hh:mm:ss/g' "$1"; }

# TRUE when exactly one file matches the pattern (day folder and name) and holds
# the golden entries (n times when given).
one_golden_file() {
  local pattern=$1 times=${2:-1} files
  files=$(compgen -G "$pattern" | wc -l)
  [ "$files" = 1 ] || { echo "  $files files match $pattern"; return 1; }
  local f; f=$(compgen -G "$pattern")
  cmp -s <(masked "$f") <(for ((i = 0; i < times; i++)); do cat "$golden"; done) || { echo "  bytes differ: $f"; return 1; }
}

# Copies the host and the library of a target into a folder: dir, bin folder, exe, library.
install_host() {
  mkdir -p "$1" && cp "$2/$3" "$2/$4" "$1/"
}

# A folder below base whose path is at least n bytes, made of 200-byte names.
deep_folder() {
  local dir=$1 n=$2
  while [ ${#dir} -lt "$n" ]; do
    local left=$((n - ${#dir} - 1)); [ $left -gt 200 ] && left=200; [ $left -lt 1 ] && left=1
    dir="$dir/$(printf 'd%.0s' $(seq 1 $left))"
  done
  echo "$dir"
}

# ---- Linux -------------------------------------------------------------------
lbin=$QW_TOP/build/linux/bin
linux_deep() {
  local n=$1 dir cwd
  dir=$(deep_folder "$work/linux-deep-$n" $((n - 14)))
  cwd="$work/linux-deep-$n-cwd"; mkdir -p "$cwd"
  install_host "$dir" "$lbin" qw_folderhost libquillwork.so.1 && ln -sf libquillwork.so.1 "$dir/libquillwork.so"
  printf '[CONSOLE]\nOPEN=0\n[LOG]\nDIR=deep-logs\n' >"$dir/Quillwork.ini"
  echo "FIGURE linux deep: executable path of $((${#dir} + 14)) bytes"
  (cd "$cwd" && "$dir/qw_folderhost" 44656570 >"$cwd/../deep-$n.out" 2>&1 </dev/null) &&
    one_golden_file "$dir/deep-logs/*/[0-9][0-9][0-9][0-9][0-9][0-9]_Deep.log" &&
    [ -z "$(ls -A "$cwd")" ]
}

linux_read_only() {
  local dir="$work/linux-ro/host" state="$work/linux-ro/state" out="$work/linux-ro.err"
  install_host "$dir" "$lbin" qw_folderhost libquillwork.so.1 && ln -sf libquillwork.so.1 "$dir/libquillwork.so"
  unshare -m --propagation private bash -c "mount --bind '$dir' '$dir' && mount -o remount,bind,ro '$dir' &&
      cd / && QUILLWORK_DEBUG=1 XDG_STATE_HOME='$state' '$dir/qw_folderhost' 526F" >/dev/null 2>"$out" </dev/null &&
    one_golden_file "$state/quillwork/qw_folderhost/Log/*/[0-9][0-9][0-9][0-9][0-9][0-9]_Ro.log" &&
    grep -q "cannot make the log folder $dir/Log (Read-only file system); logs go to the per-user folder $state/quillwork/qw_folderhost/Log/" "$out" && [ ! -e "$dir/Log" ]
}

linux_exhausted() {
  local dir="$work/linux-fd" out="$work/linux-fd.out"
  install_host "$dir" "$lbin" qw_folderhost libquillwork.so.1 && ln -sf libquillwork.so.1 "$dir/libquillwork.so"
  mkdir -p "$dir/Log"  # an existing log folder: a failed search must not count as "not found"
  (ulimit -n 64 && cd "$dir" && ./qw_folderhost 4578 --exhaust >"$out" 2>&1 </dev/null) &&
    grep -q '^descriptors taken [1-9]' "$out" && sed -n 's/^descriptors/FIGURE linux exhausted: descriptors/p' "$out" &&
    one_golden_file "$dir/Log/*/[0-9][0-9][0-9][0-9][0-9][0-9]_Ex.log" &&
    [ -z "$(find "$dir/Log" -maxdepth 1 -type f)" ]
}

# 45 day folders up to 2024-05-01 in log folder $1, with the library's files
# written on their day, a stranger's file, a file written now, a link outside.
prepare_days() {
  local log=$1 i day base
  base=$(date -u -d "2024-05-01 12:00" +%s)
  mkdir -p "$log" "$work/outside"
  for ((i = 0; i < 45; i++)); do
    day=$(date -u -d "@$((base - i * 86400))" +%F)
    mkdir -p "$log/$day"
    printf 'old' >"$log/$day/090000.log"; printf 'old' >"$log/$day/101010_Trace.txt"
    touch -d "$day 12:00" "$log/$day/090000.log" "$log/$day/101010_Trace.txt"
  done
  printf 'mine' >"$log/2024-04-01/notes.txt"; touch -d "2024-04-01 12:00" "$log/2024-04-01/notes.txt"
  printf 'live' >"$log/2024-04-02/235959_Live.log"
  printf 'outside' >"$work/outside/090000.log"; touch -d "2024-01-01 12:00" "$work/outside/090000.log"
  ln -sfn "$work/outside" "$log/2024-03-01"
}

# The names in log folder $1, one line.
days_left() { (cd "$1" && ls | tr '\n' ' '); }

linux_keep_days() {
  local dir="$work/linux-keep" want
  install_host "$dir" "$lbin" qw_folderhost libquillwork.so.1 && ln -sf libquillwork.so.1 "$dir/libquillwork.so"
  printf '[LOG]\nKEEPDAYS=7\n' >"$dir/Quillwork.ini"
  prepare_days "$dir/Log"
  (cd "$dir" && LD_PRELOAD="$faketime_lib" FAKETIME="2024-05-01 09:03:07" NO_FAKE_STAT=1 TZ=UTC \
      ./qw_folderhost 4B656570 >"$work/linux-keep.out" 2>&1 </dev/null) || return 1
  want="2024-03-01 2024-04-01 2024-04-02 2024-04-25 2024-04-26 2024-04-27 2024-04-28 2024-04-29 2024-04-30 2024-05-01 "
  [ "$(days_left "$dir/Log")" = "$want" ] || { echo "  left: $(days_left "$dir/Log")"; return 1; }
  [ "$(ls "$dir/Log/2024-04-01")" = notes.txt ] && [ "$(ls "$dir/Log/2024-04-02")" = 235959_Live.log ] &&
    [ "$(cat "$work/outside/090000.log")" = outside ] &&
    one_golden_file "$dir/Log/2024-05-01/090307_Keep.log"
}

linux_two_at_once() {
  local dir="$work/linux-two" round rc=0 want
  install_host "$dir" "$lbin" qw_folderhost libquillwork.so.1 && ln -sf libquillwork.so.1 "$dir/libquillwork.so"
  printf '[LOG]\nKEEPDAYS=7\n' >"$dir/Quillwork.ini"
  prepare_days "$dir/Log"
  for round in 1 2 3 4 5; do
    local pids=()
    for p in 5031 5032; do  # P1, P2
      (cd "$dir" && LD_PRELOAD="$faketime_lib" FAKETIME="2024-05-01 09:03:07" NO_FAKE_STAT=1 TZ=UTC \
          ./qw_folderhost $p >"$work/linux-two-$round-$p.out" 2>&1 </dev/null) &
      pids+=($!)
    done
    wait "${pids[0]}" || rc=1; wait "${pids[1]}" || rc=1
    [ "$round" = 1 ] && prepare_days "$dir/Log"  # old folders again for the next rounds
  done
  [ $rc = 0 ] || { echo "  a process failed"; return 1; }
  want="2024-03-01 2024-04-01 2024-04-02 2024-04-25 2024-04-26 2024-04-27 2024-04-28 2024-04-29 2024-04-30 2024-05-01 "
  [ "$(days_left "$dir/Log")" = "$want" ] || { echo "  left: $(days_left "$dir/Log")"; return 1; }
  [ "$(ls "$dir/Log/2024-04-01")" = notes.txt ] && [ "$(ls "$dir/Log/2024-04-02")" = 235959_Live.log ] &&
    one_golden_file "$dir/Log/2024-05-01/090307_P1.log" 5 && one_golden_file "$dir/Log/2024-05-01/090307_P2.log" 5
}

if [ -x "$lbin/qw_folderhost" ]; then
  qw_check "linux host path of 300 bytes: logs and Quillwork.ini beside it, nothing in the working folder" linux_deep 300
  qw_check "linux host path of 4000 bytes: logs and Quillwork.ini beside it, nothing in the working folder" linux_deep 4000
  if [ "$(id -u)" = 0 ] && unshare -m --propagation private true 2>/dev/null; then
    qw_check "linux read-only host folder: the file in the per-user folder, the trace names it" linux_read_only
  else
    echo "SKIP linux read-only host folder: no private mount namespace (needs root)"
  fi
  qw_check "linux object made with no free descriptor: its file lands in a day folder" linux_exhausted
  if [ -f "$faketime_lib" ]; then
    qw_check "linux KEEPDAYS=7 of 45 day folders, frozen clock: strangers, live files and links stay" linux_keep_days
    qw_check "linux two processes constructing at once with KEEPDAYS, 5 rounds" linux_two_at_once
  else
    echo "SKIP linux retention: libfaketime missing"
  fi
else
  qw_say "FAIL linux: $lbin/qw_folderhost not built"
fi

# ---- Wine --------------------------------------------------------------------
# Runs the host in folder $2 under Wine with the name hex $3: arch $1; more env before.
wine_host() {
  local dir=$1; shift
  (cd "$dir" && timeout 120 wine ./qw_folderhost.exe "$@" </dev/null)
}

# A host in a folder of a given name: the name table, the golden bytes, and
# Quillwork.ini read from there (its DIR moves the next file).
wine_named_folder() {
  local arch=$1 name=$2 dir
  dir="$work/$arch/$name"
  install_host "$dir" "$QW_TOP/build/$arch/bin" qw_folderhost.exe Quillwork.dll
  wine_host "$dir" 54726163652E747874 >"$work/$arch-named.out" 2>&1 || return 1  # Trace.txt
  one_golden_file "$dir/Log/*/[0-9][0-9][0-9][0-9][0-9][0-9]_Trace.txt" || return 1
  printf '[CONSOLE]\r\nOPEN=1\r\n[LOG]\r\nDIR=logs-here\r\n' >"$dir/Quillwork.ini"
  wine_host "$dir" 496E69 >>"$work/$arch-named.out" 2>&1 || return 1  # Ini
  one_golden_file "$dir/logs-here/*/[0-9][0-9][0-9][0-9][0-9][0-9]_Ini.log"
}

wine_log_upper() {
  local arch=$1 dir="$work/$1/upper"
  install_host "$dir" "$QW_TOP/build/$arch/bin" qw_folderhost.exe Quillwork.dll && mkdir -p "$dir/LOG"
  wine_host "$dir" - >/dev/null 2>&1 &&
    one_golden_file "$dir/LOG/*/[0-9][0-9][0-9][0-9][0-9][0-9].log" && [ ! -e "$dir/Log" ]
}

wine_read_only() {
  local arch=$1 dir="$work/$1/ro-host" err="$work/$1-ro.err"
  install_host "$dir" "$QW_TOP/build/$arch/bin" qw_folderhost.exe Quillwork.dll
  rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Local/Quillwork/qw_folderhost
  # Wine makes folders in its server: one started inside the namespace sees the mount.
  qw_stop_wine
  unshare -m --propagation private bash -c "mount --bind '$dir' '$dir' && mount -o remount,bind,ro '$dir' &&
      cd '$dir' && WINEDEBUG=+debugstr timeout 120 wine ./qw_folderhost.exe 526F" >/dev/null 2>"$err" </dev/null ||
    return 1
  one_golden_file "$WINEPREFIX/drive_c/users/*/AppData/Local/Quillwork/qw_folderhost/Log/*/[0-9][0-9][0-9][0-9][0-9][0-9]_Ro.log" &&
    grep -q '); logs go to the per-user folder C:\\\\users\\\\[^\\]*\\\\AppData\\\\Local\\\\Quillwork\\\\qw_folderhost\\\\Log\\\\' "$err" &&
    [ ! -e "$dir/Log" ]
}

wine_cp932() {
  local dir="$work/win64-cp932/Журнал_日本語_😀"
  install_host "$dir" "$QW_TOP/build/win64/bin" qw_folderhost.exe Quillwork.dll
  # 0x95 0x5C is one kanji whose second byte is the backslash: a name, not a path.
  LANG=ja_JP.UTF-8 wine_host "$dir" 955C >/dev/null 2>&1 &&
    LANG=ja_JP.UTF-8 wine_host "$dir" 955C782E747874 >/dev/null 2>&1 &&
    one_golden_file "$dir/Log/*/[0-9][0-9][0-9][0-9][0-9][0-9]_表.log" &&
    one_golden_file "$dir/Log/*/[0-9][0-9][0-9][0-9][0-9][0-9]_表x.txt"
}

for arch in win64 win32; do
  if [ ! -f "$QW_TOP/build/$arch/bin/qw_folderhost.exe" ]; then qw_not_built "$arch" qw_folderhost.exe; continue; fi
  qw_wine_env "$arch"
  # (Wine starts no program from a folder past 260 characters: the unit suite covers
  # such host folders on Windows through the host path seam.)
  for name in "Журнал" "日本語" "😀" "Журнал_日本語_😀/Ordner-ünïcode"; do
    qw_check "$arch host in $name: name table, bytes, Quillwork.ini" \
      wine_named_folder "$arch" "$name"
  done
  qw_check "$arch existing LOG folder is the log folder" wine_log_upper "$arch"
  if [ "$(id -u)" = 0 ] && unshare -m --propagation private true 2>/dev/null; then
    qw_check "$arch read-only host folder: the file in %LOCALAPPDATA%, the trace names it" wine_read_only "$arch"
    qw_wine_env "$arch"
  else
    echo "SKIP $arch read-only host folder: no private mount namespace (needs root)"
  fi
  qw_stop_wine
done
if locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' && [ -f "$QW_TOP/build/win64/bin/qw_folderhost.exe" ]; then
  qw_wine_env win64
  qw_check "win64 code page 932: a kanji with a 0x5C second byte names the file, in a Unicode folder" wine_cp932
  qw_stop_wine
else
  echo "SKIP win64 code page 932: no ja_JP.UTF-8 locale (the rel-input suite makes it, as root)"
fi
