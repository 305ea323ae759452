#!/usr/bin/env bash
# The pages of tavrik-host view in a real browser: Chromium, headless, with
# software WebGL. A hand-made model of three quads (one bound to joint a, one
# without influence, one bound to b) is shot in each mode and its pixels
# checked; a page that does not start (its title is not "tavrik view:
# ready") fails. Then a shared model's page, shot as docs/view.png shows it
# (--readme writes it there). Skipped, saying why, where Chromium cannot be
# installed.
#   scripts/view_check.sh TAVRIK_HOST [--readme]
set -euo pipefail
cd "$(dirname "$0")/.."
host=${1:?usage: scripts/view_check.sh TAVRIK_HOST [--readme]}
host=$(realpath "$host")
skip() { echo "== SKIPPED: the pages in a browser ($1)"; exit 0; }

if ! command -v chromium >/dev/null; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  echo "installing: chromium"
  $sudo_cmd apt-get update -qq || echo "warning: apt-get update failed for some index; going on with the lists at hand" >&2
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq chromium >/dev/null 2>&1 || skip "chromium could not be installed"
fi
command -v python3 >/dev/null || skip "python3 is missing"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
browser() {
  # Software WebGL (SwiftShader), no GPU, no sandbox for CI's root user.
  timeout 120 chromium --headless --no-sandbox --disable-gpu --use-angle=swiftshader --enable-unsafe-swiftshader \
    --hide-scrollbars --user-data-dir="$out/profile" "$@" 2>/dev/null
}
title() { browser --dump-dom "file://$1" | grep -o '<title>[^<]*' | sed 's/<title>//'; }
shot() { browser --screenshot="$2" --window-size=600,300 "file://$1" >/dev/null; }

fails=0
expect_ready() {
  local got
  got=$(title "$1")
  if [ "$got" != "tavrik view: ready" ]; then
    echo "FAIL: $1 did not start: ${got:-no title}"
    fails=$((fails + 1))
  fi
}

"$host" --quiet view tests/data/view_quads.json "$out/quads.html"
"$host" --quiet view tests/data/view_quads.json "$out/compare.html" --compare tests/data/view_quads_changed.json
expect_ready "$out/quads.html"
expect_ready "$out/compare.html"
# The outer quads' middles (x -2.1 and 2.1, y 0), the middle one's upper half
# (the joints stand at its middle), and a corner: the page frames the box of
# x -3 to 3 and y -1 to 1 at 90 pixels a unit, its centre at the window's.
top=253,231,37 bottom=68,1,84 warn=255,0,255 grey=128,128,128 back=30,31,34
check() {
  local page=$1 name=$2; shift 2
  shot "$page" "$out/$name.png"
  if python3 scripts/png_pixels.py "$out/$name.png" "$@"; then
    echo "view $name: pixels as they must be"
  else
    fails=$((fails + 1))
  fi
}
check "$out/quads.html#ui=0&mode=joint&joint=root/a" joint-a 111,150=$top 300,105=$warn 489,150=$bottom 5,5=$back
check "$out/quads.html#ui=0&mode=joint&joint=root/b" joint-b 111,150=$bottom 300,105=$warn 489,150=$top
check "$out/quads.html#ui=0&mode=unbound" unbound 111,150=$grey 300,105=$warn 489,150=$grey
check "$out/quads.html#ui=0&mode=sum" sum 111,150=$grey 300,105=$warn 489,150=$grey
check "$out/quads.html#ui=0&mode=influences" influences 111,150=$bottom 300,105=$warn 489,150=$bottom
check "$out/compare.html#ui=0" change 111,150=$grey 300,105=$grey 489,150=$top

# Every shared model's page starts.
for shared in ../shared/data/models/*/*.glb ../shared/data/models/*/*/*.glb; do
  [ -f "$shared" ] || continue
  "$host" --quiet view "$shared" "$out/shared.html"
  expect_ready "$out/shared.html"
done
model=../shared/data/models/CesiumMan/glTF-Binary/CesiumMan.glb
if [ -f "$model" ]; then
  "$host" --quiet view "$model" "$out/cesium.html" --joint root/CesiumMan/Z_UP/Armature/Skeleton_torso_joint_1/Skeleton_torso_joint_2
  expect_ready "$out/cesium.html"
  browser --screenshot="$out/cesium.png" --window-size=640,400 "file://$out/cesium.html" >/dev/null
  mkdir -p build-view
  cp "$out/cesium.png" build-view/view.png
  if [ "${2:-}" = "--readme" ]; then
    cp "$out/cesium.png" docs/view.png
    echo "docs/view.png made again"
  fi
else
  echo "== SKIPPED: the shared model's page (no $model)"
fi
[ "$fails" -eq 0 ] || { echo "view: $fails checks failed"; exit 1; }
echo "view: every page started and every pixel checked is as it must be"
