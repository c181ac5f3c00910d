#!/usr/bin/env bash
# The main dialog: load a level through the file chooser, see the message, Play, Escape back,
# a failed load keeps the level playable, Play again, Exit with status 0.
# Usage: dialog.sh VANTRELL LEVEL OTHERFILE WORKDIR (inside a virtual X server with a window manager)
set -uo pipefail
. "$(dirname "$0")/lib.sh"
vantrell=$1 level=$(realpath "$2") other=$(realpath "$3") work=$4
log=$work/dialog.out errlog=$work/dialog.err
VANTRELL_DEBUG=1 "$vantrell" >"$log" 2>"$errlog" &
pid=$!

wait_for_line "$log" '^dialog [1-9]' 30 || fail "no dialog"
dialog=$(grep -m1 '^dialog ' "$log" | cut -d' ' -f2)

# load FILE MESSAGE: Load BSP..., type the path into the chooser, expect MESSAGE, press OK.
messages=0
load() {
  focus "$dialog" || fail "cannot focus the dialog"
  xdotool key alt+l
  local n chooser=""
  for ((n = 0; n < 50; n++)); do
    chooser=$(xdotool search --onlyvisible --name '^Load BSP$' 2>/dev/null | head -1)
    [ -n "$chooser" ] && break
    sleep 0.2
  done
  [ -n "$chooser" ] || fail "the file chooser did not open"
  focus "$chooser" || fail "cannot focus the file chooser"
  xdotool key ctrl+l; sleep 0.3
  xdotool type --delay 15 "$1"; sleep 0.3
  xdotool key Return
  messages=$((messages + 1))
  wait_for_line "$log" '^message ' 15 "$messages" || fail "no message after loading $1"
  local text
  text=$(grep '^message ' "$log" | tail -1 | sed 's/^message //')
  [ "$text" = "$2" ] || fail "message '$text', expected '$2'"
  sleep 0.5
  import -window root "$work/dialog-message-$messages.png" 2>/dev/null || true
  # OK is the message box's only button and has the focus.
  xdotool key Return
  sleep 0.5
  echo "ok: loading $(basename "$1") said '$text'"
}

# play N: Play, wait for the N-th walk-through window, Escape, wait for its end.
play() {
  focus "$dialog" || fail "cannot focus the dialog"
  xdotool key alt+p
  wait_for_line "$log" '^window [1-9]' 30 "$1" || fail "Play opened no walk-through ($1)"
  local window
  window=$(grep '^window ' "$log" | tail -1 | cut -d' ' -f2)
  focus "$window" || fail "cannot focus walk-through window $window"
  sleep 0.5
  import -window root "$work/dialog-play-$1.png" 2>/dev/null || true
  xdotool key --window "$window" Escape
  wait_for_line "$log" '^ended' 15 "$1" || fail "Escape did not end walk-through $1"
  echo "ok: walk-through $1 opened and ended on Escape"
}

load "$level" "BSP file successfully loaded!"
play 1
load "$other" "Not a BSP file!"
play 2
focus "$dialog" || fail "cannot focus the dialog"
xdotool key alt+x
wait_exit 15
echo "ok: Exit ended the program with status 0"
