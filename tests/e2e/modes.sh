#!/usr/bin/env bash
# vantrell play, the viewer's mode keys: F flies (Space rises, F again lands), V freezes the
# visible count while flying away, L changes the picture, Tab shows the panel, F12 shows a note,
# F11 switches fullscreen and back.
# Usage: modes.sh VANTRELL LEVEL WORKDIR (inside a virtual X server with a window manager)
set -uo pipefail
. "$(dirname "$0")/lib.sh"
vantrell=$1 level=$2 work=$3
rm -rf "$work/mode-pictures" && mkdir -p "$work/mode-pictures"
log=$work/modes.out errlog=$work/modes.err
XDG_PICTURES_DIR=$work/mode-pictures VANTRELL_DEBUG=1 "$vantrell" play "$level" >"$log" 2>"$errlog" &
pid=$!

wait_for_line "$log" '^window [1-9]' 30 || fail "no walk-through window"
window=$(grep -m1 '^window ' "$log" | cut -d' ' -f2)
focus "$window" || fail "cannot focus window $window"
wait_for_line "$log" '^position ' 10 || fail "no camera line"
sleep 1

# field NAME: the value after NAME on the last debug line ("size" gives "W H").
field() {
  grep '^position ' "$log" | tail -1 | awk -v name="$1" '{ for (i = 1; i < NF; i++) if ($i == name) {
    if (name == "size") print $(i + 1), $(i + 2); else print $(i + 1); exit } }'
}
# wait_field NAME VALUE: waits up to 5 s for the last debug line to show NAME VALUE.
wait_field() {
  local n
  for ((n = 0; n < 50; n++)); do [ "$(field "$1")" = "$2" ] && return 0; sleep 0.1; done
  return 1
}
height() { last_camera "$log" | awk '{print $2}'; }

# Fly up, then land. Flying is 5 units a second: half a second stays below the 3.45 high
# ceilings of the sample levels, so that the body lands on their floor again.
ground=$(height)
xdotool key --window "$window" f
wait_field flying 1 || fail "F did not start flying"
xdotool keydown --window "$window" space; sleep 0.5; xdotool keyup --window "$window" space
sleep 0.4
up=$(height)
awk -v a="$ground" -v b="$up" 'BEGIN { exit !(b - a > 2) }' || fail "Space while flying rose from $ground to $up only"
echo "ok: flying, Space rose the camera from $ground to $up"
xdotool key --window "$window" f
wait_field flying 0 || fail "F again did not land"
sleep 2.5
down=$(height)
awk -v a="$ground" -v b="$down" 'BEGIN { exit !(b - a < 0.2 && a - b < 0.2) }' ||
  fail "after landing the body is at $down, not back on the floor at $ground"
echo "ok: F again, the body fell back to $down"

# Freeze the visible set, then fly up out of the level, back off and turn round: the count
# stays. Thawed up there, the live count is another, so the freeze did hold it.
xdotool key --window "$window" v
wait_field frozen 1 || fail "V did not freeze"
sleep 0.3
frozen=$(field visible)
lines_before=$(grep -c '^position ' "$log")
xdotool key --window "$window" f
wait_field flying 1 || fail "F did not start flying"
xdotool keydown --window "$window" space; sleep 1; xdotool keyup --window "$window" space
xdotool keydown --window "$window" s; sleep 0.5; xdotool keyup --window "$window" s
xdotool mousemove_relative -- 360 0; sleep 0.6
counts=$(grep '^position ' "$log" | tail -n +"$((lines_before + 1))" | awk '{ for (i = 1; i < NF; i++) if ($i == "visible") print $(i + 1) }' | sort -u)
[ "$counts" = "$frozen" ] || fail "while frozen at $frozen spaces the visible counts were: $(echo $counts)"
xdotool key --window "$window" v
wait_field frozen 0 || fail "V again did not thaw"
sleep 0.3
live=$(field visible)
[ "$live" != "$frozen" ] || fail "the live count up there is $live too: the check cannot tell whether V froze"
echo "ok: V froze the visible count at $frozen while flying away and turning (live there: $live)"
# Back down into the room, a little less far than up so as to stay above the floor, and land.
xdotool mousemove_relative -- -360 0
xdotool keydown --window "$window" c; sleep 0.7; xdotool keyup --window "$window" c
xdotool keydown --window "$window" w; sleep 0.5; xdotool keyup --window "$window" w
xdotool key --window "$window" f
wait_field flying 0 || fail "F did not land"
sleep 1.5

# shot NAME: F12, and the path of the new screenshot in $shot.
shots=0
shot() {
  xdotool key --window "$window" F12
  shots=$((shots + 1))
  wait_for_line "$log" '^Screenshot saved to ' 10 "$shots" || fail "F12 saved no screenshot ($1)"
  shot=$(grep '^Screenshot saved to ' "$log" | tail -1 | sed 's/^Screenshot saved to //')
  cp "$shot" "$work/mode-$1.png"
}
# differ A B GEOMETRY: true when the two pictures differ inside GEOMETRY (WxH+X+Y).
differ() {
  local pixels
  pixels=$(compare -metric AE <(convert "$1" -crop "$3" +repage png:-) <(convert "$2" -crop "$3" +repage png:-) null: 2>&1)
  [ "${pixels%% *}" != 0 ]
}

# L changes the picture (the middle, away from the overlay and the note).
shot vertex; sleep 1.2
xdotool key --window "$window" l
wait_field shading pixel || fail "L did not change the shading"
sleep 0.3
shot pixel
differ "$work/mode-vertex.png" "$work/mode-pixel.png" 500x300+150+150 || fail "L did not change the picture"
echo "ok: L changed the shading to pixel and the picture"

# The note after F12: on the screen at once, gone after a second.
sleep 0.2
import -window "$window" "$work/mode-note.png" 2>/dev/null || fail "cannot capture the window"
sleep 1.4
import -window "$window" "$work/mode-nonote.png" 2>/dev/null || fail "cannot capture the window"
differ "$work/mode-note.png" "$work/mode-nonote.png" 400x60+0+540 || fail "no note at the bottom left after F12"
echo "ok: F12 showed a note for a second"

# Tab shows the panel at the top right.
xdotool key --window "$window" Tab
wait_field panel 1 || fail "Tab did not switch the panel on"
sleep 0.3
shot panel
differ "$work/mode-pixel.png" "$work/mode-panel.png" 300x200+500+0 || fail "Tab showed no panel"
echo "ok: Tab showed the info panel"

# F11: fullscreen (the virtual screen is 1280 x 1024) and back.
xdotool key --window "$window" F11
wait_field size "1280 1024" || fail "F11 did not go fullscreen: size $(field size)"
sleep 0.5
import -window root "$work/mode-fullscreen.png" 2>/dev/null || true
xdotool key --window "$window" F11
wait_field size "800 600" || fail "F11 again did not restore the window: size $(field size)"
echo "ok: F11 went fullscreen and back"

xdotool key --window "$window" Escape
wait_exit 15
echo "ok: Escape ended play with status 0"
