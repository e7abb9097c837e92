#!/usr/bin/env bash
# The .deb files of `./run package` on this machine: their contents, then installed
# with dpkg -i, a host built with pkg-config and one with find_package, both run with
# no rpath and no LD_LIBRARY_PATH, and the packages removed again (also on failure).
set -u
: "${QW_TOP:=$(cd "$(dirname "$0")/../.." && pwd)}"
export QW_TOP
source "$QW_TOP/tests/lib/common.sh"
work="$QW_TOP/build/package-deb"
pkgs="$QW_TOP/dist/packages"
rm -rf "$work" && mkdir -p "$work"
version=$(for p in MAJOR MINOR PATCH; do
  sed -n "s/^#define QUILLWORK_VERSION_$p \+\([0-9]\+\).*/\1/p" "$QW_TOP/LogClass/Quillwork.h"; done | paste -sd.)
arch=$(dpkg --print-architecture)
runtime="$pkgs/libquillwork1_${version}_$arch.deb"
dev="$pkgs/libquillwork-dev_${version}_$arch.deb"
tools="$pkgs/quillwork-tools_${version}_$arch.deb"
names=(libquillwork1 libquillwork-dev)
[ -d "$QW_TOP/tools/qwlog" ] && names+=(quillwork-tools)

# dpkg, waiting while another process holds its lock.
dpkg_locked() {
  local i
  for i in $(seq 1 40); do
    dpkg "$@" >>"$work/dpkg.log" 2>&1 && return 0
    grep -q 'lock' "$work/dpkg.log" || return 1
    sleep 15
  done
  return 1
}

