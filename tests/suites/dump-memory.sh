#!/usr/bin/env bash
# Big dumps in bounded memory, on the shipped Linux library through a real host:
#  - peak memory (maximum resident set, /usr/bin/time) of a host that dumps 1, 10
#    and 100 MiB, against the same host dumping nothing: the dump may add its own
#    data and the 4 MiB one-write bound, not a buffer proportional to its text;
#  - the file of each dump is whole: its size from the layout, its last line, and
#    for 10 MiB (fourteen parts) every byte against a layout made here;
#  - a 100 MiB dump in a memory-limited cgroup (300 MiB) ends normally and its file
#    is whole (root; skipped where no cgroup can be made);
#  - a dump in parts on a full file system leaves nothing of itself, the entries
#    before and after it stay whole (root: a 16 MiB tmpfs).
set -u
source "$(dirname "$0")/../lib/common.sh"
BIN="$QW_TOP/build/linux/bin"
WORK=$(mktemp -d "$QW_TOP/build/dump-suite.XXXXXX")
CGROUP=
cleanup() {
  mountpoint -q "$WORK/full" 2>/dev/null && umount "$WORK/full"
  if [ -n "$CGROUP" ] && [ -d "$CGROUP" ]; then rmdir "$CGROUP" 2>/dev/null; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

[ -x "$BIN/qw_mirrorhost" ] && [ -f "$BIN/libquillwork.so" ] || { qw_say "FAIL dump-host-missing: build the linux preset"; exit 0; }
[ -x /usr/bin/time ] || { qw_say "FAIL dump-time-missing: /usr/bin/time"; exit 0; }

# A fresh folder holding the host and the library: the host's log goes below it.
host_folder() {
  local dir="$WORK/$1"
  mkdir -p "$dir" && cp "$BIN/qw_mirrorhost" "$BIN/libquillwork.so" "$dir/"
  echo "$dir"
}

# The one log file below a host folder.
log_of() { find "$1/Log" -name '*_dump.log' | head -1; }

# Where the line holding the text $2 starts in the file $1 (its stamp comes 19
# bytes and a separator before it); empty when it is not there.
line_at() {
  local n; n=$(grep -a -b -m1 -o -- "$2" "$1" | cut -d: -f1)
  [ -n "$n" ] && echo $((n - 20))
}

# Checks the file of a dump of $2 MiB in the host folder $1: between the entries
# before and after it, 86 bytes a line of 16 values and the closing line end.
check_file() {
  local dir=$1 mib=$2 file start end lines last
  file=$(log_of "$dir")
  [ -n "$file" ] || { qw_say "FAIL dump-$mib-MiB-file-made"; return; }
  start=$(line_at "$file" '--> 00000000h: ')
  end=$(line_at "$file" ' AFTER-DUMP')
  lines=$((mib * 65536))
  qw_check "dump-$mib-MiB-size-between-the-entries" [ "${end:-0}" -eq $((${start:-0} + lines * 86 + 2)) ]
  last=$(printf '%08X' $(((lines - 1) * 16)))
  qw_check "dump-$mib-MiB-last-line" bash -c "head -c $end '$file' | tail -c 90 | grep -q '${last}h: '"
}

# Runs the host dumping $1 MiB under /usr/bin/time; prints the peak in KiB.
peak_of() {
  local dir; dir=$(host_folder "peak-$1")
  /usr/bin/time -f %M -o "$dir/peak" "$dir/qw_mirrorhost" dump "$1" >/dev/null 2>&1 </dev/null
  echo "$(cat "$dir/peak" 2>/dev/null || echo 0) $dir"
}

peaks() {
  local base mib out peak dir
  read -r base dir < <(peak_of 0)
  echo "FIGURE peak resident set of the host dumping nothing: $base KiB"
  for mib in 1 10 100; do
    read -r peak dir < <(peak_of $mib)
    echo "FIGURE peak resident set dumping $mib MiB: $peak KiB (+$((peak - base)) KiB; data $((mib * 1024)) KiB, bound 4096 KiB)"
    # The host's own copy of the data, the bound, and 2 MiB of slack for the allocator.
    qw_check "dump-$mib-MiB-peak-within-data-plus-bound" [ $((peak - base)) -le $(((mib + 4 + 2) * 1024)) ]
    check_file "$dir" $mib
    if [ $mib = 10 ]; then bytes_match "$dir"; fi
    rm -rf "$dir"
  done
}

# Every byte of the 10 MiB dump against the layout, made here from the host's data.
bytes_match() {
  local file; file=$(log_of "$1")
  python3 - "$file" <<'PY'
import sys
data = bytes((i * 13) & 0xFF for i in range(256))  # the host's pattern repeats every 256 bytes
with open(sys.argv[1], 'rb') as f:
    text = f.read()
at = text.index(b'--> 00000000h: ') - 20
stamp = text[at:at + 24]
lines = []
for n in range(10 * 65536):
    off = n * 16
    row = data[off % 256:off % 256 + 16]
    lines.append((stamp if n == 0 else b' ' * 24) + b'%08Xh: ' % off + b''.join(b'%02X ' % v for v in row) + b';\r\n')
expected = b''.join(lines) + b'\r\n'
sys.exit(0 if text[at:at + len(expected)] == expected and text[at + len(expected) + 19:].startswith(b'  AFTER-DUMP') else 1)
PY
  qw_check dump-10-MiB-every-byte-as-laid-out [ $? -eq 0 ]
}

# A memory cgroup of 300 MiB: cgroup v2 (memory.max) or v1 (memory.limit_in_bytes).
make_cgroup() {
  local name="qw-dump-$$" root
  if grep -qw memory /sys/fs/cgroup/cgroup.controllers 2>/dev/null; then
    CGROUP="/sys/fs/cgroup/$name"
    mkdir "$CGROUP" 2>/dev/null && echo 300M >"$CGROUP/memory.max" 2>/dev/null && return 0
  fi
  root=/sys/fs/cgroup/memory
  if [ -f "$root/memory.limit_in_bytes" ]; then
    CGROUP="$root/$name"
    mkdir "$CGROUP" 2>/dev/null && echo 300M >"$CGROUP/memory.limit_in_bytes" 2>/dev/null && return 0
  fi
  [ -n "$CGROUP" ] && rmdir "$CGROUP" 2>/dev/null
  CGROUP=
  return 1
}

cgroup_dump() {
  if [ "$(id -u)" != 0 ] || ! make_cgroup; then
    echo "SKIP dump-100-MiB-in-a-300-MiB-cgroup: no memory cgroup can be made here (needs root and a memory controller)"
    return
  fi
  local dir rc; dir=$(host_folder cgroup)
  sh -c 'echo $$ >"$1/cgroup.procs" && exec "$2" dump 100' sh "$CGROUP" "$dir/qw_mirrorhost" >/dev/null 2>&1 </dev/null
  rc=$?
  echo "FIGURE 100 MiB dump in a 300 MiB cgroup: exit status $rc"
  qw_check dump-100-MiB-in-a-300-MiB-cgroup-host-lives [ $rc -eq 0 ]
  check_file "$dir" 100
  rm -rf "$dir"
}

# A dump of 10 MiB (fourteen parts) on a 16 MiB file system: the parts that fit
# are written, the first that does not stops the dump, and everything the dump
# wrote is cut off again; the entries before and after it stay whole.
full_disk() {
  if [ "$(id -u)" != 0 ]; then
    echo "SKIP dump-full-disk: mounting a small tmpfs needs root"
    return
  fi
  local mnt="$WORK/full" file
  mkdir -p "$mnt"
  if ! mount -t tmpfs -o size=16m qw-dump-full "$mnt" 2>/dev/null; then
    echo "SKIP dump-full-disk: no tmpfs can be mounted here"
    return
  fi
  cp "$BIN/qw_mirrorhost" "$BIN/libquillwork.so" "$mnt/"
  (cd "$mnt" && ./qw_mirrorhost dump 10 >/dev/null 2>&1 </dev/null)
  qw_check dump-full-disk-host-lives [ $? -eq 0 ]
  file=$(log_of "$mnt")
  echo "FIGURE full disk: the log holds $(stat -c %s "$file" 2>/dev/null || echo no) bytes after a 10 MiB dump on a 16 MiB tmpfs"
  qw_check dump-full-disk-nothing-of-the-dump-stays bash -c "! grep -aq '00000000h: ' '$file'"
  qw_check dump-full-disk-entries-around-it-whole bash -c "[ \$(grep -ac DUMP '$file') = 2 ] && grep -aq '  BEFORE-DUMP' '$file' && tail -c 14 '$file' | grep -aq AFTER-DUMP"
  umount "$mnt"
}

peaks
cgroup_dump
full_disk
exit 0
