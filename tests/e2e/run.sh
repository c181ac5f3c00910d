#!/usr/bin/env bash
# Runs the end-to-end tests in a virtual X server with openbox as window manager.
# Usage: tests/e2e/run.sh path/to/vantrell [WORKDIR [DRAG_SOURCE]] (DRAG_SOURCE: the drop test's helper)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
vantrell=$(realpath "$1")
work=${2:-$(mktemp -d /tmp/vantrell-e2e.XXXXXX)}
drag_source=${3:+$(realpath "$3")}
mkdir -p "$work"
echo "end-to-end work folder: $work"

if [ -z "${VANTRELL_E2E_INSIDE:-}" ]; then
  export VANTRELL_E2E_INSIDE=1
  exec timeout 240 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$vantrell" "$work" $drag_source
fi

# Software GL, no settings daemon or accessibility bus, and a private home.
export LIBGL_ALWAYS_SOFTWARE=1 GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 HOME=$work/home
mkdir -p "$HOME"
openbox >"$work/openbox.log" 2>&1 &
wm=$!
trap 'kill $wm 2>/dev/null || true' EXIT
for ((n = 0; n < 50; n++)); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done

status=0
bash "$here/play.sh" "$vantrell" "$root/examples/two-rooms.bsp" "$work" || status=1
bash "$here/modes.sh" "$vantrell" "$root/examples/crossroads.bsp" "$work" || status=1
bash "$here/dialog.sh" "$vantrell" "$root/examples/two-rooms.bsp" "$root/README.md" "$work" $drag_source || status=1
exit $status
