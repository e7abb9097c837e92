#!/usr/bin/env bash
# Takes a picture of the console window Quillwork.dll allocates under Wine: a
# windowed (GUI) build of the C host, which has no console of its own, switches
# the mirror on, writes its entries and holds the console while Xvfb is grabbed.
# Picture: build/abi/console-<arch>.png. Prints PASS/FAIL lines; the check looks for
# the mirror's colours in the picture: light blue banner, dark yellow stamps,
# dark cyan dump labels, dark green dump bytes.
# Usage: tests/abi/screenshot.sh [win64|win32]   (display :91 unless QW_DISPLAY says otherwise)
set -u
: "${QW_TOP:=$(cd "$(dirname "$0")/../.." && pwd)}"
source "$QW_TOP/tests/lib/common.sh"
source "$QW_TOP/tests/abi/hosts.sh"
arch=${1:-win64}
display=${QW_DISPLAY:-:91}
dir="$QW_TOP/build/abi/screenshot-$arch"
png="$QW_TOP/build/abi/console-$arch.png"

# Starts Xvfb on the display unless a server already answers there.
start_display() {
  xdpyinfo -display "$display" >/dev/null 2>&1 && return 0
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
  xvfb_pid=$!
  for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

# TRUE when the picture holds pixels of the colour given as rrggbb.
has_colour() {
  grep -qi "#$1" <<<"$colours"
}

xvfb_pid=
rm -rf "$dir" "$png" && mkdir -p "$dir"
"$(qw_c_compiler "$arch")" -std=c99 -O2 -mwindows -o "$dir/qw_c_host.exe" \
  "$QW_TOP/tests/abi/QwCHost.c" "$QW_TOP/tests/abi/QwDrive.c" || { qw_say "FAIL $arch screenshot host builds"; exit 0; }
cp "$QW_TOP/dist/$arch/Quillwork.dll" "$dir/"
start_display || { qw_say "FAIL $arch screenshot display $display"; exit 0; }
qw_wine_env "$arch"
(cd "$dir" && DISPLAY=$display timeout 60 wine qw_c_host.exe 8 detach >host.out 2>host.err </dev/null) &
host=$!
for _ in $(seq 40); do   # wait until the console window is mapped
  sleep 0.5
  xwininfo -display "$display" -root -tree 2>/dev/null | grep -qi 'qw_c_host\|console' && break
done
# A busy machine maps the window before Wine paints it: the picture is taken again, every
# half second for up to twelve seconds while the host holds the console, until it holds
# all four colours.
colours=
for _ in $(seq 24); do
  sleep 0.5
  import -display "$display" -window root "$png" 2>/dev/null
  colours=$(convert-im6 "$png" -unique-colors txt:- 2>/dev/null)
  has_colour 0000ff && has_colour 808000 && has_colour 008080 && has_colour 008000 && break
done
wait "$host"; rc=$?
qw_stop_wine
[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
qw_check "$arch windowed host drives every operation" [ "$rc" = 0 ]
qw_check "$arch console shows the light blue banner" has_colour 0000ff
qw_check "$arch console shows dark yellow stamps" has_colour 808000
qw_check "$arch console shows dark cyan dump labels" has_colour 008080
qw_check "$arch console shows dark green dump bytes" has_colour 008000
echo "FIGURE console picture: $png"
