#!/usr/bin/env bash
# The one way Windows programs start (tests/lib/bin/wine) and the probe that decides whether
# this machine runs 32-bit programs: the probe forced to "no" and its real answer, a win64
# failure that stays a failure where 32-bit programs are refused, and a closing line whose
# counts add up.
source "$(dirname "$0")/../lib/common.sh"
work="$QW_TOP/build/wine-runner"
rm -rf "$work" && mkdir -p "$work"

# The probe, decided afresh in a shell of its own: prints "answer|reason".
probe() { env -u QW_RUN32 -u QW_RUN32_WHY "$@" bash -c 'source "$QW_TOP/tests/lib/common.sh"; echo "$QW_RUN32|$QW_RUN32_WHY"'; }

forced=$(probe QW_FORCE_NO32=1)
qw_check "probe forced to no by QW_FORCE_NO32=1 says no and why" [ "$forced" = "no|QW_FORCE_NO32=1" ]

real=$(probe)
x86_64-w64-mingw32-gcc-posix -O2 -o "$work/exit64.exe" "$QW_TOP/tests/lib/fixtures/ExitWith.c" &&
  i686-w64-mingw32-gcc-posix -O2 -o "$work/exit32.exe" "$QW_TOP/tests/lib/fixtures/ExitWith.c" ||
  qw_say "FAIL the wrapper's test programs build"

# The real answer agrees with what the machine does: "yes" runs a win32 program through
# the wrapper; "no" comes with the kernel's refusal, and Wine's own 32-bit loader (where
# installed) cannot start the program either.
real32() {
  local out
  if [ "${real%%|*}" = yes ]; then
    qw_wine_env win32
    out=$(cd "$work" && timeout 120 wine exit32.exe 2>/dev/null </dev/null | tr -d '\r')
    qw_stop_wine
    [ "$out" = "exit-with 32-bit" ]
  else
    [[ "${real#*|}" == "the kernel refuses them"* ]] || return 1
    [ ! -x /usr/lib/wine/wine ] || ! (cd "$work" && WINEPREFIX="$work/wine-raw32" WINEARCH=win32 WINEDEBUG=-all \
       timeout 60 /usr/lib/wine/wine exit32.exe >/dev/null 2>&1 </dev/null)
  fi
}
qw_check "probe's real answer (${real%%|*}) agrees with a win32 program started here" real32

# The wrapper runs a win64 program through the 64-bit loader whatever the answer.
win64_runs() {
  local out
  qw_wine_env win64
  out=$(cd "$work" && timeout 120 wine exit64.exe 2>/dev/null </dev/null | tr -d '\r')
  qw_stop_wine
  [ "$out" = "exit-with 64-bit" ]
}
qw_check "win64 program runs through the wrapper (32-bit programs: ${real%%|*})" win64_runs

# A whole suite through ./run suite: counts of the closing line, the skip with its reason,
# and the deliberate win64 failure kept a failure. Once with the probe forced to "no",
# once with the real answer.
mixed() {
  local label=$1 want=$2 out
  shift 2
  out=$(env -u QW_RUN32 -u QW_RUN32_WHY "$@" QW_FIXTURE_BIN="$work" \
        "$QW_TOP/run" suite "$QW_TOP/tests/lib/fixtures/wine-mixed.sh" 2>&1)
  qw_check "$label: closing line reads '$want'" grep -qx "$want" <<<"$out"
  qw_check "$label: the win64 failure is a FAIL line" grep -q '^FAIL win64 program that exits with 3' <<<"$out"
  qw_check "$label: a missing win64 program is a FAIL line" grep -q '^FAIL win64: no-such-program.exe not built' <<<"$out"
  if [[ "$want" == *", 2 skipped" ]]; then
    qw_check "$label: the win32 check is a SKIP line with the reason" \
      grep -q '^SKIP win32 program that exits with 0: 32-bit programs cannot run on this machine (.\+)' <<<"$out"
  fi
}
mixed "forced no" "1 passed, 2 failed, 2 skipped" QW_FORCE_NO32=1
if [ "${real%%|*}" = yes ]; then mixed "real answer yes" "2 passed, 3 failed, 0 skipped"
else mixed "real answer no" "1 passed, 2 failed, 2 skipped"; fi
rm -rf "$work"
