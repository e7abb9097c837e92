#!/usr/bin/env bash
# Hostile surroundings of a real host on Linux: links and FIFOs planted at the
# names of the next seconds in a shared log folder (the link's target stays as
# it was, the host never blocks, Open fails), and a setuid-root copy of the host
# run as nobody with a hostile XDG_STATE_HOME and HOME: a privileged process
# reads no environment, so nothing is written where they point (root only).
set -u
source "$(dirname "$0")/../lib/common.sh"
work="$QW_TOP/build/links-setuid"
lbin="$QW_TOP/build/linux/bin"
rm -rf "$work" && mkdir -p "$work"

install_linux_host() {
  mkdir -p "$1" && cp "$lbin/qw_folderhost" "$lbin/libquillwork.so.1" "$1/" && ln -sf libquillwork.so.1 "$1/libquillwork.so"
}

# For each of the next seconds, a link to a file the host must not touch, a
# dangling link, or a FIFO stands at HHMMSS_Trap.log; the host runs in each.
planted_names() {
  local dir="$work/planted" day i t name rc=0
  install_linux_host "$dir"
  day="$dir/Log/$(date -u +%F)"; mkdir -p "$day"
  printf 'secret' >"$work/secret"; chmod 600 "$work/secret"
  local start; start=$(date -u +%s)
  for ((i = 1; i <= 12; i++)); do
    t=$((start + i)); name="$(date -u -d "@$t" +%H%M%S)_Trap.log"
    case $((i % 3)) in
      0) ln -s "$work/secret" "$day/$name" ;;
      1) ln -s "$work/made-by-host" "$day/$name" ;;
      2) mkfifo "$day/$name" ;;
    esac
  done
  # Midnight would change the day folder under the planted names: wait it out.
  [ "$(date -u -d "@$((start + 13))" +%F)" = "$(date -u -d "@$start" +%F)" ] || { sleep 14; planted_names; return; }
  local runs=0 opened=0
  while [ "$(date -u +%s)" -le "$start" ]; do sleep 0.05; done  # the first planted second
  while [ "$(date -u +%s)" -le $((start + 11)) ]; do
    local out; out=$(cd "$dir" && TZ=UTC timeout 10 ./qw_folderhost 54726170 2>&1 </dev/null); local code=$?
    [ $code = 124 ] && { echo "  the host blocked"; rc=1; }
    runs=$((runs + 1)); grep -q '^open 1' <<<"$out" && opened=$((opened + 1))
  done
  echo "FIGURE planted names: $runs host runs over 11 s, $opened opened a file"
  [ "$opened" = 0 ] || rc=1
  [ "$(cat "$work/secret")" = secret ] || { echo "  the link's target changed"; rc=1; }
  [ ! -e "$work/made-by-host" ] || { echo "  a file was made through a dangling link"; rc=1; }
  [ -z "$(find "$day" -type f)" ] || { echo "  a regular file was made: $(ls "$day")"; rc=1; }
  return $rc
}

setuid_host() {
  local dir="$work/suid/host" hostile="$work/suid/hostile" home="$work/suid/home" out="$work/suid.out" err="$work/suid.err"
  install_linux_host "$dir"
  mkdir -p "$hostile" "$home"; chmod 777 "$hostile" "$home"
  printf 'not a folder' >"$dir/Log"  # the log folder cannot be made beside the host
  chown root:root "$dir/qw_folderhost" && chmod 4755 "$dir/qw_folderhost"
  chmod 755 "$work" "$work/suid" "$dir"
  (cd / && setpriv --reuid=nobody --regid=nogroup --clear-groups env XDG_STATE_HOME="$hostile" HOME="$home" \
      QUILLWORK_DEBUG=1 "$dir/qw_folderhost" 5375 --secure >"$out" 2>"$err" </dev/null)
  grep -qx 'secure 1' "$out" || { echo "  not privileged ($(tr '\n' ' ' <"$out")): nosuid mount?"; return 2; }
  grep -qx 'open 0' "$out" || { echo "  $(tr '\n' ' ' <"$out")"; return 1; }
  [ -z "$(ls -A "$hostile" "$home" | grep -v ':$' | grep -v '^$')" ] || { echo "  written: $(find "$hostile" "$home")"; return 1; }
  [ ! -s "$err" ] || { echo "  reports on standard error: $(head -c 200 "$err")"; return 1; }
  [ "$(cat "$dir/Log")" = 'not a folder' ]
}

if [ -x "$lbin/qw_folderhost" ]; then
  qw_check "linux links and FIFOs at the next seconds' names: targets unchanged, no block, Open fails" planted_names
  if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
    setuid_host; rc=$?
    case $rc in
      0) qw_say "PASS linux setuid host run as nobody with hostile XDG_STATE_HOME, HOME, QUILLWORK_DEBUG: nothing written there" ;;
      2) echo "SKIP linux setuid host: the copy did not run privileged (AT_SECURE 0)" ;;
      *) qw_say "FAIL linux setuid host run as nobody with hostile XDG_STATE_HOME, HOME, QUILLWORK_DEBUG: nothing written there" ;;
    esac
  else
    echo "SKIP linux setuid host: needs root and setpriv"
  fi
else
  qw_say "FAIL linux: $lbin/qw_folderhost not built"
fi
