# The interface as hosts of other compilers see it. Source it; needs clang (for the
# MSVC view) and the MinGW compilers. Each check prints what differs and returns non-zero.

QW_ABI_DIR=${QW_ABI_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)}
QW_HEADER_DIR=${QW_HEADER_DIR:-$QW_ABI_DIR/../../LogClass}

# Reads LLVM IR and prints "slot convention" for every call through a table of
# the log object (the C host's hand-laid one or ILogObject's), one per slot.
qw_ir_calls() {
  awk '/ call / { if (slot != "" && /call [^@]*%[0-9]+\(/) print slot, (match($0, /x86_[a-z]+cc /) ? substr($0, RSTART + 4, RLENGTH - 7) : "cdecl")
                  slot = ""; next }
       /= getelementptr/ && (/%struct\.QwLogTable,/ || /\(%class\.ILogObject\*/ || /inbounds ptr, ptr/) {
         n = split($0, f, /[ ,]+/); slot = f[n] }' | sort -u -n
}

# The slots and conventions slots.txt requires of a target (x64: one convention).
qw_want_calls() {
  if [ "$1" = i686-pc-windows-msvc ]; then
    awk '!/^#/ && NF {print $1, $3}' "$QW_ABI_DIR/slots.txt"
  else
    awk '!/^#/ && NF {print $1, "cdecl"}' "$QW_ABI_DIR/slots.txt"
  fi
}

# Compares got with want, printing the difference under a title on mismatch.
qw_same() {
  [ "$2" = "$3" ] && return 0
  echo "$1:"; diff <(echo "$3") <(echo "$2") | sed 's/^/  /'
  return 1
}

# clang's table dump for an MSVC target gives ILogObject seven slots, in the order
# of slots.txt, and MSVC-compiled calls use the slot and convention slots.txt gives.
qw_msvc_layout_matches() {
  local target=$1 out dump names want
  out=$(clang++ --target="$target" -S -emit-llvm -o - -Xclang -fdump-vtable-layouts \
        -I"$QW_HEADER_DIR" "$QW_ABI_DIR/MsvcHost.cpp" 2>&1) || { echo "$out" | head; return 1; }
  dump=$(awk '/^VFTable indices for .ILogObject. \(7 entries\)/{t=1; next} t && /^ +[0-9]+ \|/{print; next} t{exit}' <<<"$out")
  names=$(sed -E 's/^ +([0-9]+) \| [A-Za-z]+ ILogObject::([A-Za-z]+)\(.*/\1 \2/' <<<"$dump")
  want=$(awk '!/^#/ && NF {print $1, $2}' "$QW_ABI_DIR/slots.txt")
  qw_same "$target table dump" "$names" "$want" || return 1
  qw_same "$target calls of a C++ host" "$(qw_ir_calls <<<"$out")" "$(qw_want_calls "$target")"
}

# The C host's hand-laid table, compiled for the same MSVC target, makes the same calls.
qw_c_table_matches() {
  local target=$1 out
  out=$(clang --target="$target" -std=c99 -S -emit-llvm -o - "$QW_ABI_DIR/QwDrive.c" 2>&1) || { echo "$out" | head; return 1; }
  qw_same "$target calls of the C host" "$(qw_ir_calls <<<"$out")" "$(qw_want_calls "$target")"
}

# The public header includes nothing (so no <windows.h>) for compiler $1; the
# compiler's own implicit stdc-predef.h does not count.
qw_header_includes_nothing() {
  local deps
  deps=$("$1" -M -I"$QW_HEADER_DIR" "$QW_ABI_DIR/HeaderUse.cpp" 2>&1) || { echo "$deps" | head; return 1; }
  deps=$(tr -d '\\\n' <<<"$deps" | tr -s ' ' '\n' | grep -v -e ':$' -e '^$' -e 'stdc-predef\.h$' | sed 's|.*/||' | sort)
  qw_same "headers $1 reads" "$deps" "$(printf '%s\n' HeaderUse.cpp Quillwork.h)"
}

# A C++ host compiles against the header, warnings as errors; extra flags follow.
qw_header_compiles() {
  local out
  out=$("$@" -fsyntax-only -Wall -Wextra -Werror -I"$QW_HEADER_DIR" "$QW_ABI_DIR/HeaderUse.cpp" 2>&1) && return 0
  echo "$out" | head -8
  return 1
}
