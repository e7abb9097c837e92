#!/usr/bin/env bash
# The README's quick start as a newcomer follows it: its program and its command lines,
# taken from README.md as written, built against dist/ on Linux and with MinGW for
# x64 and x86, run (under Wine for Windows), and the log each run leaves compared
# with the README's sample, stamps masked. Then the qwlog commands of "Reading logs" run
# as written on the Linux run's log, and the zip layout the Visual Studio section shows is
# checked against the unpacked win64 zip.
set -u
: "${QW_TOP:=$(cd "$(dirname "$0")/../.." && pwd)}"
export QW_TOP
source "$QW_TOP/tests/lib/common.sh"
source "$QW_TOP/tests/abi/hosts.sh"
work="$QW_TOP/build/package-readme"
readme="$QW_TOP/README.md"
rm -rf "$work" && mkdir -p "$work"

# The nth fenced block (1 = first) after the heading $1, without its fences.
fenced_block() {
  awk -v head="$1" -v want="$2" '
    $0 == head { on = 1; next }
    on && /^## / { exit }
    on && /^```/ { if (inside) { inside = 0; if (n == want) exit; next } inside = 1; n++; next }
    on && inside && n == want { print }' "$readme"
}

# The command line of the quick start that begins with $1 (indented by four spaces).
command_line() {
  awk -v start="    $1" 'index($0, start) == 1 { sub(/^    /, ""); print; exit }' "$readme"
}

# The command lines of the indented block that follows the heading $1 and starts with $2.
block_lines() {
  awk -v head="$1" -v start="    $2" '
    $0 == head { on = 1; next }
    on && /^## / { exit }
    on && index($0, start) == 1 { sub(/^    /, ""); print; got = 1; next }
    got && !/^    / { exit }' "$readme"
}

# Runs one qwlog line of the README in folder $1 with dist/linux first on PATH: exit 0 and
# some output (for pcap: a pcapng file holding the quick start's dump).
qwlog_line_runs() {
  local dir=$1 line=$2 out
  out=$(cd "$dir" && PATH="$QW_TOP/dist/linux:$PATH" timeout 60 bash -c "$line" 2>&1 </dev/null) ||
    { echo "$out" | head -5; return 1; }
  case $line in
    *" pcap "*) local f; f=$(sed -n 's/.* -o \([^ ]*\).*/\1/p' <<<"$line")
                [ -s "$dir/$f" ] && [ "$(head -c 4 "$dir/$f" | od -An -tx1 | tr -d ' ')" = 0a0d0d0a ] ||
                  { echo "no pcapng $f"; return 1; } ;;
    *) [ -n "$out" ] || { echo "printed nothing"; return 1; } ;;
  esac
}

# The layout block of the Visual Studio section (backslash paths) names what the unpacked
# win64 zip holds, under the top folder the section names.
zip_matches_layout() {
  local zip=$1 top root path n=0
  top=$(grep -o 'C:\\libs\\quillwork-[0-9.]*-win64\\' "$readme" | head -1 | sed 's/^C:\\libs\\//; s/\\$//')
  [ -n "$top" ] || { echo "no unpacked folder named"; return 1; }
  mkdir -p "$work/zip" && unzip -q -o "$zip" -d "$work/zip" || return 1
  root="$work/zip/$top"
  [ -d "$root" ] || { echo "the zip holds no top folder $top: $(ls "$work/zip")"; return 1; }
  while read -r path; do
    path=${path//\\//}; n=$((n + 1))
    [ -e "$root/$path" ] || { echo "lacks $path"; return 1; }
  done < <(awk '/^## Visual Studio/ { on = 1; next } on && /^## / { exit }
                on && /^    [a-z]+\\/ { print $1 }' "$readme")
  [ "$n" -ge 5 ] || { echo "$n paths in the layout block"; return 1; }
}

# The FetchContent snippet of "Get it" in a consumer project, its URL pointed at this
# repository: CMake clones it, checks out the README's GIT_TAG (a real commit of the
# history) and configures Quillwork inside; nothing is built.
fetchcontent_configures() {
  local dir="$work/fetch" tag
  mkdir -p "$dir" &&
    fenced_block "## Get it" 1 | grep -v '^add_subdirectory' | sed "s#GIT_REPOSITORY [^ ]*#GIT_REPOSITORY file://$QW_TOP#" >"$dir/fetch.cmake" &&
    printf 'cmake_minimum_required(VERSION 3.25)\nproject(FetchConsumer CXX)\nadd_executable(my_host main.cpp)\ninclude(fetch.cmake)\n' \
      >"$dir/CMakeLists.txt" && printf 'int main() { return 0; }\n' >"$dir/main.cpp" || return 1
  tag=$(sed -n 's/.*GIT_TAG \([0-9a-f]\{40\}\).*/\1/p' "$dir/fetch.cmake")
  [ -n "$tag" ] || { echo "no full commit hash as GIT_TAG"; return 1; }
  cmake -S "$dir" -B "$dir/build" >"$dir/configure.log" 2>&1 || { tail -10 "$dir/configure.log"; return 1; }
  [ "$(git -C "$dir/build/_deps/quillwork-src" rev-parse HEAD)" = "$tag" ]
}

# Builds with one command line of the README in the folder $1 and runs the program
# (under Wine when it is an .exe); the compiler must say nothing, even with -Wall -Wextra.
build_and_run() {
  local dir=$1 cmd=$2 exe=$3 out
  mkdir -p "$dir" && cp "$work/quickstart.cpp" "$dir/" && ln -sfn "$QW_TOP/dist" "$dir/dist"
  [ -n "$cmd" ] || { echo "no command line"; return 1; }
  out=$(cd "$dir" && bash -c "$cmd -Wall -Wextra" 2>&1) || { echo "$out" | head -5; return 1; }
  [ -z "$out" ] || { echo "$out" | head -5; return 1; }
  case $exe in
    *.exe) cp "$dir/dist/${4:-win64}/Quillwork.dll" "$dir/"
           out=$(cd "$dir" && timeout 120 wine "$exe" 2>/dev/null </dev/null | tr -d '\r') ;;
    *) out=$(cd "$dir" && timeout 60 "./$exe" 2>/dev/null </dev/null) ;;
  esac
  [ "$out" = done ] || { echo "printed '$out'"; return 1; }
}

# The one log of a run equals the README's sample, stamps masked.
log_matches_sample() {
  local logs=("$1"/Log/*/*_Quickstart.log)
  [ ${#logs[@]} -eq 1 ] && [ -f "${logs[0]}" ] || { echo "logs: ${logs[*]}"; return 1; }
  cmp -s <(qw_mask_stamps "${logs[0]}") <(qw_mask_stamps "$work/sample.log") ||
    { diff <(qw_mask_stamps "${logs[0]}" | cat -A) <(qw_mask_stamps "$work/sample.log" | cat -A) | head; return 1; }
}

start=$(date +%s)
fenced_block "## Quick start" 1 >"$work/quickstart.cpp"
fenced_block "## Quick start" 2 | sed 's/$/\r/' >"$work/sample.log"
qw_check "README quick start has a program with main" grep -q '^int main' "$work/quickstart.cpp"
qw_check "README quick start has a sample log with an entry" grep -q '  3 items' "$work/sample.log"

linux_cmd=$(command_line "g++ -o quickstart ")
qw_check "linux: quick start builds warning-free as written and runs" build_and_run "$work/linux" "$linux_cmd" quickstart
qw_check "linux: its log is the README's sample" log_matches_sample "$work/linux"

win_cmd=$(command_line "x86_64-w64-mingw32-g++ -o quickstart.exe ")
for arch in win64 win32; do
  cmd=$win_cmd
  [ $arch = win32 ] && cmd=$(sed 's/x86_64-w64-mingw32/i686-w64-mingw32/; s/win64/win32/g' <<<"$win_cmd")
  qw_wine_env $arch
  qw_check "$arch: quick start builds warning-free as written and runs under Wine" \
    build_and_run "$work/$arch" "$cmd" quickstart.exe $arch
  qw_check "$arch: its log is the README's sample" log_matches_sample "$work/$arch"
  qw_stop_wine
done

qw_check "README FetchContent: the snippet fetches its GIT_TAG and configures" fetchcontent_configures

mapfile -t qwlog_lines < <(block_lines "## Reading logs: qwlog" "qwlog ")
qw_check "README qwlog block has cat, json and pcap lines" \
  eval '[ ${#qwlog_lines[@]} -ge 3 ] && printf "%s\n" "${qwlog_lines[@]}" | grep -q " pcap "'
for line in "${qwlog_lines[@]}"; do
  line=$(sed 's/[[:space:]]*$//' <<<"${line%%#*}")
  qw_check "linux: '$line' runs as written on the quick start's log" qwlog_line_runs "$work/linux" "$line"
done

zip="$QW_TOP/dist/packages/quillwork-$(for p in MAJOR MINOR PATCH; do
  sed -n "s/^#define QUILLWORK_VERSION_$p \+\([0-9]\+\).*/\1/p" "$QW_TOP/LogClass/Quillwork.h"; done | paste -sd.)-win64.zip"
if [ -s "$zip" ]; then
  qw_check "README Visual Studio: the unpacked folder and its layout are the zip's" zip_matches_layout "$zip"
else
  echo "FAIL README Visual Studio: no ${zip##*/} to compare the layout with (./run package makes it)"
fi
echo "FIGURE package-readme suite took $(( $(date +%s) - start )) s"
