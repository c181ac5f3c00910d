#!/usr/bin/env bash
# Sets everything up and runs every test: release build, sanitizer build, core-only build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

echo "== release build and tests (viewer included)"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTRELL_CORE_ONLY=OFF -DVANTRELL_IMPORT=OFF
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs" -LE e2e
echo "== end-to-end tests (virtual X server, openbox, xdotool)"
ctest --test-dir build/release --output-on-failure -L e2e

echo "== core-only build and tests (no SDL, GL or GTK)"
cmake -S . -B build/core -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTRELL_CORE_ONLY=ON -DVANTRELL_IMPORT=OFF
cmake --build build/core -j "$jobs"
ctest --test-dir build/core --output-on-failure -j "$jobs"
