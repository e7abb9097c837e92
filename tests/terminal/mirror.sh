#!/usr/bin/env bash
# Runs the demo host with the mirror on in a real terminal (tmux) and checks
# the captured pane for each piece in its colour. Prints one line per check
# as "PASS name" or "FAIL name".
set -u
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
command -v tmux >/dev/null || { echo "FAIL tmux-missing"; exit 0; }
sock=qw-mirror-$$
tmux -L "$sock" new-session -d -x 120 -y 40 "cd '$(dirname "$bin")' && TERM=xterm-256color '$bin' --console; sleep 3"
sleep 1.5
pane=$(tmux -L "$sock" capture-pane -p -e -t 0)
tmux -L "$sock" kill-server 2>/dev/null
esc=$'\x1b'
check() {  # name, text that must stand in the pane
  if grep -qF -- "$2" <<<"$pane"; then echo "PASS $1"; else echo "FAIL $1"; fi
}
check banner-light-blue "${esc}[94m"
check stamp-dark-yellow "${esc}[33m"
check label-dark-cyan "${esc}[36m00000000h: "
check bytes-dark-green "${esc}[32m00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ;"
check message-normal "3 items"
check decimal-label "00000016d: "
