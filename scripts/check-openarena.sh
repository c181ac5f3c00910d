#!/usr/bin/env bash
# Imports every level of the openarena-088-data package (its tree rebuilt by the compiler) and
# checks what a walk-through needs: the output loads valid and walkable, a body left alone at
# the spawn stays at rest, walks in four directions stay inside the level, and the visible list
# at the spawn culls spaces. The table shows the spaces of the file's tree and of the rebuilt
# one, and the level file's size.
# Usage: scripts/check-openarena.sh VANTRELL_BINARY [WORK_DIR]
# Fails on any import, validation, walkable, rest or fall failure.
set -euo pipefail
vantrell=${1:?usage: check-openarena.sh VANTRELL_BINARY [WORK_DIR]}
work=${2:-$(mktemp -d)}
pak=/usr/share/games/openarena/baseoa/pak6-patch088.pk3
mkdir -p "$work"

if [ ! -f "$pak" ]; then
  sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
  sudo_if_needed apt-get update
  sudo_if_needed env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends openarena-088-data
fi

printf 'step 300 -\n' > "$work/rest.txt"
for key in W A S D; do printf 'step 1000 %s\n' "$key" > "$work/walk-$key.txt"; done

# Listed first, so that a binary that cannot run (or an archive without maps) fails the check
# instead of passing it with no map looked at.
maps=$("$vantrell" import "$pak" | sed -n 's/^  \(maps\/.*\.bsp\)$/\1/p')
if [ -z "$maps" ]; then
  echo "check-openarena: no maps listed in $pak"
  exit 1
fi

failures=0
printf '%-18s %7s %7s %7s %9s %8s %9s %6s %13s %7s\n' map leaves spaces links bytes import_s rest_dy falls \
  visible/total culled%
while read -r entry; do
  name=$(basename "$entry" .bsp)
  level="$work/$name.bsp"
  if ! out=$("$vantrell" import "$pak" "$level" --map "$entry" --force 2>"$work/$name.err"); then
    echo "FAIL $name: import failed: $(cat "$work/$name.err")"
    failures=$((failures + 1))
    continue
  fi
  if ! "$vantrell" info "$level" > "$work/$name.info"; then
    echo "FAIL $name: the imported level does not load valid"
    failures=$((failures + 1))
    continue
  fi
  if ! grep -q '^  walkable: yes$' "$work/$name.info"; then
    echo "FAIL $name: the imported level is not walkable: $(grep -A2 'walkable:' "$work/$name.info" | tr -s ' ' | tr '\n' ' ')"
    failures=$((failures + 1))
    continue
  fi
  spaces=$(sed -n 's/.*spaces \([0-9]*\) (.*/\1/p' <<<"$out")
  leaves=$(sed -n 's/.*rebuilt from \([0-9]*\) leaves.*/\1/p' <<<"$out")
  bytes=$(sed -n 's/^  file \([0-9]*\) bytes$/\1/p' <<<"$out")
  links=$(sed -n 's/.*neighbour links \([0-9]*\).*/\1/p' <<<"$out")
  seconds=$(sed -n 's/.*time \([0-9.]*\) s.*/\1/p' <<<"$out")
  rest=$("$vantrell" trace "$level" --summary "$work/rest.txt")
  rest_y=$(grep '^step 300 ' <<<"$rest" | awk '{print $4}')
  rest_dy=$(awk -v y="$rest_y" 'BEGIN { d = y < 0 ? -y : y; printf "%.4f", d }')
  falls=0
  for key in W A S D; do
    if "$vantrell" trace "$level" --summary "$work/walk-$key.txt" | grep -q 'fell out of the level'; then
      falls=$((falls + 1))
    fi
  done
  visible=$("$vantrell" visible "$level" --eye 0,1,0 --forward 1,0,0 | tail -n 1 | wc -w)
  culled=$(awk -v v="$visible" -v s="$spaces" 'BEGIN { printf "%.1f", 100 * (1 - v / s) }')
  note=""
  if awk -v d="$rest_dy" 'BEGIN { exit !(d > 0.1) }'; then
    note="$note REST"
    failures=$((failures + 1))
  fi
  if [ "$falls" -gt 0 ]; then
    note="$note FALL"
    failures=$((failures + 1))
  fi
  printf '%-18s %7s %7s %7s %9s %8s %9s %6s %13s %7s%s\n' "$name" "$leaves" "$spaces" "$links" "$bytes" "$seconds" \
    "$rest_dy" "$falls/4" "$visible/$spaces" "$culled" "$note"
done <<<"$maps"

if [ "$failures" -gt 0 ]; then
  echo "check-openarena: $failures failures"
  exit 1
fi
echo "check-openarena: all maps pass"
