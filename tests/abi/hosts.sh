# Builds the C host for linux, win64 and win32 beside a copy of the built library and
# runs it at a fixed clock. Source it after tests/lib/common.sh.

QW_ABI_DIR=${QW_ABI_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)}
QW_FAKETIME_LIB=${QW_FAKETIME_LIB:-/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1}
QW_FIXED_CLOCK="2024-03-05 09:08:07"

# The C compiler for an architecture.
qw_c_compiler() {
  case $1 in
    win64) echo x86_64-w64-mingw32-gcc-posix ;;
    win32) echo i686-w64-mingw32-gcc-posix ;;
    *) echo gcc ;;
  esac
}

# Builds build/abi/<arch>/qw_c_host[.exe] with warnings as errors and puts the
# library of dist/<arch> beside it. Extra compiler flags follow the architecture.
qw_build_c_host() {
  local arch=$1; shift
  local dir="$QW_TOP/build/abi/$arch" exe=qw_c_host libs=-ldl
  [ "$arch" = linux ] || { exe=qw_c_host.exe; libs=; }
  mkdir -p "$dir"
  if [ "$arch" = linux ]; then cp -P "$QW_TOP"/dist/linux/libquillwork.so* "$dir/"; else cp "$QW_TOP/dist/$arch/Quillwork.dll" "$dir/"; fi
  "$(qw_c_compiler "$arch")" -std=c99 -O2 -Wall -Wextra -Werror "$@" -o "$dir/$exe" \
    "$QW_ABI_DIR/QwCHost.c" "$QW_ABI_DIR/QwDrive.c" $libs
}

# Runs the C host of an architecture in its folder from a clean Log folder, its
# report in host.out. The clock is frozen where libfaketime reaches: natively and
# for 64-bit Wine (whose server must already run without it); 32-bit Wine ignores it.
qw_run_c_host() {
  local arch=$1 dir="$QW_TOP/build/abi/$1" rc=0
  rm -rf "$dir/Log"
  case $arch in
    linux) (cd "$dir" && TZ=UTC LD_PRELOAD="$QW_FAKETIME_LIB" FAKETIME="$QW_FIXED_CLOCK" \
              timeout 60 ./qw_c_host >host.out 2>host.err </dev/null) || rc=$? ;;
    win64) (cd "$dir" && TZ=UTC LD_PRELOAD="$QW_FAKETIME_LIB" FAKETIME="$QW_FIXED_CLOCK" \
              timeout 120 wine qw_c_host.exe >host.out 2>host.err </dev/null) || rc=$? ;;
    win32) (cd "$dir" && TZ=UTC timeout 120 wine qw_c_host.exe >host.out 2>host.err </dev/null) || rc=$? ;;
  esac
  return $rc
}

# The one log file the C host of an architecture wrote, or nothing.
qw_c_host_log() {
  local files=("$QW_TOP/build/abi/$1"/Log/*/*_abi.log)
  [ ${#files[@]} -eq 1 ] && [ -f "${files[0]}" ] && echo "${files[0]}"
}

# Prints the steps of the last run that did not give what they must.
qw_c_host_bad_steps() {
  tr -d '\r' <"$QW_TOP/build/abi/$1/host.out" | grep -v '^ok '
}

# Replaces every "YYYY-MM-DD HH:MM:SS" stamp by a fixed text.
qw_mask_stamps() {
  sed -E 's/[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}/YYYY-MM-DD hh:mm:ss/g' "$1"
}
