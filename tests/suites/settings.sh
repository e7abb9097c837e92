#!/usr/bin/env bash
# Where a host's settings come from, through the shipped library and a real
# host (tests/folders/QwFolderHost.cpp), and `qwlog where` against the
# library's own choice in each row. Locations: QUILLWORK_INI (absolute, from
# the host's folder, naming nothing, unreadable), Quillwork.ini beside the host,
# /etc/quillwork/<host>.ini. Each location's file sends the logs to a folder of
# its own (DIR), so the folder the host's file lands in tells which file it
# read. A setuid-root copy run as nobody ignores the variable (root only).
# Under Wine x64: the unit suite's search table (the prefix's
# %ProgramData%\Quillwork) and the same rows for qwlog.exe where it is built.
set -u
source "$(dirname "$0")/../lib/common.sh"
work="$QW_TOP/build/settings-suite"
lbin="$QW_TOP/build/linux/bin"
rm -rf "$work" && mkdir -p "$work" && chmod 755 "$work"
host="qwset-$$-$RANDOM"   # a name of this run's own: /etc/quillwork is the real one
made_etc=0
[ -d /etc/quillwork ] || { mkdir -p /etc/quillwork 2>/dev/null && made_etc=1; }
cleanup() {
  rm -rf "/etc/quillwork/$host.ini"
  [ "$made_etc" = 0 ] || rmdir /etc/quillwork 2>/dev/null
  return 0
}
trap cleanup EXIT

# Puts at $1 what $2 says: ok (a file sending the logs to $3), unreadable (a
# folder at the name), or - (nothing).
place() {
  rm -rf "$1"
  case $2 in
    ok) mkdir -p "$(dirname "$1")" && printf '[LOG]\r\nDIR=%s\r\n' "$3" >"$1" ;;
    unreadable) mkdir -p "$1" ;;
  esac
}

# One row: variable (- abs rel missing unreadable), beside (- ok unreadable),
# system (- ok unreadable), and which file is in force (var beside system none
# default-var default-beside default-system: an unreadable one, defaults in force).
linux_row() {
  local var=$1 beside=$2 system=$3 expect=$4 dir="$work/row-$1-$2-$3"
  rm -rf "$dir" && mkdir -p "$dir" && cp "$lbin/qw_folderhost" "$dir/$host" &&
    cp -L "$lbin/libquillwork.so" "$dir/libquillwork.so"
  local varpath="" varvalue=""
  case $var in
    abs) varpath="$dir/chosen.ini"; varvalue=$varpath ;;
    rel) varpath="$dir/conf/chosen.ini"; varvalue="conf/chosen.ini" ;;
    missing) varvalue="$dir/nowhere.ini" ;;
    unreadable) varpath="$dir/chosen.ini"; varvalue=$varpath ;;
  esac
  [ -z "$varpath" ] || place "$varpath" "$([ "$var" = unreadable ] && echo unreadable || echo ok)" "$dir/logs-var"
  place "$dir/Quillwork.ini" "$beside" "$dir/logs-beside"
  place "/etc/quillwork/$host.ini" "$system" "$dir/logs-system"
  local ini root
  case $expect in
    var) ini=$varpath; root="$dir/logs-var" ;;
    beside) ini="$dir/Quillwork.ini"; root="$dir/logs-beside" ;;
    system) ini="/etc/quillwork/$host.ini"; root="$dir/logs-system" ;;
    none) ini="(none: the defaults are in force)"; root="$dir/Log" ;;
    default-var) ini=$varpath; root="$dir/Log" ;;
    default-beside) ini="$dir/Quillwork.ini"; root="$dir/Log" ;;
    default-system) ini="/etc/quillwork/$host.ini"; root="$dir/Log" ;;
  esac
  local env=(env -u QUILLWORK_INI)
  [ -z "$varvalue" ] || env=(env QUILLWORK_INI="$varvalue")
  local out; out=$(cd "$dir" && "${env[@]}" QUILLWORK_DEBUG=1 timeout 20 "./$host" 54657374 2>"$dir/trace" </dev/null)
  [ "$out" = "open 1" ] || { echo "  host: $out"; return 1; }
  local files; files=$(find "$dir" -name '*_Test.log' | wc -l)
  [ "$files" = 1 ] && [ -n "$(compgen -G "$root/*/*_Test.log")" ] ||
    { echo "  the log is not below $root: $(find "$dir" -name '*_Test.log')"; return 1; }
  if [[ $expect == default-* ]]; then
    grep -q "cannot read the settings file $ini (a folder, not a file); the defaults are in force" "$dir/trace" ||
      { echo "  no trace of the unreadable file: $(cat "$dir/trace")"; return 1; }
  fi
  if [ "$var" = missing ]; then
    grep -q "QUILLWORK_INI names $varvalue, which does not exist; looking further" "$dir/trace" ||
      { echo "  no trace of the missing file: $(cat "$dir/trace")"; return 1; }
  fi
  # qwlog where, for the same host with the same environment, names the same file and folder.
  local where; where=$(cd "$dir" && "${env[@]}" timeout 20 "$lbin/qwlog" where "$dir/$host" 2>&1)
  grep -qxF "settings file: $ini" <<<"$where" && grep -qxF "log folder: $root" <<<"$where" ||
    { echo "  qwlog where: $(tr '\n' '|' <<<"$where")"; return 1; }
}

linux_rows() {
  local rows=(
    "- - - none" "- ok - beside" "- - ok system" "- ok ok beside"
    "abs ok ok var" "rel ok - var" "missing ok ok beside" "missing - ok system"
    "unreadable ok ok default-var" "- unreadable ok default-beside" "- - unreadable default-system"
  )
  local row
  for row in "${rows[@]}"; do
    # shellcheck disable=SC2086
    qw_check "linux settings search: QUILLWORK_INI/beside/system = ${row% *} -> ${row##* }, qwlog where agrees" linux_row $row
  done
}

# A setuid-root copy run as nobody: QUILLWORK_INI is not read, the file beside it is.
linux_setuid() {
  local dir="$work/setuid"
  mkdir -p "$dir" && cp "$lbin/qw_folderhost" "$dir/$host" && cp -L "$lbin/libquillwork.so" "$dir/libquillwork.so"
  place "$dir/chosen.ini" ok "$dir/logs-var"
  place "$dir/Quillwork.ini" ok "$dir/logs-beside"
  chown root:root "$dir/$host" && chmod 4755 "$dir/$host" && chmod 755 "$dir"
  local out; out=$(cd / && setpriv --reuid=nobody --regid=nogroup --clear-groups env QUILLWORK_INI="$dir/chosen.ini" \
      timeout 20 "$dir/$host" 54657374 --secure 2>/dev/null </dev/null)
  grep -qx 'secure 1' <<<"$out" || { echo "  not privileged ($(tr '\n' ' ' <<<"$out")): nosuid mount?"; return 2; }
  grep -qx 'open 1' <<<"$out" || { echo "  $(tr '\n' ' ' <<<"$out")"; return 1; }
  [ -n "$(compgen -G "$dir/logs-beside/*/*_Test.log")" ] && [ ! -e "$dir/logs-var" ] ||
    { echo "  $(find "$dir" -name '*_Test.log')"; return 1; }
}

