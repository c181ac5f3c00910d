#!/usr/bin/env bash
# The main dialog: load a level through the file chooser, see the message and the level's
# name in the title and under the buttons, Return plays it, a failed load keeps the level
# playable and says so, game levels and archive maps load through the chooser, Escape
# closes; then a level given on the command line that takes a while to arrive shows
# progress. GTK must print no warning on standard error.
# Usage: dialog.sh VANTRELL LEVEL OTHERFILE WORKDIR [DRAG_SOURCE] (inside a virtual X server with a
# window manager; DRAG_SOURCE, a program that offers a file to drag, adds the drop test)
set -uo pipefail
. "$(dirname "$0")/lib.sh"
vantrell=$1 level=$(realpath "$2") other=$(realpath "$3") work=$4 drag_source=${5:-}
log=$work/dialog.out errlog=$work/dialog.err
game_archive=/usr/share/games/openarena/baseoa/pak6-patch088.pk3
VANTRELL_DEBUG=1 "$vantrell" >"$log" 2>"$errlog" &
pid=$!

wait_for_line "$log" '^dialog [1-9]' 30 || fail "no dialog"
dialog=$(grep -m1 '^dialog ' "$log" | cut -d' ' -f2)

# expect_title TITLE: the dialog's window title (as the window manager sees it).
expect_title() {
  local title
  title=$(xdotool getwindowname "$dialog" 2>/dev/null)
  [ "$title" = "$1" ] || fail "title '$title', expected '$1'"
}
# expect_status LINE: the last line under the buttons.
expect_status() {
  local status
  status=$(grep '^status ' "$log" | tail -1 | sed 's/^status //')
  [ "$status" = "$1" ] || fail "status line '$status', expected '$1'"
}

# wait_window NAME_PATTERN: prints the id of the first visible window of that name.
wait_window() {
  local n id=""
  for ((n = 0; n < 50; n++)); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

# load FILE MESSAGE KIND [MAP]: Load BSP..., type the path into the chooser, pick MAP from an
# archive's list when given, expect MESSAGE in a box of KIND (info or error), press OK.
messages=0 lists=0
load() {
  focus "$dialog" || fail "cannot focus the dialog"
  xdotool key alt+l
  local chooser
  chooser=$(wait_window '^Load BSP$') || fail "the file chooser did not open"
  focus "$chooser" || fail "cannot focus the file chooser"
  xdotool key ctrl+l; sleep 0.3
  xdotool type --delay 15 "$1"; sleep 0.3
  xdotool key Return
  if [ -n "${4:-}" ]; then
    lists=$((lists + 1))
    wait_for_line "$log" '^maps [1-9]' 15 "$lists" || fail "no map list for $1"
    local list
    list=$(wait_window '^Maps in ') || fail "the map list did not open"
    focus "$list" || fail "cannot focus the map list"
    # Typing finds the map in the list; Return opens it.
    xdotool type --delay 30 "$4"; sleep 0.5
    xdotool key Return
  fi
  messages=$((messages + 1))
  wait_for_line "$log" '^message ' 30 "$messages" || fail "no message after loading $1"
  local text kind
  text=$(grep '^message ' "$log" | tail -1 | sed 's/^message //')
  kind=$(grep '^box ' "$log" | tail -1 | sed 's/^box //')
  [ "$text" = "$2" ] || fail "message '$text', expected '$2'"
  [ "$kind" = "$3" ] || fail "a box of kind '$kind' for '$text', expected '$3'"
  sleep 0.5
  import -window root "$work/dialog-message-$messages.png" 2>/dev/null || true
  # OK is the message box's only button and has the focus.
  xdotool key Return
  sleep 0.5
  echo "ok: loading $(basename "$1")${4:+ ($4)} said '$text' in an $kind box"
}
last_detail() { grep '^detail ' "$log" | tail -1 | sed 's/^detail //'; }

# play N KEY: KEY on the dialog (alt+p, or Return while Play has the focus), wait for the
# N-th walk-through window, Escape, wait for its end.
play() {
  focus "$dialog" || fail "cannot focus the dialog"
  xdotool key "$2"
  wait_for_line "$log" '^window [1-9]' 30 "$1" || fail "$2 opened no walk-through ($1)"
  local window
  window=$(grep '^window ' "$log" | tail -1 | cut -d' ' -f2)
  focus "$window" || fail "cannot focus walk-through window $window"
  sleep 0.5
  import -window root "$work/dialog-play-$1.png" 2>/dev/null || true
  xdotool key --window "$window" Escape
  wait_for_line "$log" '^ended' 15 "$1" || fail "Escape did not end walk-through $1"
  echo "ok: walk-through $1 opened by $2 and ended on Escape"
}

# No GTK or GLib warning may reach standard error (the settings daemon's absence aside).
no_warnings() {
  if grep -v dconf "$errlog" | grep -E -q 'Gtk-|Gdk-|GLib-|GLib-GObject-|Pango-|WARNING|CRITICAL'; then
    fail "warnings on standard error: $(grep -v dconf "$errlog" | head -3)"
  fi
}

name=$(basename "$level")
wait_for_line "$log" '^status ' 10 || fail "no status line"
expect_title "Vantrell"
expect_status "No level is loaded."

load "$level" "BSP file successfully loaded!" info
counts=$(last_detail)
expect_title "$name — Vantrell"
expect_status "$name: $counts"
echo "ok: the title and the line under the buttons name $name ($counts)"
# Play has the focus now: Return starts the walk-through instead of reopening the chooser.
play 1 Return

load "$other" "Not a BSP file!" error
[ "$(last_detail)" = "It begins with \"$(head -c 3 "$other")\", not \"BSP\"." ] || fail "detail '$(last_detail)'"
expect_title "$name — Vantrell"
expect_status "$(basename "$other") was not loaded. Still loaded: $name: $counts"
echo "ok: the failed load said what it found and that $name is still loaded"
play 2 alt+p

if [ -f "$game_archive" ] && command -v unzip >/dev/null; then
  unzip -p "$game_archive" maps/oa_thor.bsp >"$work/oa_thor.bsp" || fail "cannot extract a game level"
  load "$work/oa_thor.bsp" "BSP file successfully loaded!" info
  expect_title "oa_thor.bsp — Vantrell"
  load "$game_archive" "BSP file successfully loaded!" info oa_ctf2
  case "$(last_detail)" in "Imported maps/oa_ctf2.bsp in pak6-patch088.pk3: "*) ;; *) fail "detail '$(last_detail)'" ;; esac
  expect_title "oa_ctf2 (pak6-patch088.pk3) — Vantrell"
  play 3 Return
