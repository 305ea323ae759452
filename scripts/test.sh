#!/usr/bin/env bash
# Builds everything under AddressSanitizer and UndefinedBehaviorSanitizer
# and runs all tests, then checks that the library exports exactly its seven
# functions; fuzzes the readers of outside input, the name maps and the JSON
# reports for 12 seconds each; takes
# the shared models' skins out to glTF and through the Khronos validator;
# shoots the pages of view in Chromium and checks their pixels;
# builds and checks the macOS bundle unless TAVRIK_MACOS=0; then
# builds and tests the Windows libraries under wine, unless TAVRIK_WINDOWS=0.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DTAVRIK_SANITIZE=ON >/dev/null
cmake --build build-test -j"$(nproc)" >/dev/null

exports=$(nm -D --defined-only build-test/plugin/tavrik.so | awk '{print $3}' | sort | tr '\n' ' ')
expected="create_interface get_info get_name get_uuid has_interface has_separate_interfaces is_resident "
if [ "$exports" != "$expected" ]; then
  echo "tavrik.so exports: $exports" >&2
  echo "expected exactly:  $expected" >&2
  exit 1
fi
echo "tavrik.so exports exactly: $exports"

# A hang is a failure: each test case ends within its bound.
ctest --test-dir build-test --output-on-failure -j"$(nproc)" --timeout 300

bash scripts/fuzz.sh
bash scripts/gltf_check.sh build-test/bin/tavrik-host
bash scripts/view_check.sh build-test/bin/tavrik-host
if [ "${TAVRIK_MACOS:-1}" != "0" ]; then
  bash scripts/macos.sh
fi

if [ "${TAVRIK_WINDOWS:-1}" != "0" ]; then
  bash scripts/windows.sh
fi
