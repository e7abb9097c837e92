#!/usr/bin/env bash
# Retention never reaches into another mount on Linux: in a private mount
# namespace (root), an old day folder of the log folder is a bind mount of a
# folder outside (same device: only the mount id or the mount-root attribute
# tells it), another is a small tmpfs, and an old file is a bind mount of a file
# outside. A host with KEEPDAYS=2 cleans the rest; everything mounted stays.
set -u
source "$(dirname "$0")/../lib/common.sh"
work="$QW_TOP/build/clean-mounts"
lbin="$QW_TOP/build/linux/bin"
rm -rf "$work" && mkdir -p "$work"

mounts_case() {
  local dir="$work/host" log="$work/host/Log" outside="$work/outside" old1 old2 old3 i
  mkdir -p "$dir" "$outside/files" && cp "$lbin/qw_folderhost" "$lbin/libquillwork.so.1" "$dir/" &&
    ln -sf libquillwork.so.1 "$dir/libquillwork.so"
  printf '[LOG]\nKEEPDAYS=2\n' >"$dir/Quillwork.ini"
  old1=$(date -u -d '-10 days' +%F); old2=$(date -u -d '-11 days' +%F); old3=$(date -u -d '-12 days' +%F)
  mkdir -p "$log/$old1" "$log/$old2" "$log/$old3"
  for i in 1 2 3; do printf 'outside' >"$outside/files/09000$i.log"; done
  printf 'outside file' >"$outside/single.log"
  printf 'ours' >"$log/$old3/090000.log"; printf 'ours' >"$log/$old3/090001.log"
  touch -d '-20 days' "$outside/files/"* "$outside/single.log" "$log/$old3/"*
  unshare -m --propagation private bash -c "
      mount --bind '$outside/files' '$log/$old1' &&
      mount -t tmpfs -o size=1m qwtmp '$log/$old2' && printf 'tmpfs' >'$log/$old2/090000.log' &&
      touch -d '-20 days' '$log/$old2/090000.log' &&
      mount --bind '$outside/single.log' '$log/$old3/090001.log' || exit 3
      cd '$dir' && TZ=UTC ./qw_folderhost 4D6E74 >'$work/host.out' 2>&1 </dev/null
      rc=\$?
      [ \"\$(cat '$log/$old2/090000.log' 2>/dev/null)\" = tmpfs ] || rc=4
      exit \$rc" </dev/null
  local rc=$?
  [ $rc = 3 ] && { echo "  mounting refused"; return 2; }
  [ $rc = 4 ] && { echo "  the tmpfs day folder was cleaned"; return 1; }
  [ $rc = 0 ] || { echo "  host failed: $(cat "$work/host.out")"; return 1; }
  [ "$(ls "$outside/files" | wc -l)" = 3 ] || { echo "  bind-mounted day folder cleaned: $(ls "$outside/files")"; return 1; }
  [ "$(cat "$outside/single.log")" = "outside file" ] || { echo "  bind-mounted file removed"; return 1; }
  # Outside the namespace the mount points are plain: the old file of ours went, the other stays.
  [ ! -e "$log/$old3/090000.log" ] || { echo "  cleaning did not run"; return 1; }
}

if [ ! -x "$lbin/qw_folderhost" ]; then
  qw_say "FAIL linux: $lbin/qw_folderhost not built"
elif [ "$(id -u)" != 0 ] || ! unshare -m --propagation private true 2>/dev/null; then
  echo "SKIP linux mounts in the log folder: no private mount namespace (needs root)"
else
  mounts_case; rc=$?
  case $rc in
    0) qw_say "PASS linux bind-mounted day folder, tmpfs day folder, bind-mounted file: KEEPDAYS leaves them" ;;
    2) echo "SKIP linux mounts in the log folder: mount refused here" ;;
    *) qw_say "FAIL linux bind-mounted day folder, tmpfs day folder, bind-mounted file: KEEPDAYS leaves them" ;;
  esac
fi
