#!/usr/bin/env bash
# Bad input matrix on Linux and under Wine (both targets), and once more under
# the Japanese code page 932 (LANG=ja_JP.UTF-8 for Wine; the glibc locale is
# generated when missing, as root), where a kanji whose second byte is 0x5C
# is a name and not a path.
source "$(dirname "$0")/../lib/common.sh"
source "$QW_TOP/tests/lib/reliability.sh"
qw_rel_linux input-linux linux --gtest_filter='BadInputTest.*'
for arch in win64 win32; do
  qw_wine_env "$arch"
  qw_rel_wine "input-$arch" "$arch" --gtest_filter='BadInputTest.*'
  qw_stop_wine
done
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  [ "$(id -u)" = 0 ] && localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 >/dev/null 2>&1
fi
if locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  qw_wine_env win64
  LANG=ja_JP.UTF-8 qw_rel_wine input-win64-cp932 win64 --gtest_filter='BadInputTest.Names*'
  grep -q 'code page 932' "$QW_TOP/build/reports/rel-input-win64-cp932.out" ||
    qw_say "FAIL input-win64-cp932: Wine did not take code page 932"
  qw_stop_wine
else
  echo "SKIP input-cp932: no ja_JP.UTF-8 locale (localedef from the locales package makes it, as root)"
fi
