#!/usr/bin/env bash
# The main job on a fresh Debian machine: installs what Vantrell needs, builds the release
# build and walks through a shipped sample level. Without a display it summarises the level
# and renders the walk-through's first frame to two-rooms.png instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTRELL_CORE_ONLY=OFF -DVANTRELL_IMPORT=ON
cmake --build build/release -j "$(nproc)" --target vantrell
build/release/src/app/vantrell info examples/two-rooms.bsp
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Walk with W A S D or the arrows, look with the mouse, Space jumps, C crouches, F12 saves a screenshot, Escape ends."
  build/release/src/app/vantrell play examples/two-rooms.bsp
else
  build/release/src/app/vantrell render examples/two-rooms.bsp -o two-rooms.png --settle 10 --force
  echo "No display: rendered the first frame to two-rooms.png. Start"
  echo "'build/release/src/app/vantrell play examples/two-rooms.bsp' on a desktop to walk through it."
fi
