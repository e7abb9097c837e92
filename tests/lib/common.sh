# Shared helpers for the suite scripts in tests/suites/. Source it; QW_TOP is the repository root.
# A suite script prints one line per check, "PASS <what>" or "FAIL <what>", plus any figures.

: "${QW_TOP:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
# Windows programs start through the wrapper tests/lib/bin/wine, never Debian's /usr/bin/wine.
case ":$PATH:" in *":$QW_TOP/tests/lib/bin:"*) ;; *) export PATH="$QW_TOP/tests/lib/bin:$PATH" ;; esac

# A static i386 Linux program of 93 bytes that only exits with 0: the probe of the kernel.
qw_probe32_hex=7f454c46010101000000000000000000020003000100000054800408340000000000000000000000\
340020000100000000000000010000000000000000800408008004085d0000005d000000050000000010000031dbb801000000cd80

# Decides once whether this machine can run 32-bit programs and exports the answer for every
# script and the wine wrapper: QW_RUN32=yes or no, and QW_RUN32_WHY, the reason of a no.
# QW_FORCE_NO32=1 makes the answer no where 32-bit programs work (to test the skip path).
# Only the kernel is asked: ./run asks before it installs Wine's 32-bit loader, and installs
# the loader only where the answer is yes.
qw_probe_run32() {
  [ -n "${QW_RUN32:-}" ] && return 0
  local probe="${TMPDIR:-/tmp}/qw-probe-i386.$$" why=
  printf "$(sed 's/../\\x&/g' <<<"$qw_probe32_hex")" >"$probe" && chmod +x "$probe"
  if [ "${QW_FORCE_NO32:-}" = 1 ]; then why="QW_FORCE_NO32=1"
  elif ! "$probe" 2>/dev/null; then why="the kernel refuses them: $(LC_ALL=C "$probe" 2>&1 | sed 's/.*: //' | head -1)"
  fi
  rm -f "$probe"
  if [ -z "$why" ]; then export QW_RUN32=yes QW_RUN32_WHY=; else export QW_RUN32=no QW_RUN32_WHY="$why"; fi
}

# The one line that says what the probe decided.
qw_run32_line() {
  if [ "$QW_RUN32" = yes ]; then echo "-- 32-bit programs: this machine runs them; the win32 checks run"
  else echo "-- 32-bit programs: this machine cannot run them ($QW_RUN32_WHY); win32 checks that start a program are skipped"; fi
}

# Points Wine at the prefix of one architecture (win64 or win32), making it when missing, and
# keeps its server running until qw_stop_wine. The prefixes live in $QW_WINE_DIR (./run gives
# each suite its own, so suites can run side by side), by default build/; a new one starts as a
# copy of build/wine-<arch> when ./run made that, which is quicker than booting one: its
# files hard-linked (Wine writes none of them in place) but the registry, which is copied.
qw_wine_env() {
  local arch=$1 dir=${QW_WINE_DIR:-$QW_TOP/build} reg
  export WINEPREFIX="$dir/wine-$arch" WINEDEBUG=-all
  if [ "$arch" = win32 ]; then export WINEARCH=win32; else export WINEARCH=win64; fi
  rm -f "${QW_SKIP32_MARK:-/nonexistent}"
  # Where no 32-bit program runs, no check of the win32 prefix can: each is a skip.
  if [ "$arch" = win32 ] && [ "$QW_RUN32" = no ]; then
    [ -z "${QW_SKIP32_MARK:-}" ] || : >"$QW_SKIP32_MARK"
    return 0
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    rm -rf "$WINEPREFIX" && mkdir -p "$dir"
    if [ "$WINEPREFIX" != "$QW_TOP/build/wine-$arch" ] && [ -f "$QW_TOP/build/wine-$arch/system.reg" ]; then
      cp -al "$QW_TOP/build/wine-$arch" "$WINEPREFIX" &&
        for reg in "$WINEPREFIX"/*.reg; do cp --remove-destination "$QW_TOP/build/wine-$arch/${reg##*/}" "$reg"; done
    else
      mkdir -p "$WINEPREFIX"
      wineboot -i >/dev/null 2>&1 </dev/null
    fi
  fi
  wineserver -p >/dev/null 2>&1 </dev/null
}

# Ends the server of the current prefix.
qw_stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  rm -f "${QW_SKIP32_MARK:-/nonexistent}"
}

# Prints the size a slow check runs at: $1 by default, $2 in a full run (QW_FULL=1,
# ./run test --full).
qw_full_size() {
  if [ "${QW_FULL:-0}" = 1 ]; then echo "$2"; else echo "$1"; fi
}

# Prints the banner Open writes before the first entry of a file.
qw_banner() {
  printf '\r\n------\r\n\r\n\r\n'
}

# Prints one check's line, "PASS what" or "FAIL what" ($1). In a win32 prefix where no 32-bit
# program can run (the mark is there: qw_wine_env or the wine wrapper made it), the check could
# not run: the line is "SKIP what" with the reason, neither passed nor failed. A check that
# starts no program (a build, a file's contents) says its line with echo, never skipped.
qw_say() {
  if [ -n "${QW_SKIP32_MARK:-}" ] && [ -e "$QW_SKIP32_MARK" ] && [[ "$1" == PASS* || "$1" == FAIL* ]]; then
    echo "SKIP ${1#* }: 32-bit programs cannot run on this machine ($QW_RUN32_WHY)"
  else
    echo "$1"
  fi
}

# Reports that program $2 of target $1 is not there: a failure, but a skip for a win32 test
# program where 32-bit programs cannot run (./run test then builds none of them).
qw_not_built() {
  if [ "$1" = win32 ] && [ "$QW_RUN32" = no ]; then
    echo "SKIP $1: $2 not built, 32-bit programs cannot run on this machine ($QW_RUN32_WHY)"
  else
    echo "FAIL $1: $2 not built"
  fi
}

# Prints PASS or FAIL for a named check from the exit status of the command that follows.
qw_check() {
  local what=$1; shift
  if "$@"; then qw_say "PASS $what"; else qw_say "FAIL $what"; fi
}

qw_probe_run32
: "${QW_SKIP32_MARK:=${TMPDIR:-/tmp}/qw-skip32.$$}"
export QW_SKIP32_MARK
