# Checks on a built Quillwork.dll with the MinGW binutils. Source it; each function
# prints what it found on failure and returns non-zero.

QW_ABI_DIR=${QW_ABI_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)}

# The objdump that reads DLLs of an architecture (win64 or win32).
qw_objdump() {
  if [ "$1" = win32 ]; then echo i686-w64-mingw32-objdump; else echo x86_64-w64-mingw32-objdump; fi
}

# The DLL exports exactly one entry, by the plain name CreateLogObject.
qw_dll_exports_only_factory() {
  local od=$1 dll=$2 names count
  names=$("$od" -p "$dll" | awk '/^\[Ordinal\/Name Pointer\] Table/{t=1; next} t && /^\t\[/{print $NF; next} t{t=0}')
  count=$("$od" -p "$dll" | awk '/Export Address Table[ \t]+[0-9a-fA-F]+$/{print $NF; exit}')
  [ "$names" = CreateLogObject ] && [ "$((16#${count:-0}))" = 1 ] && return 0
  echo "exports: count ${count:-none}, names: ${names:-none}"
  return 1
}

# The DLL imports only from system DLLs (the kernel, user32, the C run-time).
qw_dll_imports_only_system() {
  local od=$1 dll=$2 names bad
  names=$("$od" -p "$dll" | awk '/DLL Name:/{print $3}')
  bad=$(grep -viE '^(kernel32|user32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$' <<<"$names")
  [ -n "$names" ] && [ -z "$bad" ] && return 0
  echo "imports: $(tr '\n' ' ' <<<"$names")"
  return 1
}

# Prints "slot name pops" for each of the seven slots of CTxtLog's table in the DLL:
# the method each slot points at and the bytes its ret instructions pop (x86 only;
# "-" when they disagree). Needs the DLL's symbol table (a build that is not stripped).
qw_dll_slots() {
  local od=$1 dll=$2 ptr=4 sym
  [ "$od" = x86_64-w64-mingw32-objdump ] && ptr=8
  sym=$("$od" -t "$dll" | awk '$NF ~ /^_?_ZTV7CTxtLog$/ && match($0, /sec +[0-9]+/) {
    print substr($0, RSTART + 4, RLENGTH - 4) + 0, $(NF-1)}')
  local sec off base start
  read -r sec off <<<"$sym"
  [ -n "$sec" ] || { echo "no symbol _ZTV7CTxtLog" >&2; return 1; }
  base=$("$od" -h "$dll" | awk -v i=$((sec - 1)) '$1 == i {print $4}')
  start=$(( 0x$base + off + 2 * ptr ))   # past the offset to top and the type information
  "$od" -s -j .rdata --start-address=$start --stop-address=$((start + 7 * ptr)) "$dll" \
    | awk -v ptr=$ptr '/^ [0-9a-f]+ /{for (i = 2; i <= 5; ++i) if (length($i) == 8 && $i ~ /^[0-9a-f]+$/) w = w $i} END{
        for (s = 0; s < 7; ++s) { a = ""; for (b = ptr - 1; b >= 0; --b) a = a substr(w, (s * ptr + b) * 2 + 1, 2); print a }}' \
    >"${TMPDIR:-/tmp}/qw_slots.$$"
  "$od" -d --no-show-raw-insn "$dll" | awk -v list="${TMPDIR:-/tmp}/qw_slots.$$" '
    function hex(s,   i, n) { n = 0; for (i = 1; i <= length(s); ++i) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1; return n }
    BEGIN { n = 0; while ((getline a < list) > 0) want[a] = n++ }
    /^[0-9a-f]+ <.*>:$/ { cur = ($1 in want) ? want[$1] : -1
                         if (cur >= 0) { name[cur] = $2; pops[cur] = "" } next }
    cur >= 0 && /\tret/ { p = ($NF ~ /^\$0x/) ? hex(substr($NF, 4)) : 0
                          pops[cur] = (pops[cur] == "" || pops[cur] == p) ? p : "-" }
    END { for (s = 0; s < 7; ++s) { m = name[s]; sub(/^<_?_ZN7CTxtLog[0-9]+/, "", m); sub(/E.*$/, "", m)
          print s, (m == "" ? "?" : m), (pops[s] == "" ? "?" : pops[s]) } }'
  rm -f "${TMPDIR:-/tmp}/qw_slots.$$"
}

# The DLL's table matches slots.txt: names in slot order and, on win32, the bytes each
# method pops (the callee-pops rule of __thiscall; cdecl pops nothing).
qw_dll_slots_match() {
  local od=$1 dll=$2 arch=$3 got want
  got=$(qw_dll_slots "$od" "$dll")
  if [ "$arch" = win32 ]; then
    want=$(awk '!/^#/ && NF {print $1, $2, $4}' "$QW_ABI_DIR/slots.txt")
  else  # one convention on x64: only the order counts
    want=$(awk '!/^#/ && NF {print $1, $2}' "$QW_ABI_DIR/slots.txt")
    got=$(cut -d' ' -f1,2 <<<"$got")
  fi
  [ "$got" = "$want" ] && return 0
  diff <(echo "$want") <(echo "$got") | sed 's/^/  /'
  return 1
}
