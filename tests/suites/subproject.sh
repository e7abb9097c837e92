#!/usr/bin/env bash
# Quillwork inside another project's build: add_subdirectory and FetchContent (from a
# git repository of the current tree, by file URL), Linux and MinGW x64 under Wine; the
# top project without GoogleTest; the version in the header against what the build made.
set -u
: "${QW_TOP:=$(cd "$(dirname "$0")/../.." && pwd)}"
export QW_TOP
source "$QW_TOP/tests/lib/common.sh"
work="$QW_TOP/build/subproject"
consumer="$QW_TOP/tests/subproject"
rm -rf "$work" && mkdir -p "$work"

# The version the header states, as MAJOR.MINOR.PATCH.
header_version() {
  local p v=()
  for p in MAJOR MINOR PATCH; do
    v+=("$(sed -n "s/^#define QUILLWORK_VERSION_$p \+\([0-9]\+\).*/\1/p" "$QW_TOP/LogClass/Quillwork.h")")
  done
  (IFS=.; echo "${v[*]}")
}
version=$(header_version)

# A git repository holding the tree as it is now (tracked and new files), on branch main.
make_repo() {
  local repo="$work/repo"
  mkdir -p "$repo"
  (cd "$QW_TOP" && git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$repo") &&
  (cd "$repo" && git init -q -b main && git add -A &&
     git -c user.name=qw -c user.email=qw@localhost commit -qm tree) >/dev/null
}

# Configures and builds the consumer in $work/<name>; the arguments after the name go to cmake.
build_consumer() {
  local name=$1; shift
  { cmake -S "$consumer" -B "$work/$name" "$@" && cmake --build "$work/$name" -j2; } >"$work/$name.log" 2>&1 ||
    { tail -15 "$work/$name.log"; return 1; }
}

# Runs the consumer of a build (under Wine for win64) from the folder it was built into
# (bin/, or the build folder itself with QW_DLL=copy): it prints the header's version and
# leaves one log holding its entry.
runs_and_logs() {
  local name=$1 arch=$2 bin="$work/$1/bin" out rc=0
  [ -d "$bin" ] || bin="$work/$1"
  rm -rf "$bin/Log"
  if [ "$arch" = win64 ]; then
    out=$(cd "$bin" && timeout 120 wine consumer.exe 2>/dev/null </dev/null | tr -d '\r') || rc=$?
  else
    out=$(cd "$bin" && timeout 60 ./consumer 2>/dev/null </dev/null) || rc=$?
  fi
  [ "$rc" = 0 ] && [ "$out" = "$version" ] || { echo "exit $rc, printed '$out'"; return 1; }
  grep -qF "consumer of Quillwork $version" "$bin"/Log/*/*_Consumer.log
}

# A subproject builds the library and nothing of the suites, demo or static core.
builds_no_extras() {
  local dir="$work/$1" t
  for t in qw_unit qw_blackbox quillwork_demo quillwork_core gtest; do
    if find "$dir" -name "*$t*" -type f \( -name '*.a' -o -name '*.exe' -o -perm -u+x \) | grep -q .; then
      echo "built $t"; return 1
    fi
  done
}

linux_consumers() {
  qw_check "linux add_subdirectory: consumer configures and builds" \
    build_consumer sub-linux -DQW_HOW=subdirectory -DQW_SOURCE="$QW_TOP"
  qw_check "linux add_subdirectory: consumer runs and logs" runs_and_logs sub-linux linux
  qw_check "linux add_subdirectory: no suite, demo or core built" builds_no_extras sub-linux
  qw_check "Quillwork::Headers alone links no library" \
    eval '! readelf -d "$work/sub-linux/bin/header_only_consumer" | grep -q quillwork'
  if make_repo; then
    qw_check "linux FetchContent from a git URL: consumer configures and builds" \
      build_consumer fetch-linux -DQW_HOW=fetch -DQW_REPO="file://$work/repo" -DQW_TAG=main
    qw_check "linux FetchContent: consumer runs and logs" runs_and_logs fetch-linux linux
  else
    qw_say "FAIL git repository of the tree for FetchContent"
  fi
}

# The DLL stays where Quillwork's part of the build puts it unless the parent project says
# otherwise: both ways the README gives (one runtime output folder, a POST_BUILD copy).
win64_consumer() {
  local way
  qw_wine_env win64
  for way in outdir copy; do
    qw_check "win64 add_subdirectory, DLL by $way: consumer configures and builds" \
      build_consumer "sub-win64-$way" -DQW_HOW=subdirectory -DQW_SOURCE="$QW_TOP" -DQW_DLL=$way \
        -DCMAKE_TOOLCHAIN_FILE="$QW_TOP/cmake/mingw-x86_64.cmake"
    qw_check "win64 add_subdirectory, DLL by $way: Quillwork.dll beside consumer.exe, which runs under Wine and logs" \
      eval '[ -f "$(dirname "$(find "$work/sub-win64-$way" -name consumer.exe | head -1)")/Quillwork.dll" ] && runs_and_logs "sub-win64-$way" win64'
  done
  qw_stop_wine
}

# The top project on a machine without GoogleTest: configured with a clear message, the
# library builds, and no suite target exists.
no_googletest() {
  local dir="$work/top-no-gtest"
  cmake -S "$QW_TOP" -B "$dir" -DQW_GTEST_SOURCE_DIR="$work/none" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
    >"$dir.log" 2>&1 || { tail -5 "$dir.log"; return 1; }
  grep -q 'GoogleTest not found' "$dir.log" || { echo "no message"; return 1; }
  cmake --build "$dir" --target help | grep -q 'qw_unit' && { echo "qw_unit target exists"; return 1; }
  cmake --build "$dir" --target quillwork -j2 >>"$dir.log" 2>&1
}

# What the build made carries the header's version: the .so file name, the pkg-config
# file and the CMake package version file.
versions_agree() {
  local b="$QW_TOP/build/linux" pc cv
  [ -e "$b/bin/libquillwork.so.$version" ] || { echo "no libquillwork.so.$version"; return 1; }
  pc=$(sed -n 's/^Version: //p' "$b/quillwork.pc")
  cv=$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")/\1/p' "$b/QuillworkConfigVersion.cmake")
  [ "$pc" = "$version" ] && [ "$cv" = "$version" ] || { echo "pc $pc, package $cv, header $version"; return 1; }
}

start=$(date +%s)
qw_check "header states a version ($version)" eval '[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]'
qw_check "built library, pkg-config and CMake package carry the header's version" versions_agree
linux_consumers
win64_consumer
qw_check "top project without GoogleTest: message, library builds, no suites" no_googletest
echo "FIGURE subproject suite took $(( $(date +%s) - start )) s"