else
  echo "skip: no game levels ($game_archive and unzip)"
fi

# A level dragged from another program and dropped onto the dialog loads like a chosen one.
if [ -n "$drag_source" ]; then
  dropped=$(dirname "$level")/ramp-hall.bsp
  rm -f "$work/drag.out"  # the shell truncates it only once the helper has started
  "$drag_source" "$dropped" >"$work/drag.out" 2>"$work/drag.err" &
  source_pid=$!
  wait_for_line "$work/drag.out" '^source [1-9]' 15 || fail "the drag source did not start"
  source_window=$(grep -m1 '^source ' "$work/drag.out" | cut -d' ' -f2)
  eval "$(xdotool getwindowgeometry --shell "$source_window")"
  from_x=$((X + WIDTH / 2)) from_y=$((Y + HEIGHT / 2))
  eval "$(xdotool getwindowgeometry --shell "$dialog")"
  to_x=$((X + WIDTH / 2)) to_y=$((Y + HEIGHT / 2))
  xdotool mousemove "$from_x" "$from_y"; sleep 0.3
  xdotool mousedown 1; sleep 0.2
  # In steps, so that both toolkits see a drag and then a window to drop onto.
  for ((i = 1; i <= 10; i++)); do
    xdotool mousemove $((from_x + (to_x - from_x) * i / 10)) $((from_y + (to_y - from_y) * i / 10)); sleep 0.1
  done
  sleep 0.5; xdotool mousemove $((to_x + 1)) "$to_y"; sleep 0.3
  xdotool mouseup 1
  messages=$((messages + 1))
  wait_for_line "$log" '^message ' 15 "$messages" || fail "no message after a drop"
  text=$(grep '^message ' "$log" | tail -1 | sed 's/^message //')
  [ "$text" = "BSP file successfully loaded!" ] || fail "message '$text' after a drop"
  # The drag source may have kept the focus: give it to the box before pressing OK.
  box=$(wait_window '^Vantrell$') || fail "no message box after a drop"
  focus "$box" || fail "cannot focus the message box"
  xdotool key Return; sleep 0.5
  kill "$source_pid" 2>/dev/null
  expect_title "ramp-hall.bsp — Vantrell"
  echo "ok: a level dropped onto the dialog loaded"
fi

# The loads went into the recent-files list.
grep -q "$name" "$HOME/.local/share/recently-used.xbel" 2>/dev/null || fail "$name is not among the recent files"
echo "ok: loaded levels are in the recent-files list"

focus "$dialog" || fail "cannot focus the dialog"
xdotool key Escape
wait_exit 15
echo "ok: Escape closed the dialog with status 0"
no_warnings
echo "ok: no warnings on standard error"

# A level given on the command line opens with the dialog. This one is a pipe that gets its
# bytes only when the progress window is up, so the load takes as long as the test likes.
slow=$work/slow.bsp
rm -f "$slow"
mkfifo "$slow" || fail "cannot make a pipe"
log=$work/dialog-start.out errlog=$work/dialog-start.err
VANTRELL_DEBUG=1 "$vantrell" "$slow" >"$log" 2>"$errlog" &
pid=$!
wait_for_line "$log" '^dialog [1-9]' 30 || fail "no dialog for a level on the command line"
dialog=$(grep -m1 '^dialog ' "$log" | cut -d' ' -f2)
wait_for_line "$log" '^progress slow.bsp' 15 || fail "no progress window while the level loads"
import -window root "$work/dialog-progress.png" 2>/dev/null || true
cat "$level" >"$slow"
wait_for_line "$log" '^status slow.bsp: ' 15 || fail "the level from the command line did not load"
expect_title "slow.bsp — Vantrell"
expect_status "slow.bsp: $counts"
grep -q '^message ' "$log" && fail "a message box for the level given on the command line"
echo "ok: the level given on the command line loaded behind a progress window"
focus "$dialog" || fail "cannot focus the dialog"
xdotool key alt+x
wait_exit 15
echo "ok: Exit ended the program with status 0"
no_warnings
rm -f "$slow"
