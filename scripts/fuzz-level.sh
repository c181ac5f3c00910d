#!/usr/bin/env bash
# Runs the level fuzz target for a bounded time on a working copy of its seeds plus the sample
# levels. Fails (non-zero) on any crash, leak, timeout or out-of-memory.
#   scripts/fuzz-level.sh BUILD_DIR [SECONDS]
# FUZZ_SEED picks the sequence of inputs (1 unless set; 0 asks libFuzzer for a new one).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: scripts/fuzz-level.sh BUILD_DIR [SECONDS]}
seconds=${2:-120}
work="$build/fuzz-work/level"
rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
cp fuzz/corpus/level/* "$work/corpus/"
if compgen -G "examples/*.bsp" > /dev/null; then cp examples/*.bsp "$work/corpus/"; fi
"$build/fuzz/level_fuzz" "$work/corpus" \
  -seed="${FUZZ_SEED:-1}" -max_total_time="$seconds" -rss_limit_mb=1024 -timeout=10 -max_len=65536 \
  -artifact_prefix="$work/artifacts/" -print_final_stats=1
