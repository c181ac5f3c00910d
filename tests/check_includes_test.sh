#!/usr/bin/env bash
# The include check must pass on the tree and catch an upward include, a sideways one and a
# folder missing from its table.
set -euo pipefail
source_dir=$1
script=$source_dir/scripts/check-includes.sh
bash "$script" "$source_dir" > /dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
expect_failure() {  # FILE LINE WORDS: the line appended to FILE must make the check fail with WORDS
  rm -rf "$scratch/src" && cp -r "$source_dir/src" "$scratch/src"
  mkdir -p "$(dirname "$scratch/src/$1")" && echo "$2" >> "$scratch/src/$1"
  if out=$(bash "$script" "$scratch" 2>&1); then echo "not caught: $2 in $1"; exit 1; fi
  grep -qF "$3" <<< "$out" || { echo "unexpected report for $2 in $1: $out"; exit 1; }
}
expect_failure camera/Camera.cpp '#include "walk/Walkthrough.h"' "camera/Camera.cpp:"
expect_failure level/LevelTypes.h '#  include "visibility/ViewFrustum.h"' "includes visibility/ViewFrustum.h"
expect_failure scene/SceneMesh.h '#include "import/IbspFile.h"' "scene may only use"
expect_failure walk/Walkthrough.cpp '#include "play/WindowInput.h"' "walk may only use"
expect_failure extra/Thing.h '#pragma once' "folder 'extra' has no place"
echo "the include check catches upward includes"
