#!/usr/bin/env bash
# Binary interface and packaging, on the targets `./run build` made: the C host
# through its hand-laid table (Linux, Wine x64, Wine x86) against one golden file,
# the DLLs' exports, imports and table, the MSVC view of the header, the installed
# package with its consumers, and the console window under Wine.
set -u
: "${QW_TOP:=$(cd "$(dirname "$0")/../.." && pwd)}"
export QW_TOP
source "$QW_TOP/tests/lib/common.sh"
source "$QW_TOP/tests/abi/dll.sh"
source "$QW_TOP/tests/abi/layout.sh"
source "$QW_TOP/tests/abi/hosts.sh"
source "$QW_TOP/tests/abi/package.sh"
golden="$QW_TOP/tests/abi/expected.log"
mkdir -p "$QW_TOP/build/abi"

# The DLL of each architecture: one plain export, system imports, the table in order.
dll_checks() {
  local arch od dll
  for arch in win64 win32; do
    od=$(qw_objdump $arch); dll="$QW_TOP/dist/$arch/Quillwork.dll"
    qw_check "$arch DLL exports only CreateLogObject, undecorated" qw_dll_exports_only_factory "$od" "$dll"
    qw_check "$arch DLL imports only system DLLs" qw_dll_imports_only_system "$od" "$dll"
    # The table is found through the symbol table, which the stripped DLL in dist/ no longer has.
    qw_check "$arch DLL table: slot order and callee pops" qw_dll_slots_match "$od" "$QW_TOP/build/$arch/bin/Quillwork.dll" $arch
  done
  # The checks catch what they guard against: a DLL with a decorated export and a C++ run-time DLL.
  local bad="$QW_TOP/build/abi/bad"
  mkdir -p "$bad"
  printf '#include <string>\nextern "C" __declspec(dllexport) int __stdcall CreateLogObject(int n)\n{ return (int)std::to_string(n).size(); }\n' >"$bad/bad.cpp"
  i686-w64-mingw32-g++-posix -shared -o "$bad/bad.dll" "$bad/bad.cpp"
  qw_check "export check refuses CreateLogObject@4" eval '! qw_dll_exports_only_factory i686-w64-mingw32-objdump "$bad/bad.dll" >/dev/null'
  qw_check "import check refuses libstdc++" eval '! qw_dll_imports_only_system i686-w64-mingw32-objdump "$bad/bad.dll" >/dev/null'
}

# The header as MSVC, MinGW and g++ hosts compile it.
header_checks() {
  local t c d
  for t in i686-pc-windows-msvc x86_64-pc-windows-msvc; do
    qw_check "$t: C++ host's table and calls match the slots" qw_msvc_layout_matches $t
    qw_check "$t: C host's table makes the same calls" qw_c_table_matches $t
    qw_check "$t: header compiles" qw_header_compiles clang++ --target=$t
  done
  for c in g++ x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix; do
    qw_check "$c: header includes nothing" qw_header_includes_nothing $c
  done
  qw_check "g++ C++98 pedantic: header compiles" qw_header_compiles g++ -std=c++98 -pedantic
  for c in x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix; do
    for d in "" -DQW_WINDOWS_FIRST -DQW_WINDOWS_AFTER; do
      qw_check "$c ${d:-alone}: header compiles" qw_header_compiles $c $d
    done
  done
}

# One C host run: every step gives what it must, and the log is the golden file
# (stamps masked where the clock could not be frozen).
host_run() {
  local arch=$1 masked=$2 log
  qw_build_c_host "$arch" || { echo "FAIL $arch C host builds"; return; }
  qw_run_c_host "$arch"; local rc=$?
  qw_check "$arch C host: every TRUE is exactly 1 ($(grep -c '^ok' "$QW_TOP/build/abi/$arch/host.out") steps)" [ $rc = 0 ]
  [ $rc = 0 ] || qw_c_host_bad_steps "$arch"
  log=$(qw_c_host_log "$arch")
  if [ "$masked" = masked ]; then
    qw_check "$arch C host log equals the golden Linux log, stamps masked" \
      cmp -s <(qw_mask_stamps "${log:-/dev/null}") <(qw_mask_stamps "$golden")
  else
    qw_check "$arch C host log equals the golden Linux log byte for byte" cmp -s "${log:-/dev/null}" "$golden"
  fi
}

# The installed package: files, pkg-config, and both examples built and run.
package_checks() {
  local arch ex
  for arch in linux win64 win32; do
    qw_check "$arch cmake --install" qw_install_arch $arch
  done
  qw_check "linux prefix: header, libquillwork.so.1 as SONAME, package files" qw_linux_prefix_complete
  qw_check "linux pkg-config consumer builds and logs" qw_pkg_config_consumer
  for arch in linux win64 win32; do
    [ $arch = linux ] || qw_wine_env $arch
    for ex in link load-at-runtime; do
      if qw_build_example $arch $ex; then
        echo "PASS $arch example $ex builds with find_package"  # a build: never a skip
        local text="linked host started"; [ $ex = link ] || text="runtime host started"
        qw_check "$arch example $ex runs and logs" qw_run_example $arch $ex "$text"
        if [ $ex = load-at-runtime ] && [ $arch != linux ]; then
          qw_check "$arch example $ex without Quillwork.dll goes on without a log and exits 0" qw_run_example_alone $arch
        fi
      else
        echo "FAIL $arch example $ex builds with find_package"
      fi
    done
    [ $arch = linux ] || qw_stop_wine
  done
}

start=$(date +%s)
dll_checks
header_checks
host_run linux exact
qw_wine_env win64; host_run win64 exact; qw_stop_wine
qw_wine_env win32; host_run win32 masked; qw_stop_wine
package_checks
"$QW_TOP/tests/abi/screenshot.sh" win64
echo "FIGURE abi suite took $(( $(date +%s) - start )) s"
