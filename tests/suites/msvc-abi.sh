#!/usr/bin/env bash
# Hosts as MSVC builds them, against the Windows zips of `./run package`: the header
# warning-free in MSVC mode, then a C++ host compiled by clang for the MSVC targets and
# linked by lld-link against the zip's Quillwork.lib with no C run-time, run under Wine
# beside the zip's Quillwork.dll; every call returns what it must and the log is the
# golden file tests/abi/MsvcLogHost.log (stamps masked).
set -u
: "${QW_TOP:=$(cd "$(dirname "$0")/../.." && pwd)}"
export QW_TOP
source "$QW_TOP/tests/lib/common.sh"
source "$QW_TOP/tests/abi/hosts.sh"
source "$QW_TOP/tests/abi/dll.sh"
work="$QW_TOP/build/msvc-abi"
rm -rf "$work" && mkdir -p "$work"
version=$(for p in MAJOR MINOR PATCH; do
  sed -n "s/^#define QUILLWORK_VERSION_$p \+\([0-9]\+\).*/\1/p" "$QW_TOP/LogClass/Quillwork.h"; done | paste -sd.)

# arch|clang target|MinGW folder with libkernel32.a
targets=(
  "win64|x86_64-pc-windows-msvc|/usr/x86_64-w64-mingw32/lib"
  "win32|i686-pc-windows-msvc|/usr/i686-w64-mingw32/lib"
)

# Unpacks the zip of an architecture into $work/<arch>/zip.
unpack() {
  local arch=$1 zip="$QW_TOP/dist/packages/quillwork-$version-$1.zip" dir="$work/$1/zip" top
  [ -s "$zip" ] || { echo "no $zip"; return 1; }
  mkdir -p "$dir" && unzip -q "$zip" -d "$dir.tmp" || return 1
  top=$(find "$dir.tmp" -mindepth 1 -maxdepth 1 -type d | head -1)
  mv "$top"/* "$dir"/ && rm -rf "$dir.tmp"
  [ -f "$dir/include/Quillwork.h" ] && [ -f "$dir/lib/Quillwork.lib" ] && [ -f "$dir/bin/Quillwork.dll" ] ||
    { echo "zip lacks include/Quillwork.h, lib/Quillwork.lib or bin/Quillwork.dll"; return 1; }
}

# The zip's header compiles in MSVC mode with no warning, -Wnon-virtual-dtor included.
header_quiet() {
  local target=$1 inc=$2 src out
  for src in HeaderUse.cpp MsvcLogHost.cpp; do
    out=$(clang++ --target="$target" -fsyntax-only -Wall -Wextra -Wnon-virtual-dtor -Werror -I"$inc" \
          "$QW_TOP/tests/abi/$src" 2>&1) || { echo "$src: $out" | head -6; return 1; }
  done
}

# Compiles the host for the target and links it with lld-link: entry HostMain, no
# default libraries, only Quillwork.lib and the system's kernel32. On x86 /safeseh:no:
# the import objects MinGW makes carry no SafeSEH mark.
build_host() {
  local arch=$1 target=$2 k32=$3 dir="$work/$1" seh=()
  [ "$arch" = win32 ] && seh=(/safeseh:no)
  clang++ --target="$target" -O2 -fno-exceptions -fno-rtti -fno-builtin -Wall -Wextra -Wnon-virtual-dtor -Werror \
    -I"$dir/zip/include" -c "$QW_TOP/tests/abi/MsvcLogHost.cpp" -o "$dir/host.obj" >"$dir/build.log" 2>&1 &&
  lld-link /nologo /entry:HostMain /subsystem:console /nodefaultlib "${seh[@]}" /out:"$dir/msvc_host.exe" \
    "$dir/host.obj" "$dir/zip/lib/Quillwork.lib" "$k32/libkernel32.a" >>"$dir/build.log" 2>&1 &&
  cp "$dir/zip/bin/Quillwork.dll" "$dir/" || { tail -8 "$dir/build.log"; return 1; }
}

# The host imports only Quillwork.dll (CreateLogObject) and KERNEL32.dll: no C run-time.
imports_no_runtime() {
  local od=$1 exe=$2 names
  names=$("$od" -p "$exe" | awk '/DLL Name:/{print tolower($3)}' | sort | paste -sd' ')
  [ "$names" = "kernel32.dll quillwork.dll" ] || { echo "imports: $names"; return 1; }
}

# Runs the host under Wine in its folder; exit code 0 and one log equal to the golden file.
runs_and_logs() {
  local dir="$work/$1" rc=0 logs
  rm -rf "$dir/Log"
  (cd "$dir" && TZ=UTC timeout 120 wine msvc_host.exe >run.out 2>&1 </dev/null) || rc=$?
  [ "$rc" = 0 ] || { echo "exit code $rc (bits: calls that did not return exactly 1)"; return 1; }
  logs=("$dir"/Log/*/*_Msvc.log)
  [ ${#logs[@]} = 1 ] && [ -f "${logs[0]}" ] || { echo "logs: ${logs[*]}"; return 1; }
  cmp -s <(qw_mask_stamps "${logs[0]}") "$QW_TOP/tests/abi/MsvcLogHost.log" ||
    { diff <(qw_mask_stamps "${logs[0]}" | cat -A) <(cat -A "$QW_TOP/tests/abi/MsvcLogHost.log") | head -10; return 1; }
}

start=$(date +%s)
for row in "${targets[@]}"; do
  IFS='|' read -r arch target k32 <<<"$row"
  if ! unpack "$arch"; then qw_say "FAIL $arch zip unpacks"; continue; fi
  qw_check "$target: the zip's header compiles with -Wall -Wextra -Wnon-virtual-dtor, no warning" \
    header_quiet "$target" "$work/$arch/zip/include"
  if ! build_host "$arch" "$target" "$k32"; then qw_say "FAIL $target: host builds with clang and lld-link"; continue; fi
  qw_say "PASS $target: host builds with clang and lld-link against the zip's Quillwork.lib"
  qw_check "$target: host imports only Quillwork.dll and KERNEL32.dll" imports_no_runtime "$(qw_objdump "$arch")" "$work/$arch/msvc_host.exe"
  qw_wine_env "$arch"
  qw_check "$target: host runs under Wine, every call returns 1, log as the golden file" runs_and_logs "$arch"
  qw_stop_wine
done
echo "FIGURE msvc-abi suite took $(( $(date +%s) - start )) s"