# Purges whichever of the packages are installed, all in one call (the dev package
# depends on the library).
remove_packages() {
  local n present=()
  for n in "${names[@]}"; do
    dpkg -s "$n" >/dev/null 2>&1 && present+=("$n")
  done
  [ ${#present[@]} -eq 0 ] || dpkg_locked -P "${present[@]}"
}

# The files a package holds: each expected path present, and none of the forbidden ones.
holds() {
  local deb=$1 list want
  list=$(dpkg-deb -c "$deb" 2>/dev/null | awk '{print $6 ($7 == "->" ? " -> " $8 : "")}') || return 1
  shift
  for want in "$@"; do
    if [ "${want#!}" != "$want" ]; then
      grep -q -- "${want#!}" <<<"$list" && { echo "holds ${want#!}"; return 1; }
    else
      grep -qxF -- "$want" <<<"$list" || { echo "lacks $want"; return 1; }
    fi
  done
  return 0
}

contents() {
  qw_check "libquillwork1: the library and its SONAME link, the license, no header" holds "$runtime" \
    "./usr/lib/libquillwork.so.$version" "./usr/lib/libquillwork.so.1 -> libquillwork.so.$version" \
    ./usr/share/doc/libquillwork1/copyright '!Quillwork.h' '!libquillwork.so ->'
  qw_check "libquillwork-dev: header, link name, CMake package, pkg-config file, license" holds "$dev" \
    ./usr/include/Quillwork.h "./usr/lib/libquillwork.so -> libquillwork.so.1" \
    ./usr/lib/cmake/Quillwork/QuillworkConfig.cmake ./usr/lib/cmake/Quillwork/QuillworkConfigVersion.cmake \
    ./usr/lib/pkgconfig/quillwork.pc ./usr/share/doc/libquillwork-dev/copyright '!libquillwork.so.1.0'
  qw_check "libquillwork-dev depends on libquillwork1 of its own version" \
    eval 'dpkg-deb -f "$dev" Depends | grep -qxF "libquillwork1 (= $version)"'
  qw_check "libquillwork1 library is stripped" eval \
    'dpkg-deb -x "$runtime" "$work/x" && ! objdump -h "$work/x/usr/lib/libquillwork.so.$version" | grep -q debug_info'
  if [ -d "$QW_TOP/tools/qwlog" ]; then
    qw_check "quillwork-tools: qwlog" holds "$tools" ./usr/bin/qwlog
  fi
  control_fields
}

# Each package: a synopsis of its own, a long description, the project's maintainer and
# a Debian changelog of its version that dpkg can read.
control_fields() {
  local deb name synopses=()
  for deb in "$runtime" "$dev" $([ -d "$QW_TOP/tools/qwlog" ] && echo "$tools"); do
    name=$(dpkg-deb -f "$deb" Package)
    synopses+=("$(dpkg-deb -f "$deb" Description | head -1)")
    qw_check "$name: a long description under its synopsis" \
      eval '[ "$(dpkg-deb -f "$deb" Description | sed 1d | grep -c "^ [^ ]")" -ge 2 ]'
    qw_check "$name: maintainer is the project's, not a local address" \
      eval 'dpkg-deb -f "$deb" Maintainer | grep -qE "^Quillwork maintainers <[^@ ]+@[^@ ]+\.[a-z]+>$" && ! dpkg-deb -f "$deb" Maintainer | grep -q localhost'
    qw_check "$name: changelog.Debian.gz of version $version" changelog_of "$deb" "$name"
  done
  qw_check "every package has a synopsis of its own (${#synopses[@]})" \
    eval '[ "$(printf "%s\n" "${synopses[@]}" | sort -u | grep -c .)" = ${#synopses[@]} ]'
}

# The package holds usr/share/doc/<name>/changelog.Debian.gz, and dpkg-parsechangelog reads
# the package's version and the maintainer from it.
changelog_of() {
  local deb=$1 name=$2 dir="$work/changelog-$2" log
  rm -rf "$dir" && dpkg-deb -x "$deb" "$dir" || return 1
  log="$dir/usr/share/doc/$name/changelog.Debian.gz"
  [ -f "$log" ] || { echo "no changelog.Debian.gz"; return 1; }
  gunzip -c "$log" >"$dir/changelog" &&
    [ "$(dpkg-parsechangelog -l "$dir/changelog" -S Version)" = "$version" ] &&
    dpkg-parsechangelog -l "$dir/changelog" -S Maintainer | grep -q '^Quillwork maintainers' ||
    { head -5 "$dir/changelog"; return 1; }
}

# pkg-config of the installed package: prefix /usr and plain paths, no "..".
pkg_config_clean() {
  local flags
  flags=$(pkg-config --cflags --libs quillwork) || return 1
  [ "$(pkg-config --variable=prefix quillwork)" = /usr ] &&
    [ "$(pkg-config --variable=includedir quillwork)" = /usr/include ] &&
    ! grep -q '\.\.' <<<"$flags" || { echo "flags: $flags, prefix $(pkg-config --variable=prefix quillwork)"; return 1; }
}

# Builds examples/link with only what pkg-config says and runs it from its folder.
pkg_config_host() {
  local dir="$work/pkgconfig" flags
  mkdir -p "$dir"
  flags=$(pkg-config --cflags --libs quillwork) || { echo "pkg-config does not know quillwork"; return 1; }
  # shellcheck disable=SC2086
  g++ -Wall -Wextra -Werror -o "$dir/linked_host" "$QW_TOP/examples/link/main.cpp" $flags || return 1
  runs_and_logs "$dir"
}

# Builds examples/link with find_package(Quillwork) from the system prefix and runs it.
find_package_host() {
  local dir="$work/find-package"
  { cmake -S "$QW_TOP/examples/link" -B "$dir" && cmake --build "$dir"; } >"$dir.log" 2>&1 || { tail -5 "$dir.log"; return 1; }
  grep -q '/usr/lib/cmake/Quillwork' "$dir/CMakeCache.txt" || { echo "found elsewhere"; return 1; }
  runs_and_logs "$dir"
}

# A built host starts with the library from /usr/lib (no rpath, no LD_LIBRARY_PATH) and logs.
runs_and_logs() {
  local dir=$1
  readelf -d "$dir/linked_host" | grep -qE 'R(UN)?PATH' && { echo "host has an rpath"; return 1; }
  (cd "$dir" && env -u LD_LIBRARY_PATH timeout 60 ./linked_host >run.out 2>&1 </dev/null) || { cat "$dir/run.out"; return 1; }
  ldd "$dir/linked_host" | grep -qE '=> (/usr)?/lib/libquillwork.so.1 ' || { ldd "$dir/linked_host"; return 1; }
  grep -qF 'linked host started' "$dir"/Log/*/*_Linked.log
}

start=$(date +%s)
if [ "$(id -u)" != 0 ]; then
  echo "SKIP package-deb: installing a package needs root"
  exit 0
fi
for n in "${names[@]}"; do
  if dpkg -s "$n" >/dev/null 2>&1; then qw_say "FAIL $n is already installed on this machine; left alone"; exit 1; fi
done
qw_check "dist/packages holds the .deb files of version $version" eval '[ -s "$runtime" ] && [ -s "$dev" ]'
contents
trap remove_packages EXIT
debs=("$runtime" "$dev"); [ -d "$QW_TOP/tools/qwlog" ] && debs+=("$tools")
if dpkg_locked -i "${debs[@]}"; then
  qw_say "PASS dpkg -i of ${#debs[@]} packages"
  qw_check "ldconfig knows libquillwork.so.1 after the install" eval 'ldconfig -p | grep -q "libquillwork.so.1 "'
  qw_check "pkg-config file: prefix /usr, plain paths" pkg_config_clean
  qw_check "pkg-config host builds and runs against /usr" pkg_config_host
  qw_check "find_package host builds and runs against /usr" find_package_host
  [ -d "$QW_TOP/tools/qwlog" ] && qw_check "installed qwlog runs" eval 'qwlog --help >/dev/null 2>&1'
else
  qw_say "FAIL dpkg -i of ${#debs[@]} packages"; tail -5 "$work/dpkg.log"
fi
remove_packages
qw_check "dpkg -P leaves no library, header or package file behind" \
  eval '[ ! -e /usr/lib/libquillwork.so.1 ] && [ ! -e /usr/include/Quillwork.h ] && [ ! -e /usr/lib/pkgconfig/quillwork.pc ] && ! ldconfig -p | grep -q libquillwork'
echo "FIGURE package-deb suite took $(( $(date +%s) - start )) s"
