#!/usr/bin/env bash
# The 32-bit DLL's interface layout against the host's: every interface class
# of include/ laid out by mingw-w64 GCC (as tavrik.dll is built) has as many
# vtable slots as clang gives it in Microsoft's ABI (-fdump-vtable-layouts,
# i686-pc-windows-msvc). The 64-bit layout is proven by the probe host itself.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-msvc-probe/layouts
mkdir -p "$dir"
i686-w64-mingw32-g++-posix -std=c++17 -Iinclude -fdump-lang-class -c tests/msvc_probe/layouts.cpp \
  -o "$dir/layouts.o" -dumpdir "$dir/"
# GCC: "Vtable for X" then "X::_ZTV..: N entries", two of which are not slots.
gcc_counts=$(cat "$dir"/*.class | grep -E "^Vtable for|entries" | paste - - |
  sed -E 's/.*Vtable for (\w+).*: ([0-9]+) entries/\1 \2/' | awk '{print $1, $2 - 2}' | sort -u)
msvc_counts=$(clang++ --target=i686-pc-windows-msvc -std=c++17 -ffreestanding -fno-rtti -fms-extensions -Iinclude \
  -Xclang -fdump-vtable-layouts -emit-llvm -S -o /dev/null tests/msvc_probe/layouts.cpp 2>/dev/null |
  grep -E "^VFTable for" | sed -E "s/VFTable for .*'(\w+)' \(([0-9]+) entries\)\./\1 \2/" | sort -u)
compared=$(join <(echo "$gcc_counts") <(echo "$msvc_counts"))
classes=$(echo "$compared" | wc -l)
if [ "$classes" -lt 16 ] || echo "$compared" | awk '$2 != $3 {bad = 1} END {exit !bad}'; then
  echo "32-bit vtable slots, GCC against Microsoft's ABI:" >&2
  echo "$compared" >&2
  exit 1
fi
echo "tavrik.dll's interface layout: $classes classes with the slot counts of Microsoft's ABI"
