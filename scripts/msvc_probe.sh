#!/usr/bin/env bash
# Builds the probe host in Microsoft's C++ ABI (clang for *-pc-windows-msvc,
# freestanding: the interface headers of include/, import libraries of
# kernel32.dll and msvcrt.dll made by llvm-dlltool, linked by lld-link) and
# runs it under wine64 against tavrik64.dll: every component through its
# slots, "Save skin" in both forms (the same bytes as the Linux build writes
# for the same scene), "Load skin" of each, the host's exceptions into an
# export, a load, a walk and a dialog's opening, and the placeholders. The
# 32-bit probe is built against tavrik.dll's surface and run where the
# machine runs 32-bit programs.
#   scripts/msvc_probe.sh LINUX_TAVRIK_HOST
set -euo pipefail
cd "$(dirname "$0")/.."
linux_host=$1
out=build-msvc-probe
mkdir -p "$out"

build_probe() {  # arch: x86_64 or i686
  local arch=$1 machine dir=$out/$1
  mkdir -p "$dir"
  if [ "$arch" = x86_64 ]; then
    machine=i386:x86-64
    sed 's/@[0-9]*$//' tests/msvc_probe/kernel32.def >"$dir/kernel32.def"
    sed 's/@[0-9]*$//' tests/msvc_probe/msvcrt.def >"$dir/msvcrt.def"
  else
    # 32-bit: standard-call names keep their argument size, cdecl ones are plain.
    machine=i386
    cp tests/msvc_probe/kernel32.def tests/msvc_probe/msvcrt.def "$dir/"
  fi
  llvm-dlltool -m "$machine" -d "$dir/kernel32.def" -l "$dir/kernel32.lib" -k
  llvm-dlltool -m "$machine" -d "$dir/msvcrt.def" -l "$dir/msvcrt.lib" -k
  clang++ --target="$arch-pc-windows-msvc" -std=c++17 -ffreestanding -fno-rtti -fexceptions -fcxx-exceptions \
    -fms-extensions -O1 -Wall -Wextra -Werror -Iinclude -c tests/msvc_probe/probe.cpp -o "$dir/probe.obj"
  lld-link /nologo /entry:probe_main /subsystem:console /nodefaultlib /safeseh:no "$dir/probe.obj" \
    "$dir/kernel32.lib" "$dir/msvcrt.lib" /out:"$dir/probe.exe"
}

build_probe x86_64
echo "== probe host in Microsoft's C++ ABI (64-bit) against tavrik64.dll"
/usr/lib/wine/wine64 "$out/x86_64/probe.exe" build-win-x86_64/plugin/tavrik64.dll "$out/x86_64" | tr -d '\r'

# The files the probe's plug-in wrote are the bytes the Linux build writes
# for the same scene.
for form in text binary; do
  "$linux_host" --quiet save tests/msvc_probe/probe_scene.json "$out/linux.$form.vsk" \
    --range all --form "$form" --full-path yes --trim no
  cmp "$out/linux.$form.vsk" "$out/x86_64/probe.$form.vsk"
done
echo "probe host: both forms the same bytes as the Linux build's"

build_probe i686
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "== probe host in Microsoft's C++ ABI (32-bit) against tavrik.dll"
  cp build-win-i686/plugin/tavrik.dll build-win-i686/bin/
  /usr/lib/wine/wine "$out/i686/probe.exe" build-win-i686/bin/tavrik.dll "$out/i686" | tr -d '\r'
else
  echo "== SKIPPED: the 32-bit probe run (this machine cannot run 32-bit programs); the 32-bit probe was built."
fi
