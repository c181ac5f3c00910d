#!/usr/bin/env bash
# vantrell play: W walks, the mouse turns, F12 saves a PNG, Escape ends with status 0.
# Usage: play.sh VANTRELL LEVEL WORKDIR (inside a virtual X server with a window manager)
set -uo pipefail
. "$(dirname "$0")/lib.sh"
vantrell=$1 level=$2 work=$3
rm -rf "$work/pictures" && mkdir -p "$work/pictures"
log=$work/play.out errlog=$work/play.err
XDG_PICTURES_DIR=$work/pictures VANTRELL_DEBUG=1 "$vantrell" play "$level" >"$log" 2>"$errlog" &
pid=$!

wait_for_line "$log" '^window [1-9]' 30 || fail "no walk-through window"
window=$(grep -m1 '^window ' "$log" | cut -d' ' -f2)
focus "$window" || fail "cannot focus window $window"
wait_for_line "$log" '^position ' 10 || fail "no camera line"
sleep 0.5
start=$(last_camera "$log")

xdotool keydown --window "$window" w; sleep 1.2; xdotool keyup --window "$window" w
sleep 0.5
walked=$(last_camera "$log")
moved "${start% * * *}" "${walked% * * *}" 0.3 || fail "W did not move the body: '$start' -> '$walked'"
echo "ok: W walked from (${start% * * *}) to (${walked% * * *})"

xdotool mousemove_relative -- 80 0
sleep 0.8
turned=$(last_camera "$log")
moved "${walked#* * * }" "${turned#* * * }" 0.2 || fail "mouse motion did not turn the view: '$walked' -> '$turned'"
echo "ok: the mouse turned the view to (${turned#* * * })"

import -window root "$work/play-screen.png" 2>/dev/null || true
xdotool key --window "$window" F12
wait_for_line "$log" '^Screenshot saved to ' 10 || fail "F12 saved no screenshot"
shot=$(grep -m1 '^Screenshot saved to ' "$log" | sed 's/^Screenshot saved to //')
case "$shot" in "$work/pictures/vantrell-"*.png) ;; *) fail "screenshot at an unexpected place: $shot" ;; esac
[ "$(head -c 8 "$shot" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$shot is not a PNG"
size=$(identify -format '%wx%h' "$shot" 2>/dev/null)
[ "$size" = 800x600 ] || fail "screenshot is $size, expected 800x600"
echo "ok: F12 wrote $shot ($size)"

# The projection follows the window: a 1000 x 500 client area has the aspect ratio 2.
xdotool windowsize --sync "$window" 1000 500 || fail "cannot resize the window"
for ((n = 0; n < 30; n++)); do
  aspect=$(grep '^position ' "$log" | tail -1 | awk '{print $12}')
  [ "$aspect" = 2 ] && break
  sleep 0.1
done
[ "$aspect" = 2 ] || fail "after resizing to 1000x500 the aspect ratio is $aspect, expected 2"
echo "ok: resizing to 1000x500 set the aspect ratio to 2"

xdotool key --window "$window" Escape
wait_exit 15
echo "ok: Escape ended play with status 0"
