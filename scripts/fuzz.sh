#!/usr/bin/env bash
# Fuzzes each reader of outside input for a short, fixed time: the skin file
# reader of the plug-in and that of tavrik-host's reports, the scene file
# reader and the glTF scene builder; and the name maps' rules on long names,
# and every --json report on names that are not UTF-8. libFuzzer writes
# new inputs into the first folder it is given, so each target starts from a
# scratch copy of the seeds a person chose. Any finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${TAVRIK_FUZZ_SECONDS:-12}

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
need=()
command -v clang++ >/dev/null || need+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || need+=(libclang-rt-14-dev)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  { $sudo_cmd apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${need[@]}"; } \
    >/dev/null 2>&1 || true
fi
if ! command -v clang++ >/dev/null; then
  echo "== SKIPPED: fuzzing (no clang++ on this machine, and it could not be installed)"
  exit 0
fi

CXX=clang++ CC=clang cmake -S . -B build-fuzz -DTAVRIK_FUZZ=ON -DTAVRIK_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(skin_file skin_report scene_json gltf_scene name_map json_reports)
# The fuzz targets and what they need, not the host's programs.
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]/%/_fuzz}" >/dev/null

declare -A seeds=([skin_file]="tests/data/*.vsk" [skin_report]="tests/data/*.vsk" [scene_json]="examples/*.json"
                  [gltf_scene]="examples/*.gltf" [name_map]="tests/fuzz/seeds/name_map/*"
                  [json_reports]="tests/data/*.vsk tests/fuzz/seeds/json_reports/*")
declare -A dicts=([skin_file]=skin_file.dict [skin_report]=skin_file.dict [scene_json]=scene_json.dict
                  [gltf_scene]=gltf.dict [name_map]=name_map.dict [json_reports]=skin_file.dict)
for target in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$target"
  rm -rf "$corpus" && mkdir -p "$corpus"
  # shellcheck disable=SC2086
  cp ${seeds[$target]} "$corpus/"
  echo "== Fuzzing $target for $seconds s"
  (cd build-fuzz && "tests/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -print_final_stats=0 \
      -dict="../tests/fuzz/${dicts[$target]}" "corpus/$target" 2>"fuzz-$target.log") || {
    tail -n 40 "build-fuzz/fuzz-$target.log" >&2
    echo "fuzzing $target found a fault; the input is in build-fuzz/" >&2
    exit 1
  }
  grep -E "^Done [0-9]+ runs" "build-fuzz/fuzz-$target.log" || true
done
