#!/usr/bin/env bash
# Fails when a file under src/ includes a header from a folder its own folder may not use.
# Layers, top to bottom: app > play (SDL/GL shell) > walk (platform-free walk-through) >
# camera > visibility > level, math, io. The importer, the compiler and the scene mesh sit
# below app beside walk. tools/, bench/, tests/ and fuzz/ may include anything.
# Usage: check-includes.sh [SOURCE_ROOT]   (default: the repository holding this script)
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root/src"

declare -A allowed=(
  [app]="app play walk camera visibility level math io import compile scene"
  [play]="play walk camera visibility level math io"
  [walk]="walk camera visibility level math io"
  [camera]="camera visibility level math io"
  [visibility]="visibility level math io"
  [level]="level math io"
  [math]="math"
  [io]="io"
  [import]="import compile level math io"
  [compile]="compile level math io scene"
  [scene]="scene math io"
)

status=0
while IFS= read -r -d '' file; do
  folder=${file%%/*}
  if [[ -z ${allowed[$folder]+set} ]]; then
    echo "src/$file: folder '$folder' has no place in the layer table (scripts/check-includes.sh)"
    status=1
    continue
  fi
  while IFS=: read -r line target; do
    used=${target%%/*}
    if [[ " ${allowed[$folder]} " != *" $used "* ]]; then
      echo "src/$file:$line: includes $target, but $folder may only use: ${allowed[$folder]}"
      status=1
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[A-Za-z0-9_]+/' "$file" |
           sed -E 's|^([0-9]+):[^"]*"([^"]+)".*|\1:\2|' || true)
done < <(find . -mindepth 2 -type f \( -name '*.h' -o -name '*.cpp' \) -printf '%P\0')

if [[ $status -eq 0 ]]; then echo "includes follow the layers"; fi
exit $status
