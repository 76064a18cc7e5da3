#!/usr/bin/env bash
# Builds everything and runs every test.
#   scripts/test.sh [build-dir] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=${1:-build}
shift || true
cmake -S . -B "$build" -G Ninja -DVX_WERROR=ON "$@"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
