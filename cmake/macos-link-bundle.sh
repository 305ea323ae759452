#!/usr/bin/env bash
# Links a macOS bundle (MH_BUNDLE) with LLVM's ld64.lld: the objects and
# static libraries given, libc++ and libc++abi linked in statically as Zig
# builds them for the target (so the bundle needs nothing of the Mac but
# libSystem), and libSystem through the stubs Zig carries. Signed ad hoc,
# as arm64 macOS requires of any code it loads (x86_64 the same, for one rule).
#   macos-link-bundle.sh ZIG ARCH MINIMUM OUT [-Wl,flags...] inputs...
set -euo pipefail
zig=$1 arch=$2 minimum=$3 out=$4
shift 4
case $arch in
  arm64) target=aarch64-macos.$minimum ;;
  *) target=x86_64-macos.$minimum ;;
esac
ld64=$(command -v ld64.lld || ls /usr/bin/ld64.lld-* /usr/lib/llvm-*/bin/ld64.lld 2>/dev/null | sort -V | tail -1)

inputs=() flags=()
for argument in "$@"; do
  case $argument in
    -Wl,*) IFS=, read -r -a parts <<<"${argument#-Wl,}"; flags+=("${parts[@]}") ;;
    -*) ;;  # the compiler's own flags: nothing for the linker
    *) inputs+=("$argument") ;;
  esac
done

# Zig builds its runtime libraries for the target on first use and names
# them in its verbose link line: link an empty library once to learn where.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
echo 'void tavrik_link_probe(void) {}' >"$scratch/probe.c"
runtime=$("$zig" c++ -target "$target" -shared "$scratch/probe.c" -o "$scratch/probe.dylib" -v 2>&1 |
          tr ' ' '\n' | grep -E '/lib(c\+\+|c\+\+abi|compiler_rt)\.a$' || true)
if [ "$(echo "$runtime" | grep -c .)" -ne 3 ]; then
  echo "macos-link-bundle: zig did not name its libc++, libc++abi and compiler_rt for $target" >&2
  exit 1
fi
sdk=$(dirname "$(command -v "$zig")")/lib/libc/darwin
mkdir -p "$scratch/stubs"
cp "$sdk/libSystem.${minimum%%.*}.tbd" "$scratch/stubs/libSystem.tbd"

# shellcheck disable=SC2086
"$ld64" -arch "$arch" -platform_version macos "$minimum" "$minimum" -bundle -dead_strip -adhoc_codesign -o "$out" \
  "${flags[@]}" "${inputs[@]}" $runtime -L"$scratch/stubs" -lSystem