# ---- Wine x64 ----------------------------------------------------------------
wbin="$QW_TOP/build/win64/bin"

wine_unit() {
  local dir="$work/wine-unit"
  mkdir -p "$dir" && cp "$wbin/qw_unit.exe" "$dir/"
  (cd "$dir" && timeout 300 wine ./qw_unit.exe --gtest_filter='SettingsSearch*:WinProfile*:OpenFailure*' \
    >"$dir/out" 2>&1 </dev/null)
  grep -q '^\[  PASSED  \]' "$dir/out" && ! grep -q '^\[  FAILED  \]' "$dir/out" ||
    { grep -E 'Failure|FAILED|Which is' "$dir/out" | head -20; return 1; }
}

# The prefix's %ProgramData%\Quillwork, for the Wine rows of qwlog.exe where.
wine_system_folder() { echo "$WINEPREFIX/drive_c/ProgramData/Quillwork"; }

# One Wine row: qwlog.exe where against the host's own choice (variable unset).
wine_row() {
  local beside=$1 system=$2 expect=$3 dir="$work/wine-row-$1-$2" sys; sys=$(wine_system_folder)
  rm -rf "$dir" && mkdir -p "$dir" "$sys" && cp "$wbin/qw_folderhost.exe" "$dir/$host.exe" &&
    cp "$wbin/Quillwork.dll" "$wbin/qwlog.exe" "$dir/"
  place "$dir/Quillwork.ini" "$beside" 'logs-beside'
  place "$sys/$host.ini" "$system" 'logs-system'
  local out; out=$(cd "$dir" && timeout 120 wine "./$host.exe" 54657374 </dev/null 2>/dev/null | tr -d '\r')
  [ "$out" = "open 1" ] || { echo "  host: $out"; return 1; }
  local root=Log; [ "$expect" = none ] || root="logs-$expect"
  [ -n "$(compgen -G "$dir/$root/*/*_Test.log")" ] || { echo "  not below $root: $(find "$dir" -name '*_Test.log')"; return 1; }
  local where; where=$(cd "$dir" && timeout 120 wine ./qwlog.exe where "$host.exe" </dev/null 2>&1 | tr -d '\r')
  grep -q "^settings from: $([ "$expect" = none ] && echo none || echo "$expect" | sed 's/beside/beside the host/')\$" <<<"$where" &&
    grep -q "^log folder: .*\\\\$root\$" <<<"$where" || { echo "  qwlog where: $(tr '\n' '|' <<<"$where")"; return 1; }
  rm -rf "$sys/$host.ini"
}

if [ -x "$lbin/qw_folderhost" ] && [ -x "$lbin/qwlog" ]; then
  linux_rows
  if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
    linux_setuid; rc=$?
    case $rc in
      0) qw_say "PASS linux setuid host run as nobody: QUILLWORK_INI ignored, the file beside it read" ;;
      2) echo "SKIP linux setuid host: the copy did not run privileged (AT_SECURE 0)" ;;
      *) qw_say "FAIL linux setuid host run as nobody: QUILLWORK_INI ignored, the file beside it read" ;;
    esac
  else
    echo "SKIP linux setuid host: needs root and setpriv"
  fi
else
  qw_say "FAIL linux: qw_folderhost or qwlog not built in $lbin"
fi

if [ -f "$wbin/qw_unit.exe" ]; then
  qw_wine_env win64
  qw_check "win64 settings search table, the system reader's table and Open's traces (unit suite under Wine)" wine_unit
  if [ -f "$wbin/qwlog.exe" ] && [ -f "$wbin/qw_folderhost.exe" ]; then
    for row in "- - none" "ok - beside" "- ok system" "ok ok beside"; do
      # shellcheck disable=SC2086
      qw_check "win64 settings search: beside/system = ${row% *} -> ${row##* }, qwlog.exe where agrees" wine_row $row
    done
  else
    qw_not_built win64 "qwlog.exe or qw_folderhost.exe"
  fi
  qw_stop_wine
else
  qw_not_built win64 qw_unit.exe
fi
