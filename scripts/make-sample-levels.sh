#!/usr/bin/env bash
# Compiles the example scenes into the sample levels of examples/compiled/:
#   scripts/make-sample-levels.sh [VANTRELL_BINARY] [OUTPUT_DIRECTORY]
# The leaking room is left out on purpose: it shows the compiler's leak message.
set -euo pipefail
cd "$(dirname "$0")/.."
vantrell=${1:-build/release/src/app/vantrell}
out=${2:-examples/compiled}
mkdir -p "$out"
for scene in closed-room two-rooms stairs-ramp pillar-table; do
  "$vantrell" compile "examples/scenes/$scene.gltf" "$out/$scene.bsp" --force > /dev/null
done
echo "compiled the sample levels into $out"
