#!/usr/bin/env bash
# `./run lib` in a fresh copy of the tree (what git tracks, as a clone has it): dist/linux gets
# the library with its links, the header and qwlog, and no test program, demo or GoogleTest
# is built on the way.
set -u
: "${QW_TOP:=$(cd "$(dirname "$0")/../.." && pwd)}"
export QW_TOP
source "$QW_TOP/tests/lib/common.sh"
work="$QW_TOP/build/run-lib"
tree="$work/tree"
rm -rf "$work" && mkdir -p "$tree"

(cd "$QW_TOP" && git ls-files -z | xargs -0 cp --parents -t "$tree") ||
  { echo "FAIL copy of the tracked tree"; exit 0; }
start=$SECONDS
rc=0
(cd "$tree" && ./run lib) >"$work/run-lib.out" 2>&1 </dev/null || rc=$?
cache=${CMAKE_CXX_COMPILER_LAUNCHER:+, compiles through $CMAKE_CXX_COMPILER_LAUNCHER (the test command's cache: not a first build's time)}
echo "FIGURE ./run lib in a fresh tree took $((SECONDS - start)) s$cache"
qw_check "./run lib exits 0" eval '[ $rc = 0 ] || { tail -15 "$work/run-lib.out"; false; }'

dist="$tree/dist/linux"
for f in Quillwork.h libquillwork.so libquillwork.so.1 qwlog; do
  qw_check "./run lib: dist/linux/$f is there" [ -e "$dist/$f" ]
done
qw_check "./run lib: dist/linux/qwlog runs" eval '"$dist/qwlog" --help >/dev/null 2>&1'

# Nothing but the library and the reader: no test program, demo or GoogleTest in the build.
built_extras() {
  find "$tree/build" -type f \( -name 'qw_*' -o -name 'quillwork_demo*' -o -name 'libgtest*' \) | head -5
}
qw_check "./run lib builds no test program, demo or GoogleTest" eval '[ -z "$(built_extras)" ] || { built_extras; false; }'
rm -rf "$work"
exit 0
