#!/usr/bin/env bash
# Cross-builds the Windows deliverables with Debian's mingw-w64 compilers,
# tavrik64.dll (64-bit) and tavrik.dll (32-bit, standard-call names), and
# checks that each exports exactly its seven functions.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
need=()
for p in g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${need[@]}" >/dev/null
fi

check_exports() {  # objdump, dll, expected names
  local names
  names=$("$1" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/{print $NF}' | grep -v Table | sort | tr '\n' ' ')
  if [ "$names" != "$3" ]; then
    echo "$2 exports: $names" >&2
    echo "expected exactly: $3" >&2
    exit 1
  fi
  echo "$2 exports exactly: $names"
}

for arch in x86_64 i686; do
  cmake -S . -B "build-win-$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "build-win-$arch" -j"$(nproc)" >/dev/null
done
check_exports x86_64-w64-mingw32-objdump build-win-x86_64/plugin/tavrik64.dll \
  "create_interface get_info get_name get_uuid has_interface has_separate_interfaces is_resident "
check_exports i686-w64-mingw32-objdump build-win-i686/plugin/tavrik.dll \
  "_create_interface@20 _get_info@12 _get_name@16 _get_uuid@16 _has_interface@8 _has_separate_interfaces@4 _is_resident@12 "
