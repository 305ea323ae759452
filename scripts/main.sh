#!/usr/bin/env bash
# Builds the plug-in and the reference host, then runs the main job on the
# shipped example scenes: the menu in both languages, "Save skin" in both
# forms, and "Load skin" of each file into a scene without skins.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTAVRIK_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" >/dev/null

host=build/bin/tavrik-host
out=out
mkdir -p "$out"

echo "== The plug-in's menu, English and Japanese"
"$host" menu
"$host" --lang 1041 menu

for form in text binary; do
  echo
  echo "== Save skin ($form form) of examples/character.json"
  "$host" save examples/character.json "$out/character.$form.vsk" --form "$form"
  echo "== Load skin of it into examples/character_unbound.json"
  "$host" load examples/character_unbound.json "$out/character.$form.vsk" "$out/loaded.$form.json" --verbose yes
done

echo
echo "== What changed: skins before and after the load (text form)"
diff <("$host" show examples/character_unbound.json) <("$host" show "$out/loaded.text.json") || true
if diff -q <("$host" show examples/character.json) <("$host" show "$out/loaded.binary.json") >/dev/null; then
  echo "== Both forms brought back every skin of the example scene."
else
  echo "== The loaded scene differs from the saved one." >&2
  exit 1
fi

echo
echo "== The three commands on examples/character.json (figure selected, spine memorised)"
"$host" --quiet clear examples/character.json "$out/cleared.json" --hold yes
echo "Clear skin: $("$host" show "$out/cleared.json" | grep -c '(none)') skins now empty"
"$host" --quiet joint-clear examples/character.json "$out/without_spine.json"
echo "joint clear in skins: bindings to spine left: $("$host" show "$out/without_spine.json" | grep -c 'spine=')"
"$host" --quiet reset examples/character.json "$out/reset.json"
echo "Reset transformation: shapes that keep a matrix: $(grep -c '"matrix"' "$out/reset.json") (the memorised spine)"

model=../shared/data/models/CesiumMan/glTF-Binary/CesiumMan.glb
if [ -f "$model" ]; then
  echo
  echo "== A real rigged model: $model"
  "$host" from-gltf "$model" "$out/cesium_man.json"
  "$host" --quiet save "$out/cesium_man.json" "$out/cesium_man.vsk" --form binary
  "$host" --quiet clear "$out/cesium_man.json" "$out/cesium_man_cleared.json"
  "$host" --quiet load "$out/cesium_man_cleared.json" "$out/cesium_man.vsk" "$out/cesium_man_loaded.json"
  if diff -q <("$host" show "$out/cesium_man.json") <("$host" show "$out/cesium_man_loaded.json") >/dev/null; then
    echo "== Cleared with \"Clear skin\" and loaded back: all $("$host" show "$out/cesium_man.json" | grep -c vertex) vertex skins are as they were."
  else
    echo "== The model's skins differ after the load." >&2
    exit 1
  fi
fi
