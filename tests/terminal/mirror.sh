#!/usr/bin/env bash
# Runs the demo host with the mirror on in a real terminal (tmux) and checks
# the captured pane for each piece in its colour. Prints one line per check
# as "PASS name" or "FAIL name".
set -u
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
command -v tmux >/dev/null || { echo "FAIL tmux-missing"; exit 0; }
sock=${QW_TMUX_SOCKET:-qw-mirror-$$}
tmux -L "$sock" new-session -d -x 120 -y 40 "cd '$(dirname "$bin")' && TERM=xterm-256color '$bin' --console; sleep 3"
sleep 1.5
pane=$(tmux -L "$sock" capture-pane -p -e -t 0)
tmux -L "$sock" kill-server 2>/dev/null
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
