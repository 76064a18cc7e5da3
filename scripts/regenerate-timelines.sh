#!/usr/bin/env bash
# Regenerates the timelines that every scenario gives when it is played at
# the program's pace (scenarios/timelines/<name>.timeline): each program is
# started on a private block with the default schedule and `vxctl sim`
# steps it one period at a time, so this takes as long as the longest
# scenario (the programs play side by side). The fast-versus-paced test
# compares `sim --fast` with these files. Run it after a change to a
# controller or a scenario, and look at the diff.
#   scripts/regenerate-timelines.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target vxctl tarvo melki melki_bis sorel sorel_bis conveyor pickplace
out=scenarios/timelines
mkdir -p "$out"

play() {
  local name=$1 block="vxtimeline$$_$1" pid status=0
  VX_MEMORY_NAME=$block "$build/bin/$name" >/dev/null 2>&1 &
  pid=$!
  # The program is up once vxctl can name its variables.
  for _ in $(seq 200); do
    "$build/bin/vxctl" --block "$block" status >/dev/null 2>&1 && break
    sleep 0.05
  done
  # The heading names the block and the file: the timeline starts below it.
  "$build/bin/vxctl" --block "$block" sim "scenarios/$name.scn" | tail -n +2 >"$out/$name.timeline" || status=$?
  "$build/bin/vxctl" --block "$block" end >/dev/null 2>&1 || kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "$name: exit status $status"
}

for scenario in scenarios/*.scn; do
  play "$(basename "$scenario" .scn)" &
done
wait
git status --short "$out"
