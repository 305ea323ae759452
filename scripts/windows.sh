#!/usr/bin/env bash
# Cross-builds the Windows deliverables with Debian's mingw-w64 compilers,
# tavrik64.dll (64-bit) and tavrik.dll (32-bit, standard-call names), checks
# that each exports exactly its seven functions and imports only what a host
# provides, and runs the reference host's test suite on both under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
# The 64-bit parts first: the compilers, wine64, and clang with lld and
# llvm's tools for the pieces and the probe host in Microsoft's C++ ABI. An
# index that fails to download (a mirror in sync) is a warning, not an end.
need=()
for p in g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 \
         wine wine64 clang lld llvm; do
  installed "$p" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  $sudo_cmd apt-get update -qq || echo "warning: apt-get update failed for some index; going on with the lists at hand" >&2
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${need[@]}" >/dev/null
fi
# wine32 runs the 32-bit suite; it needs the i386 architecture, and its
# libraries must match the amd64 ones of the moment. Where it cannot be
# installed the 32-bit library is still built and checked, and its suite
# skipped with a line that says so (below).
if ! installed wine32:i386; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo_cmd dpkg --add-architecture i386
    $sudo_cmd apt-get update -qq || echo "warning: apt-get update failed for some index" >&2
  fi
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq wine32:i386 >/dev/null 2>&1 ||
    echo "warning: wine32 could not be installed; the 32-bit suite will be skipped" >&2
fi

# objdump, dll, table heading, line filter, expected names
table() {
  "$1" -p "$2" | sed -n "/$3/,/^\$/p" | awk "$4" | sort | tr '\n' ' '
}
expect() {  # what, found, expected
  if [ "$2" != "$3" ]; then
    echo "$1: $2" >&2
    echo "expected exactly: $3" >&2
    exit 1
  fi
  echo "$1 exactly: $2"
}
exports() { table "$1" "$2" '\[Ordinal\/Name Pointer\] Table' '/\[/ && !/Table/ {print $NF}'; }
imports() { "$1" -p "$2" | awk '/DLL Name:/ {print $3}' | sort | tr '\n' ' '; }

# Headless wine in a prefix of its own; no display is needed. Each kind of
# program runs under its own loader: Debian's wine wrapper picks the 32-bit
# one whenever wine32 is installed, also for 64-bit programs.
export WINEPREFIX="$PWD/build-wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
declare -A loader=([x86_64]=/usr/lib/wine/wine64 [i686]=/usr/lib/wine/wine)

# Some kernels cannot run 32-bit programs at all: the 32-bit loader is a tiny
# 32-bit program, so asking it for its version tells. Where it cannot run,
# tavrik.dll is still built and its tables checked below; only its suite,
# and the host and tests that would run it, are not built, and that is said.
archs=(x86_64)
runs_32_bit=no
if "${loader[i686]}" --version >/dev/null 2>&1; then
  archs+=(i686)
  runs_32_bit=yes
fi
for arch in x86_64 i686; do
  cmake -S . -B "build-win-$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CROSSCOMPILING_EMULATOR="${loader[$arch]}" >/dev/null
  if [ "$arch" = i686 ] && [ "$runs_32_bit" = no ]; then
    cmake --build "build-win-$arch" -j"$(nproc)" --target tavrik >/dev/null
  else
    cmake --build "build-win-$arch" -j"$(nproc)" >/dev/null
  fi
done

expect "tavrik64.dll exports" "$(exports x86_64-w64-mingw32-objdump build-win-x86_64/plugin/tavrik64.dll)" \
  "create_interface get_info get_name get_uuid has_interface has_separate_interfaces is_resident "
expect "tavrik.dll exports" "$(exports i686-w64-mingw32-objdump build-win-i686/plugin/tavrik.dll)" \
  "_create_interface@20 _get_info@12 _get_name@16 _get_uuid@16 _has_interface@8 _has_separate_interfaces@4 _is_resident@12 "
expect "tavrik64.dll imports" "$(imports x86_64-w64-mingw32-objdump build-win-x86_64/plugin/tavrik64.dll)" \
  "KERNEL32.dll msvcrt.dll "
expect "tavrik.dll imports" "$(imports i686-w64-mingw32-objdump build-win-i686/plugin/tavrik.dll)" \
  "KERNEL32.dll libgcc_s_dw2-1.dll libstdc++-6.dll msvcrt.dll "

bash scripts/vtable_check.sh

if [ "$runs_32_bit" = no ]; then
  echo "== SKIPPED: the 32-bit Windows suite (tavrik.dll): this machine cannot run 32-bit programs" \
       "(${loader[i686]} --version failed); tavrik.dll was built and its export and import tables checked" \
       "(the 32-bit host and tests, which only that suite would run, were not built)."
fi

"${loader[x86_64]}" wineboot --init >/dev/null 2>&1 || true
# One wine server for every program that follows: left to itself it ends a
# few seconds after its last client, and a program that starts just then
# fails to connect ("recvmsg: Connection reset by peer").
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=wineserver
"$wineserver" -p >/dev/null 2>&1 || true
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
for arch in "${archs[@]}"; do
  echo "== Windows $arch tests under wine"
  ctest --test-dir "build-win-$arch" --output-on-failure --timeout 1800
done

# A host built in Microsoft's C++ ABI drives the DLLs: the plug-in's save
# compared with the Linux build's bytes for the same scene.
linux_host=build-test/bin/tavrik-host
if [ ! -x "$linux_host" ]; then
  cmake -S . -B build -DTAVRIK_TESTS=OFF >/dev/null
  cmake --build build -j"$(nproc)" --target tavrik tavrik-host >/dev/null
  linux_host=build/bin/tavrik-host
fi
bash scripts/msvc_probe.sh "$linux_host"

# The main job's save and load through each Windows host and library: the
# files are the same bytes on both, and loading them brings back every skin.
out=build-wine-out
mkdir -p "$out"
for arch in "${archs[@]}"; do
  host="build-win-$arch/bin/tavrik-host.exe"
  wine="${loader[$arch]}"
  for form in text binary; do
    "$wine" "$host" --quiet save examples/character.json "$out/$arch.$form.vsk" --form "$form"
    "$wine" "$host" --quiet load examples/character_unbound.json "$out/$arch.$form.vsk" "$out/$arch.$form.json"
    if ! cmp -s <("$wine" "$host" show examples/character.json) <("$wine" "$host" show "$out/$arch.$form.json"); then
      echo "Windows $arch: loading the $form file did not bring back the example's skins" >&2
      exit 1
    fi
  done
done
if [ ${#archs[@]} -eq 2 ]; then
  for form in text binary; do
    cmp "$out/x86_64.$form.vsk" "$out/i686.$form.vsk"
  done
  echo "Windows hosts: both forms saved alike by both libraries and loaded back whole."
else
  echo "Windows host (64-bit): both forms saved and loaded back whole; the 32-bit host was skipped (see above)."
fi
