#!/usr/bin/env bash
# File-system faults (Linux, as root, in a mount namespace of their own so no
# mount outlives the run): a full tmpfs, a read-only remount, the day folder
# removed, a plain file named "Log", a host folder bound read-only.
source "$(dirname "$0")/../lib/common.sh"
source "$QW_TOP/tests/lib/reliability.sh"
if [ "$(id -u)" != 0 ]; then
  echo "SKIP faults: not root, so no mounts; the cases without mounts run alone"
  qw_rel_linux faults linux --gtest_filter='FaultTest.*'
elif unshare -m --propagation private true 2>/dev/null; then
  out="$QW_TOP/build/reports/rel-faults.out"
  mkdir -p "$QW_TOP/build/reports"
  (cd "$QW_TOP/build/linux/bin" && TZ=UTC timeout 300 unshare -m --propagation private \
      ./qw_reliability --gtest_filter='FaultTest.*' >"$out" 2>&1 </dev/null)
  qw_rel_report faults "$out"
else
  echo "SKIP faults: no mount namespace here; mounting tests skip themselves"
  qw_rel_linux faults linux --gtest_filter='FaultTest.*'
fi
