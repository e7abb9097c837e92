#!/usr/bin/env bash
# What `./run build` leaves in dist/: each library stripped, its debug information in
# a file beside it that the library's debug link names (CRC checked, and gdb finds it
# on Linux), the SONAME names as links, the header as in the sources, and in each DLL
# a version resource that Windows reads back (under Wine) with the header's version.
set -u
: "${QW_TOP:=$(cd "$(dirname "$0")/../.." && pwd)}"
export QW_TOP
source "$QW_TOP/tests/lib/common.sh"
work="$QW_TOP/build/package-dist"
rm -rf "$work" && mkdir -p "$work"
version=$(for p in MAJOR MINOR PATCH; do
  sed -n "s/^#define QUILLWORK_VERSION_$p \+\([0-9]\+\).*/\1/p" "$QW_TOP/LogClass/Quillwork.h"; done | paste -sd.)

# The objdump for an architecture.
objdump_of() {
  case $1 in win64) echo x86_64-w64-mingw32-objdump ;; win32) echo i686-w64-mingw32-objdump ;; *) echo objdump ;; esac
}

# A library without debug sections, whose debug file has them and matches its debug link.
stripped_with_debug_file() {
  local od=$1 lib=$2
  if "$od" -h "$lib" | grep -q '\.debug_info'; then echo "$lib has .debug_info"; return 1; fi
  "$od" -h "$lib.debug" | grep -q '\.debug_info' || { echo "$lib.debug has no .debug_info"; return 1; }
  python3 "$QW_TOP/tests/package/debuglink.py" "$od" "$lib"
}

# gdb, given only the stripped .so, finds the source lines through the debug link.
gdb_finds_lines() {
  local out
  out=$(gdb -nx -batch -ex 'info line CTxtLog::WriteHex' "$1" 2>&1)
  grep -q 'TxtLog.cpp' <<<"$out" || { echo "$out" | tail -3; return 1; }
}

# The Linux names: the SONAME and link name are links that end at the one real file.
linux_names_are_links() {
  local d="$QW_TOP/dist/linux" soname
  [ -L "$d/libquillwork.so" ] && [ -L "$d/libquillwork.so.1" ] && [ ! -L "$d/libquillwork.so.$version" ] ||
    { ls -l "$d"; return 1; }
  [ "$(readlink -f "$d/libquillwork.so")" = "$(readlink -f "$d/libquillwork.so.$version")" ] || return 1
  soname=$(readelf -d "$d/libquillwork.so.$version" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = libquillwork.so.1 ] || { echo "SONAME ${soname:-none}"; return 1; }
}

# Builds the version reader for an architecture.
build_reader() {
  local cc=x86_64-w64-mingw32-gcc-posix
  [ "$1" = win32 ] && cc=i686-w64-mingw32-gcc-posix
  $cc -std=c99 -O2 -Wall -Wextra -Werror -o "$work/$1/verinfo.exe" "$QW_TOP/tests/package/VersionInfo.c" -lversion
}

# The version resource of the DLL in dist/<arch> as Windows reads it, compared with what it must say.
version_resource_matches() {
  local arch=$1 dir="$work/$1" got want
  cp "$QW_TOP/dist/$arch/Quillwork.dll" "$dir/"
  (cd "$dir" && timeout 120 wine verinfo.exe Quillwork.dll >info.out 2>/dev/null </dev/null) || { echo "reader failed"; return 1; }
  got=$(tr -d '\r' <"$dir/info.out")
  want="fixed.file=$version.0
fixed.product=$version.0
fixed.type=dll
FileDescription=Quillwork logging library
FileVersion=$version
ProductName=Quillwork
ProductVersion=$version
LegalCopyright=Copyright (c) 2026 the Quillwork authors. MIT License.
OriginalFilename=Quillwork.dll
CompanyName=the Quillwork authors"
  [ "$got" = "$want" ] || { diff <(echo "$want") <(echo "$got"); return 1; }
}

start=$(date +%s)
for arch in linux win64 win32; do
  od=$(objdump_of $arch); lib="$QW_TOP/dist/$arch/Quillwork.dll"
  [ $arch = linux ] && lib="$QW_TOP/dist/linux/libquillwork.so.$version"
  qw_check "$arch: library stripped, debug file beside it matches its debug link" stripped_with_debug_file "$od" "$lib"
  qw_check "$arch: header in dist is the source header" cmp -s "$QW_TOP/dist/$arch/Quillwork.h" "$QW_TOP/LogClass/Quillwork.h"
  # The check tells a library with debug information from a stripped one.
  built="$QW_TOP/build/$arch/bin/$(basename "$lib")"
  qw_check "$arch: the check refuses the unstripped build" eval '! stripped_with_debug_file "$od" "$built" >/dev/null'
done
qw_check "linux: gdb finds source lines of the stripped .so" gdb_finds_lines "$QW_TOP/dist/linux/libquillwork.so.$version"
qw_check "linux: SONAME and link name are links to the one library" linux_names_are_links
qw_check "win64/win32: import library in dist" eval '[ -s "$QW_TOP/dist/win64/Quillwork.lib" ] && [ -s "$QW_TOP/dist/win32/Quillwork.lib" ]'
for arch in win64 win32; do
  mkdir -p "$work/$arch"
  build_reader $arch || { qw_say "FAIL $arch version reader builds"; continue; }
  qw_wine_env $arch
  qw_check "$arch: DLL version resource read back by GetFileVersionInfo" version_resource_matches $arch
  # A DLL without a resource is reported as such (the reader does not invent one).
  cp "$QW_TOP/build/$arch/bin/qw_sharedfile.exe" "$work/$arch/plain.exe" 2>/dev/null &&
    qw_check "$arch: reader reports a module without a resource" \
      eval '! (cd "$work/$arch" && timeout 60 wine verinfo.exe plain.exe >/dev/null 2>&1 </dev/null)'
  qw_stop_wine
done
echo "FIGURE dist sizes: $(for a in linux win64 win32; do
  f="$QW_TOP/dist/$a/Quillwork.dll"; [ $a = linux ] && f="$QW_TOP/dist/linux/libquillwork.so.$version"
  printf '%s %s B (debug %s B, unstripped %s B); ' $a "$(stat -c %s "$f")" "$(stat -c %s "$f.debug")" \
    "$(stat -Lc %s "$QW_TOP/build/$a/bin/$(basename "$f")")"; done)"
echo "FIGURE package-dist suite took $(( $(date +%s) - start )) s"
