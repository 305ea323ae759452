#!/usr/bin/env bash
# Skins out to glTF on every shared model: from-gltf, "Save skin", inspect,
# "Clear skin", check (nothing lost), "Load skin", then to-gltf (weights as
# they are and normalised, and for engines: 1, 4 and 8 influences, each as
# floats, u16 and u8), and each
# .glb checked by the Khronos glTF validator (npm gltf-validator, run with
# node): no errors allowed. Skipped, saying why, where the models, node or
# the npm registry are not at hand.
set -euo pipefail
cd "$(dirname "$0")/.."
host=${1:-build-test/bin/tavrik-host}
models=../shared/data/models
if [ ! -d "$models" ]; then
  echo "== SKIPPED: glTF round trips and validation (no shared models at $models)"
  exit 0
fi
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  echo "== SKIPPED: glTF validation (node and npm are not installed); the round trips run in the test suite"
  exit 0
fi
validator=build-validator
if [ ! -d "$validator/node_modules/gltf-validator" ]; then
  mkdir -p "$validator"
  if ! (cd "$validator" && npm install --silent --no-audit --no-fund gltf-validator@2.0.0-dev.3.10 >/dev/null 2>&1); then
    echo "== SKIPPED: glTF validation (the npm package gltf-validator could not be installed)"
    exit 0
  fi
fi
out=build-validator/out
mkdir -p "$out"
as_they_are=()
normalized=()
while IFS= read -r model; do
  name=$(basename "$(dirname "$model")")_$(basename "${model%.*}")
  "$host" from-gltf "$model" "$out/$name.json"
  "$host" --quiet save "$out/$name.json" "$out/$name.vsk" --form binary
  "$host" --quiet clear "$out/$name.json" "$out/$name.cleared.json"
  "$host" inspect "$out/$name.vsk" >/dev/null
  # Every record and joint of the model's own file resolves in its cleared scene.
  "$host" check "$out/$name.cleared.json" "$out/$name.vsk" >"$out/$name.check.txt" || {
    cat "$out/$name.check.txt" >&2
    echo "check of $model: something would be lost" >&2
    exit 1
  }
  "$host" --quiet load "$out/$name.cleared.json" "$out/$name.vsk" "$out/$name.loaded.json"
  # Weights as they are that do not sum to 1 are written with a warning and exit 1.
  status=0
  "$host" to-gltf "$out/$name.loaded.json" "$model" "$out/$name.glb" 2>"$out/$name.to-gltf.txt" || status=$?
  if [ "$status" -gt 1 ] || { [ "$status" -eq 1 ] && ! grep -q "do not sum to 1" "$out/$name.to-gltf.txt"; }; then
    cat "$out/$name.to-gltf.txt" >&2
    exit 1
  fi
  "$host" to-gltf "$out/$name.loaded.json" "$model" "$out/$name.normalized.glb" --normalize
  normalized+=("$out/$name.normalized.glb")
  # What engines take: 1, 4 or 8 influences, weights as floats or as
  # normalised integers: nine writes of one model, side by side on every core.
  variants=()
  for k in 1 4 8; do
    for form in float u16 u8; do
      variants+=("$k" "$form")
      normalized+=("$out/$name.k$k.$form.glb")
    done
  done
  printf '%s\n' "${variants[@]}" | xargs -n 2 -P "$(nproc)" sh -c '"$0" --quiet to-gltf "$1" "$2" "$3.k$4.$5.glb" --normalize \
    --max-influences "$4" --weights "$5" 2>/dev/null' "$host" "$out/$name.loaded.json" "$model" "$out/$name"
  # Weights as they are keep whatever the model's own weights were: no error
  # that the model itself does not have.
  before=$(NODE_PATH="$validator/node_modules" node scripts/validate_gltf.js "$model" | head -n 1 | sed 's/.*: \([0-9]*\) errors.*/\1/' || true)
  after=$(NODE_PATH="$validator/node_modules" node scripts/validate_gltf.js "$out/$name.glb" | head -n 1 | sed 's/.*: \([0-9]*\) errors.*/\1/' || true)
  echo "$out/$name.glb: $after errors, the model itself $before"
  if [ "$after" -gt "$before" ]; then
    NODE_PATH="$validator/node_modules" node scripts/validate_gltf.js "$out/$name.glb" | head -n 20 >&2
    exit 1
  fi
done < <(find "$models" \( -name '*.glb' -o -name '*.gltf' \) | sort)
echo "== glTF validator on the ${#normalized[@]} files written by to-gltf --normalize (with the engine limits): no errors allowed"
NODE_PATH="$validator/node_modules" node scripts/validate_gltf.js "${normalized[@]}"
