# Shared helpers for the suite scripts in tests/suites/. Source it; QW_TOP is the repository root.
# A suite script prints one line per check, "PASS <what>" or "FAIL <what>", plus any figures.

: "${QW_TOP:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"

# Points Wine at the prefix of one architecture (win64 or win32), making it when missing, and
# keeps its server running until qw_stop_wine. The prefixes live in $QW_WINE_DIR (./run gives
# each suite its own, so suites can run side by side), by default build/; a new one starts as a
# copy of build/wine-<arch> when ./run made that, which is quicker than booting one: its
# files hard-linked (Wine writes none of them in place) but the registry, which is copied.
qw_wine_env() {
  local arch=$1 dir=${QW_WINE_DIR:-$QW_TOP/build} reg
  export WINEPREFIX="$dir/wine-$arch" WINEDEBUG=-all
  if [ "$arch" = win32 ]; then export WINEARCH=win32; else export WINEARCH=win64; fi
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
}

# Prints the banner Open writes before the first entry of a file.
qw_banner() {
  printf '\r\n------\r\n\r\n\r\n'
}

# Prints PASS or FAIL for a named check from the exit status of the command that follows.
qw_check() {
  local what=$1; shift
  if "$@"; then echo "PASS $what"; else echo "FAIL $what"; fi
}
