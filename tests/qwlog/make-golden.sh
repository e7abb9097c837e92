#!/usr/bin/env bash
# Writes the golden log files in golden/ with the real Linux library and a frozen clock:
# each script of scripts/ run by the small host QwWriter. The expected JSON beside them was
# checked by hand; rerun this only when the library's bytes change on purpose.
# 090807_olddec.log stays as it is: the dumps of scripts/dumps.txt as a library that cut
# decimal lines at 48 characters wrote them, for the reader's sake.
#   tests/qwlog/make-golden.sh   (after ./run build or a linux preset build)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
faketime=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -std=c++17 -O1 -I "$top/LogClass" -I "$top/demo" "$here/QwWriter.cpp" -o "$work/qwwriter" -ldl
cp "$top/dist/linux/libquillwork.so" "$work/"
run() {  # run SCRIPT TIME
  (cd "$work" && LD_PRELOAD=$faketime FAKETIME="$2" TZ=UTC ./qwwriter <"$here/scripts/$1.txt")
}
run worked "2024-03-05 09:08:07"
run dumps "2024-03-05 09:08:07"
run text "2024-03-05 09:08:07"
run reopen "2024-03-05 09:08:07"
run null "2024-03-05 09:08:07"
run later "2024-03-05 09:09:07"
mkdir -p "$here/golden/2024-03-05"
find "$here/golden/2024-03-05" -name '*.log' ! -name 090807_olddec.log -delete
cp "$work"/Log/2024-03-05/* "$here/golden/2024-03-05/"
python3 "$here/mkstamps.py" "$here/golden"  # the stamp forms, written from their records
ls -l "$here/golden/2024-03-05"
