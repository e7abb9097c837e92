#!/usr/bin/env bash
# The format checks the public header asks of a host's compiler: each call of
# tests/package/formats.txt compiled by g++, clang++, MinGW g++ (x64, x86) and clang++
# for MSVC, warned about or clean as the table says; MSVC's annotation taken when
# <sal.h> defines it; every caller in the repository's three builds built with the
# format warnings as errors (so the build proves them free of one), which a wrong call trips; and a host's own BOOL, or <windows.h>, before or after the header.
set -u
: "${QW_TOP:=$(cd "$(dirname "$0")/../.." && pwd)}"
export QW_TOP
source "$QW_TOP/tests/lib/common.sh"
work="$QW_TOP/build/package-header"
rm -rf "$work" && mkdir -p "$work"

# Compiler command lines by group: "group|command".
compilers=(
  "posix|g++ -std=c++11"
  "posix|clang++ -std=c++11"
  "mingw|x86_64-w64-mingw32-g++-posix -std=c++11"
  "mingw|i686-w64-mingw32-g++-posix -std=c++11"
  "msvc|clang++ --target=x86_64-pc-windows-msvc -fms-extensions"
  "msvc|clang++ --target=i686-pc-windows-msvc -fms-extensions"
)

# Compiles one call in a host function with -Wall -Wextra; prints the compiler's output.
compile_call() {
  local cmd=$1 call=$2 n=$3
  printf '#include "Quillwork.h"\nvoid Use(ILogObject* pLog)\n{\n    %s;\n}\n' "$call" >"$work/call$n.cpp"
  # shellcheck disable=SC2086
  $cmd -fsyntax-only -Wall -Wextra -I"$QW_TOP/LogClass" "$work/call$n.cpp" 2>&1
}

# One table row on one compiler: warn means a -Wformat warning on the call's line,
# clean means no diagnostic at all.
call_as_expected() {
  local cmd=$1 expect=$2 call=$3 n=$4 out
  out=$(compile_call "$cmd" "$call" "$n")
  if [ "$expect" = warn ]; then
    grep -qE "call$n\.cpp:4:.*warning: .*\[-Wformat" <<<"$out" && return 0
  else
    [ -z "$out" ] && return 0
  fi
  echo "${out:-no warning}" | head -4
  return 1
}

table_checks() {
  local n=0 group expect call entry cgroup cmd
  while read -r group expect call; do
    case "$group" in ''|'#'*) continue ;; esac
    for entry in "${compilers[@]}"; do
      cgroup=${entry%%|*}; cmd=${entry#*|}
      [ "$group" = all ] || [ "$group" = "$cgroup" ] || continue
      n=$((n + 1))
      qw_check "${cmd%% -*}${cmd#* --target=}: $expect: $call" call_as_expected "$cmd" "$expect" "$call" $n
    done
  done <"$QW_TOP/tests/package/formats.txt"
}

# With _Printf_format_string_ defined before the header (as <sal.h> does for /analyze),
# the format parameter of both variadic slots carries it; without, the header names nothing.
msvc_annotation() {
  local out
  out=$(printf '#define _Printf_format_string_ QW_SAL_MARK\n#include "Quillwork.h"\n' |
        clang++ --target=x86_64-pc-windows-msvc -E -P -I"$QW_TOP/LogClass" -x c++ - 2>&1)
  [ "$(grep -cE '(WriteLog|WriteSilent)\(QW_SAL_MARK const char\* pszFormat' <<<"$out")" = 2 ] ||
    { grep -E 'WriteLog|WriteSilent' <<<"$out"; return 1; }
  out=$(printf '#include "Quillwork.h"\n' | clang++ --target=x86_64-pc-windows-msvc -E -P -I"$QW_TOP/LogClass" -x c++ - 2>&1)
  ! grep -q '_Printf_format_string_' <<<"$out"
}

# The BOOL cases of tests/abi/BoolUse.cpp: "case|compilers|what"; compilers are the
# groups of the table above (<windows.h> only where the compiler has one).
bool_cases=(
  "0|posix mingw msvc|no BOOL of the host's"
  "1|mingw|<windows.h> before the header"
  "2|mingw|<windows.h> after the header"
  "3|posix mingw msvc|#define BOOL int"
  "4|posix mingw msvc|#define BOOL bool"
  "5|posix mingw msvc|typedef int BOOL before"
  "6|posix mingw msvc|typedef int BOOL after"
  "7|posix mingw msvc|typedef unsigned char BOOL with QUILLWORK_NO_BOOL"
)

# Compiles one case warning-free, -Wnon-virtual-dtor included, the slots still int.
bool_case_compiles() {
  local cmd=$1 n=$2 out
  # shellcheck disable=SC2086
  out=$($cmd -fsyntax-only -Wall -Wextra -Wnon-virtual-dtor -Werror -DQW_BOOL_CASE="$n" \
        -I"$QW_TOP/LogClass" "$QW_TOP/tests/abi/BoolUse.cpp" 2>&1) && return 0
  echo "$out" | head -4
  return 1
}

bool_checks() {
  local row n groups what entry
  for row in "${bool_cases[@]}"; do
    IFS='|' read -r n groups what <<<"$row"
    for entry in "${compilers[@]}" "posix|g++ -std=c++98 -pedantic"; do
      [[ " $groups " == *" ${entry%%|*} "* ]] || continue
      qw_check "BOOL: ${entry#*|}: $what" bool_case_compiles "${entry#*|}" "$n"
    done
  done
}

start=$(date +%s)
table_checks
bool_checks
qw_check "msvc: _Printf_format_string_ on both format parameters when <sal.h> defines it" msvc_annotation
# The three builds' callers: their compile commands, and one wrong call compiled by each build's.
for arch in linux win64 win32; do
  [ -f "$QW_TOP/build/$arch/compile_commands.json" ] || continue
  { python3 "$QW_TOP/tests/package/format_callers.py" "$QW_TOP/build/$arch" "$QW_TOP"; echo "exit $?"; } \
    >"$work/callers-$arch.out" 2>&1 &
done
wait
# The report of one build's callers; true when every caller was built with the format errors.
callers_clean() { head -n 20 "$work/callers-$1.out"; [ "$(tail -n 1 "$work/callers-$1.out")" = "exit 0" ]; }
for arch in linux win64 win32; do
  if [ -f "$QW_TOP/build/$arch/compile_commands.json" ]; then
    qw_check "$arch: every caller in the build is built with format warnings as errors, and a wrong call fails" callers_clean "$arch"
  else
    qw_say "FAIL $arch: no compile_commands.json (configure the preset first)"
  fi
done
echo "SKIP mingw: %f draws no warning: GCC's ms_printf checks against msvcrt's printf, which has %f; wvsprintfA has not"
echo "FIGURE package-header suite took $(( $(date +%s) - start )) s"
