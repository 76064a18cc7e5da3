#!/usr/bin/env bash
# Builds everything and runs every test, then checks that the suite left no
# shared block behind and that every test name fits a 120-column terminal.
#   scripts/test.sh [build-dir] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=${1:-build}
shift || true
cmake -S . -B "$build" -G Ninja -DVX_WERROR=ON "$@"
cmake --build "$build"

blocks() { ls /dev/shm 2>/dev/null | grep -E '^vx' | sort || true; }
before=$(blocks)
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"

# Blocks the tests made and did not remove (another test run at the same
# time on this machine would show here too).
left=$(comm -13 <(printf '%s\n' "$before") <(blocks) | grep . || true)
if [ -n "$left" ]; then
  echo "The tests left these shared blocks in /dev/shm:" $left >&2
  exit 1
fi
# ctest pads every line to its longest test name: keep its output readable.
long=$(ctest --test-dir "$build" -N | sed -n 's/^ *Test *#[0-9]*: //p' | awk 'length($0) > 72' || true)
if [ -n "$long" ]; then
  echo "These test names are longer than 72 characters:" >&2
  printf '  %s\n' "$long" >&2
  exit 1
fi
