#!/usr/bin/env bash
# Installs what the build needs on a Debian machine, when it is missing.
set -euo pipefail

packages=(cmake g++ make pkg-config libboost-dev librapidxml-dev nlohmann-json3-dev libgtest-dev libgmock-dev
          libtinygltf-dev libcli11-dev rapidjson-dev binutils
          libeigen3-dev libnanoflann-dev libsuitesparse-dev libopenblas0-pthread)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq || echo "warning: apt-get update failed for some index; going on with the lists at hand" >&2
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
