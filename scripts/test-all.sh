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

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests (core only)"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTRELL_SANITIZE=ON \
  -DVANTRELL_CORE_ONLY=ON -DVANTRELL_IMPORT=OFF -DVANTRELL_BENCH=OFF
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs"

echo "== fuzz build and a bounded fuzz run of the level loader"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTRELL_FUZZ=ON \
  -DVANTRELL_CORE_ONLY=ON -DVANTRELL_IMPORT=OFF -DVANTRELL_TESTS=OFF -DVANTRELL_BENCH=OFF
cmake --build build/fuzz -j "$jobs" --target level_fuzz
bash scripts/fuzz-level.sh build/fuzz 120

echo "== importer build and tests, then every level of openarena-088-data imported and walked"
cmake -S . -B build/import -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTRELL_CORE_ONLY=ON -DVANTRELL_IMPORT=ON \
  -DVANTRELL_BENCH=OFF
cmake --build build/import -j "$jobs"
bash scripts/check-openarena.sh build/import/src/app/vantrell build/import/openarena
# After the check, which installs the game package: the portal tests also check its levels.
ctest --test-dir build/import --output-on-failure -j "$jobs" -R 'IbspImport|Portal'

echo "== bounded fuzz run of the IBSP importer"
CC=clang CXX=clang++ cmake -S . -B build/fuzz-import -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTRELL_FUZZ=ON \
  -DVANTRELL_CORE_ONLY=ON -DVANTRELL_IMPORT=ON -DVANTRELL_TESTS=OFF -DVANTRELL_BENCH=OFF
cmake --build build/fuzz-import -j "$jobs" --target import_fuzz import_fuzz_seed
mkdir -p build/fuzz-import/corpus
build/fuzz-import/fuzz/import_fuzz_seed build/fuzz-import/corpus/boxroom.bsp
build/fuzz-import/fuzz/import_fuzz build/fuzz-import/corpus -max_total_time=60 -rss_limit_mb=2048 -timeout=10
