# The installed package as a consumer meets it. Source it after tests/lib/common.sh.

# Installs the build of an architecture into build/abi/prefix-<arch>.
qw_install_arch() {
  local prefix="$QW_TOP/build/abi/prefix-$1"
  rm -rf "$prefix"
  cmake --install "$QW_TOP/build/$1" --prefix "$prefix" >"$prefix.log" 2>&1
}

# The Linux prefix holds the header, the versioned library with its SONAME link
# and the package files, and the library names itself libquillwork.so.1.
qw_linux_prefix_complete() {
  local p="$QW_TOP/build/abi/prefix-linux" f soname
  for f in include/Quillwork.h lib/libquillwork.so.1 lib/libquillwork.so lib/cmake/Quillwork/QuillworkConfig.cmake \
           lib/pkgconfig/quillwork.pc; do
    [ -e "$p/$f" ] || { echo "missing $f"; return 1; }
  done
  soname=$(readelf -d "$p/lib/libquillwork.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = libquillwork.so.1 ] || { echo "SONAME ${soname:-none}"; return 1; }
}

# Configures and builds examples/<name> for an architecture against its prefix.
qw_build_example() {
  local arch=$1 name=$2 dir="$QW_TOP/build/abi/consumer-$arch-$2" tc=()
  case $arch in
    win64) tc=(-DCMAKE_TOOLCHAIN_FILE="$QW_TOP/cmake/mingw-x86_64.cmake") ;;
    win32) tc=(-DCMAKE_TOOLCHAIN_FILE="$QW_TOP/cmake/mingw-i686.cmake") ;;
  esac
  rm -rf "$dir"
  { cmake -S "$QW_TOP/examples/$name" -B "$dir" -DCMAKE_PREFIX_PATH="$QW_TOP/build/abi/prefix-$arch" "${tc[@]}" \
      && cmake --build "$dir"; } >"$dir.log" 2>&1 || { tail -15 "$dir.log"; return 1; }
}

# Runs a built example from its folder (under Wine for Windows); it must exit 0 and
# leave one log in its Log folder holding the banner and the line text $3.
qw_run_example() {
  local arch=$1 dir="$QW_TOP/build/abi/consumer-$1-$2" text=$3 exe rc=0
  exe=$(cd "$dir" && ls linked_host runtime_host linked_host.exe runtime_host.exe 2>/dev/null | head -1)
  rm -rf "$dir/Log"
  if [ "$arch" = linux ]; then
    (cd "$dir" && timeout 60 "./$exe" >run.out 2>&1 </dev/null) || rc=$?
  else
    (cd "$dir" && timeout 120 wine "$exe" >run.out 2>&1 </dev/null) || rc=$?
  fi
  [ "$rc" = 0 ] || { echo "exit $rc: $(head -3 "$dir/run.out")"; return 1; }
  local logs=("$dir"/Log/*/*.log)
  [ ${#logs[@]} -eq 1 ] && grep -q $'^\r$' "${logs[0]}" && grep -qF -- "$text" "${logs[0]}" && return 0
  echo "log: ${logs[*]}"
  return 1
}

# Builds examples/link with g++ and only what pkg-config says, and runs it.
qw_pkg_config_consumer() {
  local p="$QW_TOP/build/abi/prefix-linux" dir="$QW_TOP/build/abi/consumer-pkgconfig" flags
  rm -rf "$dir" && mkdir -p "$dir"
  flags=$(PKG_CONFIG_PATH="$p/lib/pkgconfig" pkg-config --cflags --libs quillwork) || return 1
  # shellcheck disable=SC2086
  g++ -Wall -Werror -o "$dir/linked_host" "$QW_TOP/examples/link/main.cpp" $flags -Wl,-rpath,"$p/lib" || return 1
  (cd "$dir" && timeout 60 ./linked_host >run.out 2>&1 </dev/null) && grep -qF 'linked host started' "$dir"/Log/*/*_Linked.log
}

# The load-at-runtime example of a Windows architecture, copied alone into an empty
# folder (no Quillwork.dll to load): it goes on without a log, exits 0 and writes nothing.
qw_run_example_alone() {
  local arch=$1 dir="$QW_TOP/build/abi/alone-$1" rc=0
  rm -rf "$dir" && mkdir -p "$dir"
  cp "$QW_TOP/build/abi/consumer-$arch-load-at-runtime/runtime_host.exe" "$dir/" || return 1
  (cd "$dir" && timeout 120 wine runtime_host.exe >run.out 2>&1 </dev/null) || rc=$?
  [ "$rc" = 0 ] && grep -q 'running without a log' "$dir/run.out" && [ ! -e "$dir/Log" ] && return 0
  echo "exit $rc: $(head -3 "$dir/run.out")"
  return 1
}
