#!/usr/bin/env bash
# Runs the demo host with the mirror on in a real terminal (tmux) and checks
# the captured pane for each piece in its colour; then the terminal suite's host
# logs text with escape sequences a peer might send, and the pane must show them
# as escapes (title and clipboard untouched, no screen cleared, no link) while the file holds
# them raw. Prints one line per check as "PASS name" or "FAIL name". The tmux
# server runs on a socket in a folder of its own, removed at the end.
set -u
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
command -v tmux >/dev/null || { echo "FAIL tmux-missing"; exit 0; }
tmp=$(mktemp -d)
sock="$tmp/tmux.sock"
cleanup() {
  tmux -S "$sock" kill-server 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM
export LANG=C.UTF-8
unset LC_ALL LC_CTYPE
tmux -u -S "$sock" new-session -d -x 120 -y 40 "cd '$(dirname "$bin")' && TERM=xterm-256color '$bin' --console; sleep 3"
sleep 1.5
pane=$(tmux -S "$sock" capture-pane -p -e -t 0)
tmux -S "$sock" kill-server 2>/dev/null
esc=$'\x1b'
check() {  # name, text that must stand in the pane
  if grep -qF -- "$2" <<<"$pane"; then echo "PASS $1"; else echo "FAIL $1"; fi
}
check_re() {  # name, extended regular expression a line of the pane must match
  if grep -qE -- "$2" <<<"$pane"; then echo "PASS $1"; else echo "FAIL $1"; fi
}
sgr() {  # the pattern of colour $1, tmux may add the default background after it
  printf '%s\\[%sm(%s\\[4[09]m)?' "$esc" "$1" "$esc"
}
check banner-light-blue "${esc}[94m"
check stamp-dark-yellow "${esc}[33m"
check label-dark-cyan "${esc}[36m00000000h: "
check bytes-dark-green "${esc}[32m00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ;"
check_re banner-text-light-blue "^$(sgr 94)------"
check_re stamp-text-dark-yellow "$(sgr 33)[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}  $esc"
check_re message-normal "$(sgr 39)3 items"
check_re decimal-label-dark-cyan "$(sgr 36)00000016d: $(sgr 32)16 17 18 19"

# Escape sequences in a logged message.
host="$(dirname "$bin")/qw_mirrorhost"
[ -x "$host" ] || { echo "FAIL hostile-host-missing"; exit 0; }
mkdir "$tmp/host" && cp "$host" "$tmp/host/" && cp "$(dirname "$bin")/libquillwork.so" "$tmp/host/"
tmux -u -S "$sock" new-session -d -x 200 -y 40 "cd '$tmp/host' && TERM=xterm-256color ./qw_mirrorhost hostile; sleep 30"
for _ in $(seq 100); do
  tmux -S "$sock" capture-pane -p -t 0 | grep -qF HOSTILE-DONE && break
  sleep 0.1
done
pane=$(tmux -S "$sock" capture-pane -p -t 0)
title=$(tmux -S "$sock" display-message -p -t 0 '#{pane_title}')
tmux -S "$sock" kill-server 2>/dev/null
check hostile-title-shown-escaped 'T[^[]0;PWNED-TITLE^G]'
check hostile-clipboard-shown-escaped 'C[^[]52;c;SGVsbG8=^G]'
check hostile-clear-screen-shown-escaped 'K[^[[2J]'
check hostile-link-shown-escaped 'L[^[]8;;http://evil.example/^[\click^[]8;;^[\]'
check hostile-c1-csi-shown-escaped 'R[\x9b31mred]'
check hostile-euro-shows-as-itself 'E[€]'
if [ "$title" != PWNED-TITLE ]; then echo "PASS hostile-title-unchanged"; else echo "FAIL hostile-title-unchanged"; fi
raw=$(printf 'T[\x1b]0;PWNED-TITLE\x07] C[\x1b]52;c;SGVsbG8=\x07] K[\x1b[2J] L[\x1b]8;;http://evil.example/\x1b\\click\x1b]8;;\x1b\\] R[\xc2\x9b31mred] E[\xe2\x82\xac]')
if find "$tmp/host/Log" -name '*_hostile.log' -exec grep -qaF -- "$raw" {} \; -print | grep -q .; then
  echo "PASS hostile-file-holds-the-bytes"
else
  echo "FAIL hostile-file-holds-the-bytes"
fi
exit 0
