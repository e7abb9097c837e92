#!/usr/bin/env bash
# Crash durability: a child writing numbered entries is killed at a random
# moment (SIGKILL; TerminateProcess under Wine); every entry it reported must
# be in the file whole. 200 rounds on Linux, 20 per Wine target
# (QW_REL_ROUNDS=N for more; QW_REL_SEED=N repeats a run; QW_REL_STRICT_TAIL=1
# turns the partial-last-entry count into a failure).
source "$(dirname "$0")/../lib/common.sh"
source "$QW_TOP/tests/lib/reliability.sh"
QW_REL_ROUNDS=${QW_REL_ROUNDS:-200} qw_rel_linux crash-linux linux --gtest_filter='CrashTest.*'
for arch in win64 win32; do
  qw_wine_env "$arch"
  QW_REL_ROUNDS=${QW_REL_ROUNDS:-20} qw_rel_wine "crash-$arch" "$arch" --gtest_filter='CrashTest.*'
  qw_stop_wine
done
