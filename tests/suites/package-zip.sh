#!/usr/bin/env bash
# The Windows zips of `./run package`: unpacked, their contents checked (the right
# architecture, stripped), then a MinGW host built against each, once with
# find_package(Quillwork) and once with a plain compiler line, and run under Wine.
set -u
: "${QW_TOP:=$(cd "$(dirname "$0")/../.." && pwd)}"
export QW_TOP
source "$QW_TOP/tests/lib/common.sh"
work="$QW_TOP/build/package-zip"
rm -rf "$work" && mkdir -p "$work"
version=$(for p in MAJOR MINOR PATCH; do
  sed -n "s/^#define QUILLWORK_VERSION_$p \+\([0-9]\+\).*/\1/p" "$QW_TOP/LogClass/Quillwork.h"; done | paste -sd.)

# Tools of an architecture: "<triplet> <PE format name> <toolchain file>".
tools_of() {
  case $1 in
    win64) echo "x86_64-w64-mingw32 pei-x86-64 mingw-x86_64.cmake" ;;
    win32) echo "i686-w64-mingw32 pei-i386 mingw-i686.cmake" ;;
  esac
}

# Every file the archive must hold is there, under one folder named after it.
zip_complete() {
  local root=$1 f
  local want=(bin/Quillwork.dll lib/Quillwork.lib include/Quillwork.h lib/cmake/Quillwork/QuillworkConfig.cmake
              lib/cmake/Quillwork/QuillworkConfigVersion.cmake lib/cmake/Quillwork/QuillworkTargets.cmake LICENSE README.md)
  [ -d "$QW_TOP/tools/qwlog" ] && want+=(bin/qwlog.exe)
  for f in "${want[@]}"; do
    [ -s "$root/$f" ] || { echo "lacks $f"; return 1; }
  done
  cmp -s "$root/LICENSE" "$QW_TOP/LICENSE" && cmp -s "$root/include/Quillwork.h" "$QW_TOP/LogClass/Quillwork.h"
}

# The DLL is of the archive's architecture and carries no debug information.
dll_fits() {
  local root=$1 triplet=$2 format=$3 head
  head=$("$triplet-objdump" -h "$root/bin/Quillwork.dll") || return 1
  grep -q "file format $format" <<<"$head" || { grep 'file format' <<<"$head"; return 1; }
  ! grep -q '\.debug_info' <<<"$head"
}

# examples/link built with the MinGW toolchain and find_package against the unpacked folder.
find_package_host() {
  local arch=$1 root=$2 toolchain=$3 dir="$work/$1-find-package"
  { cmake -S "$QW_TOP/examples/link" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$QW_TOP/cmake/$toolchain" \
      -DCMAKE_PREFIX_PATH="$root" && cmake --build "$dir"; } >"$dir.log" 2>&1 || { tail -8 "$dir.log"; return 1; }
  runs_and_logs "$dir"
}

# examples/link built with one compiler line: the header folder and the import library.
plain_host() {
  local arch=$1 root=$2 triplet=$3 dir="$work/$1-plain"
  mkdir -p "$dir"
  "$triplet-g++-posix" -Wall -Wextra -Werror -static -I"$root/include" -o "$dir/linked_host.exe" \
    "$QW_TOP/examples/link/main.cpp" "$root/lib/Quillwork.lib" || return 1
  cp "$root/bin/Quillwork.dll" "$dir/"
  runs_and_logs "$dir"
}

# Runs linked_host.exe under Wine from its folder; it must exit 0 and leave its log.
runs_and_logs() {
  local dir=$1
  rm -rf "$dir/Log"
  (cd "$dir" && timeout 120 wine linked_host.exe >run.out 2>&1 </dev/null) || { head -3 "$dir/run.out"; return 1; }
  grep -qF 'linked host started' "$dir"/Log/*/*_Linked.log
}

start=$(date +%s)
for arch in win64 win32; do
  read -r triplet format toolchain <<<"$(tools_of $arch)"
  zip="$QW_TOP/dist/packages/quillwork-$version-$arch.zip"
  root="$work/$arch/quillwork-$version-$arch"
  if ! { [ -s "$zip" ] && mkdir -p "$work/$arch" && unzip -q "$zip" -d "$work/$arch"; }; then
    qw_say "FAIL $arch: quillwork-$version-$arch.zip unpacks"; continue
  fi
  qw_say "PASS $arch: quillwork-$version-$arch.zip unpacks"
  qw_check "$arch zip: DLL, import library, header, CMake package, license, README" zip_complete "$root"
  qw_check "$arch zip: DLL is $format and stripped" dll_fits "$root" "$triplet" "$format"
  qw_wine_env $arch
  qw_check "$arch zip: MinGW host with find_package builds and runs under Wine" find_package_host $arch "$root" "$toolchain"
  qw_check "$arch zip: MinGW host with the import library builds and runs under Wine" plain_host $arch "$root" "$triplet"
  qw_stop_wine
done
echo "FIGURE package-zip suite took $(( $(date +%s) - start )) s"
