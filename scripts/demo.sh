#!/usr/bin/env bash
# The demo: builds the project, starts the traffic light tarvo on a private
# shared block, plays a day and a night against it with the console's plant
# simulator (about half a minute, the lights drawn as they change), then ends
# the program and checks that no block is left behind. With `conveyor` it
# plays the conveyor line instead: two batches of boxes and a hold. With
# `pickplace` it plays the pick-and-place cell: boxes carried to a pallet,
# an emergency stop, a full pallet replaced, a held box taken away. With
# --monitor it opens the console's live view on the program instead (r run,
# s stop, n step, 1 and 2 toggle the inputs, q quit). With --fast the program
# runs in lockstep mode and the simulator plays a ten-minute shift on plant
# time, as fast as the program cycles (a few seconds), then prints the
# counts.
#   scripts/demo.sh [conveyor|pickplace] [--monitor | --fast] [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
program=tarvo
mode=sim
if [ "${1:-}" = "conveyor" ] || [ "${1:-}" = "pickplace" ]; then
  program=$1
  shift
fi
if [ "${1:-}" = "--monitor" ]; then
  mode=monitor
  shift
elif [ "${1:-}" = "--fast" ]; then
  mode=fast
  shift
fi
build=${1:-build}

scripts/deps.sh
# The same configuration as scripts/test.sh, so that the tests reuse this
# build; only the program and the console are built here.
cmake -S . -B "$build" -G Ninja -DVX_WERROR=ON >/dev/null
cmake --build "$build" --target "$program" vxctl

vxctl="$build/bin/vxctl"
block="vxdemo$$"
log=$(mktemp)
export VX_MEMORY_NAME=$block

# Whatever happens, the program ends and takes its block with it.
program_pid=""
cleanup() {
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
    "$vxctl" end >/dev/null 2>&1 || kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
  fi
  rm -f "$log"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

schedule=default
[ "$mode" = fast ] && schedule=lockstep
VX_SCHEDULE=$schedule "$build/bin/$program" >"$log" 2>&1 &
program_pid=$!

# The program lays out its block and waits in STOP.
for _ in $(seq 100); do
  "$vxctl" status >/dev/null 2>&1 && break
  sleep 0.05
done
"$vxctl" status >/dev/null || { cat "$log"; exit 1; }

echo
if [ "$mode" = monitor ]; then
  # tarvo in day mode from the start: press r and the lights go.
  [ "$program" = tarvo ] && "$vxctl" set jour=1
  "$vxctl" monitor
elif [ "$mode" = fast ]; then
  echo "$program runs in lockstep mode on shared block $block; the simulator plays"
  echo "scenarios/$program.scn for ten minutes of plant time, checking every invariant"
  echo "after every cycle (the last lines of the timeline):"
  echo
  "$vxctl" sim --fast --for 600 "scenarios/$program.scn" | tail -n 4
  echo
  if [ "$program" = conveyor ]; then
    "$vxctl" get infeed.created total.CV batch.CV infeed.overlaps
  else
    "$vxctl" vars | grep ' output = '
  fi
  echo
else
  echo "$program runs on shared block $block; the simulator plays scenarios/$program.scn."
  echo
  lights=()
  [ "$program" = tarvo ] && lights=(--lights)
  "$vxctl" sim "${lights[@]}" "scenarios/$program.scn"
  echo
  if [ "$program" != tarvo ]; then
    "$vxctl" objects
    echo
  fi
fi
"$vxctl" end
wait "$program_pid"
program_pid=""

if [ -e "/dev/shm/$block" ]; then
  echo "shared block $block was left behind" >&2
  exit 1
fi
echo "$program has ended and its block is gone."
