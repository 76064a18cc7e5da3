#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test the project;
# with "fuzz", also what the fuzz targets need.
#   scripts/deps.sh [fuzz]
set -euo pipefail
packages=(cmake ninja-build g++ gcc pkg-config libgtest-dev libcli11-dev libbenchmark-dev
  libmodbus-dev mbpoll python3-pymodbus python3-serial-asyncio
  libcpp-httplib-dev nlohmann-json3-dev libssl-dev
  chromium chromium-driver python3-selenium)
# Real waveform readers that the tests check vxctl's VCD files with:
# sigrok-cli (wires) and gtkwave's converters (integers and reals too).
packages+=(sigrok-cli gtkwave)
# The fuzz targets: libFuzzer comes with clang's runtime libraries (clang 16:
# the first to take structured bindings into lambdas, which the code does).
[ "${1:-}" != fuzz ] || packages+=(clang-16 libclang-rt-16-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
