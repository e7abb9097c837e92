#!/usr/bin/env bash
# Crash durability: a child writing numbered entries is killed at a random
# moment (SIGKILL; TerminateProcess under Wine); every entry it reported must
# be in the file whole. 200 rounds on Linux, 20 per Wine target
# (QW_REL_FULL=1: 1000 rounds each; QW_REL_ROUNDS=N any number; QW_REL_SEED=N repeats a run).
# A file that ends in part of an entry is a failure too.
source "$(dirname "$0")/../lib/common.sh"
source "$QW_TOP/tests/lib/reliability.sh"
# Rounds: the given number, or 1000 everywhere with QW_REL_FULL=1, or 200 and 20.
rounds() { [ -n "${QW_REL_ROUNDS:-}" ] && echo "$QW_REL_ROUNDS" || { [ "${QW_REL_FULL:-}" = 1 ] && echo 1000 || echo "$1"; }; }
QW_REL_ROUNDS=$(rounds 200) qw_rel_linux crash-linux linux --gtest_filter='CrashTest.*'
for arch in win64 win32; do
  qw_wine_env "$arch"
  QW_REL_ROUNDS=$(rounds 20) qw_rel_wine "crash-$arch" "$arch" --gtest_filter='CrashTest.*'
  qw_stop_wine
done
