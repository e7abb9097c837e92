#!/usr/bin/env bash
# Hostile hosts and shared folders (Linux, as root): a thread cancelled inside
# a call and inside a roll-over, an echo whose reader has gone, a file system
# that refuses locks (a seccomp filter), fork while another thread writes,
# links and another user's files planted in a 1777 log folder, readers that
# lock an old log. Each case runs in a child process with a time bound.
source "$(dirname "$0")/../lib/common.sh"
source "$QW_TOP/tests/lib/reliability.sh"
qw_rel_linux hostile-linux linux --gtest_filter='HostileTest.*'

# A link another user planted at today's day folder of a shared (1777) log
# folder, met by a real host: the shared library on Linux, the DLL under Wine
# x64 (the link a Unix one). Open fails, nothing is written where it points.
work="$QW_TOP/build/rel-hostile"
rm -rf "$work" && mkdir -p "$work" && chmod 755 "$work"
link_case() {
  local how=$1 dir="$work/$1" out
  mkdir -p "$dir/Log" "$dir/outside" && chmod 755 "$dir" && chmod 1777 "$dir/Log" "$dir/outside"
  if [ "$how" = linux ]; then
    cp "$QW_TOP/build/linux/bin/qw_folderhost" "$QW_TOP/build/linux/bin/libquillwork.so.1" "$dir/" &&
      ln -sf libquillwork.so.1 "$dir/libquillwork.so" || return 1
  else
    cp "$QW_TOP/build/win64/bin/qw_folderhost.exe" "$QW_TOP/build/win64/bin/Quillwork.dll" "$dir/" || return 1
  fi
  setpriv --reuid=nobody --regid=nogroup --clear-groups ln -s "$dir/outside" "$dir/Log/$(date -u +%F)" || return 1
  # The host's output goes to a file: a first Wine program in a prefix starts Wine's
  # services, which inherit its output and would keep a pipe open long after it ends.
  if [ "$how" = linux ]; then
    (cd "$dir" && TZ=UTC QUILLWORK_DEBUG=1 timeout 60 ./qw_folderhost 506C616E746564 >"$dir/host.out" 2>&1 </dev/null)
  else
    (cd "$dir" && TZ=UTC timeout 120 wine ./qw_folderhost.exe 506C616E746564 >"$dir/host.out" 2>&1 </dev/null)
  fi
  out=$(cat "$dir/host.out")
  grep -q "open 0" <<<"$out" || { echo "  host said: $out"; return 1; }
  [ "$how" = wine ] || grep -q "cannot open .*link" <<<"$out" || { echo "  no report: $out"; return 1; }
  [ -z "$(ls -A "$dir/outside")" ] || { echo "  written outside: $(ls -A "$dir/outside")"; return 1; }
}
# The planting user must reach the folder: not where a folder above the
# checkout is closed to other users (a home of mode 700).
reach=yes
setpriv --reuid=nobody --regid=nogroup --clear-groups test -x "$work" || reach=no
why="the user nobody cannot reach $work (a folder above it is closed to other users)"
if [ $reach = no ]; then
  echo "SKIP linux host link case: $why"
elif [ -x "$QW_TOP/build/linux/bin/qw_folderhost" ]; then
  qw_check "linux host: a link planted at today's day folder is refused, nothing written outside" link_case linux
else echo "SKIP linux host link case: build/linux/bin/qw_folderhost not built"; fi
if [ $reach = no ]; then
  echo "SKIP win64 host link case: $why"
elif [ -f "$QW_TOP/build/win64/bin/qw_folderhost.exe" ]; then
  qw_wine_env win64
  qw_check "win64 host under Wine: a Unix link planted at today's day folder is refused, nothing written outside" \
    link_case wine
  qw_stop_wine
else echo "SKIP win64 host link case: build/win64/bin/qw_folderhost.exe not built"; fi
