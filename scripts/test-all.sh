#!/usr/bin/env bash
# Sets everything up and runs every test:
#   0. the include layers (scripts/check-includes.sh) and the formatting (scripts/check-format.sh);
#   1. release build (viewer and importer): unit tests, end-to-end tests under a virtual X
#      server, and every level of the free game package imported and walked;
#   2. core-only build (no SDL, GL or GTK) and its tests;
#   3. bounded libFuzzer runs of the level loader, the importer and the scene reader;
#   4. AddressSanitizer + UndefinedBehaviorSanitizer build and tests (headless drawing included).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

echo "== includes follow the layers (app > play > walk > camera > visibility > level, math, io)"
bash scripts/check-includes.sh
bash scripts/check-format.sh

echo "== release build and tests (viewer and importer included)"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTRELL_CORE_ONLY=OFF -DVANTRELL_IMPORT=ON
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs" -LE e2e

echo "== end-to-end tests (virtual X server, openbox, xdotool)"
ctest --test-dir build/release --output-on-failure -L e2e

echo "== every level of openarena-088-data imported, validated, rested and walked"
bash scripts/check-openarena.sh build/release/src/app/vantrell build/release/openarena

echo "== core-only build and tests (no SDL, GL or GTK)"
cmake -S . -B build/core -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTRELL_CORE_ONLY=ON -DVANTRELL_IMPORT=OFF \
  -DVANTRELL_COMPILE=OFF -DVANTRELL_BENCH=OFF
cmake --build build/core -j "$jobs"
ctest --test-dir build/core --output-on-failure -j "$jobs"

echo "== fuzz build, then bounded runs of the level loader, the importer and the scene reader"
# Fixed seeds: each run follows the same sequence of inputs on every machine (as far as its time
# allows), so a run fails only on an input that a longer run with the same seed finds here too.
# Longer runs with other seeds: scripts/fuzz-level.sh, or the targets by hand.
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTRELL_FUZZ=ON \
  -DVANTRELL_CORE_ONLY=ON -DVANTRELL_IMPORT=ON -DVANTRELL_TESTS=OFF -DVANTRELL_BENCH=OFF
cmake --build build/fuzz -j "$jobs" --target level_fuzz import_fuzz import_fuzz_seed scene_fuzz scene_fuzz_seed
bash scripts/fuzz-level.sh build/fuzz 120
rm -rf build/fuzz/import-corpus && mkdir -p build/fuzz/import-corpus
build/fuzz/fuzz/import_fuzz_seed build/fuzz/import-corpus/boxroom.bsp
build/fuzz/fuzz/import_fuzz build/fuzz/import-corpus -seed=1 -max_total_time=60 -rss_limit_mb=2048 -timeout=10
rm -rf build/fuzz/scene-corpus && mkdir -p build/fuzz/scene-corpus
cp examples/scenes/* build/fuzz/scene-corpus/
build/fuzz/fuzz/scene_fuzz_seed build/fuzz/scene-corpus/box-room.reply
build/fuzz/fuzz/scene_fuzz build/fuzz/scene-corpus -seed=1 -max_total_time=60 -rss_limit_mb=2048 -timeout=10

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests (everything but the end-to-end runs)"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTRELL_SANITIZE=ON \
  -DVANTRELL_CORE_ONLY=OFF -DVANTRELL_IMPORT=ON -DVANTRELL_BENCH=OFF
cmake --build build/asan -j "$jobs"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp \
  ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE "e2e|gl"
# Headless drawing goes through the system's software OpenGL driver, which frees with free()
# what its code compiler allocated with new, and leaks from a module it has unloaded by the
# time the leak check runs: both are the driver's, so only those two checks are off here.
ASAN_OPTIONS=detect_leaks=0:alloc_dealloc_mismatch=0:abort_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs" -L gl
