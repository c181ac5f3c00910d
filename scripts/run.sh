#!/usr/bin/env bash
# The main job on a fresh Debian machine: installs what Vantrell needs, builds the release
# build and runs it on a shipped sample level.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTRELL_CORE_ONLY=ON -DVANTRELL_IMPORT=OFF
cmake --build build/release -j "$(nproc)" --target vantrell
build/release/src/app/vantrell info examples/two-rooms.bsp
