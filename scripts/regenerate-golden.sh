#!/usr/bin/env bash
# Regenerates the expected files of the controllers' golden tests
# (controllers/test/golden/<name>/) from their descriptions, after a change
# to the generator that is meant to change its output. Review the diff
# before committing it.
#   scripts/regenerate-golden.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DVX_WERROR=ON
fi
cmake --build "$build" --target vxgen
for name in tarvo melki melki_bis sorel sorel_bis conveyor pickplace; do
  golden=controllers/test/golden/$name
  mkdir -p "$golden"
  "$build/bin/vxgen" --graph "$name" --out "$golden" --symbols "$golden/$name.vars" \
    "controllers/$name/$name.grafcet"
done
git status --short controllers/test/golden
# The default Modbus address maps of the same symbol files.
cmake --build "$build" --target vxctl
for vars in controllers/test/golden/*/*.vars; do
  name=$(basename "$vars" .vars)
  "$build/bin/vxctl" --symbols "$vars" modbus --print-map >"console/test/modbus/$name.map.csv"
done
git status --short console/test/modbus
