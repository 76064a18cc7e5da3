#!/usr/bin/env bash
# vxctl modbus against an independent client, mbpoll: tarvo's day input
# written, one cycle stepped through the control register, its lights, state
# registers and a refusal read back, all over Modbus TCP.
#   mbpoll_test.sh VXCTL TARVO
set -uo pipefail
vxctl=$1 tarvo=$2
command -v mbpoll >/dev/null || { echo "mbpoll is not installed (scripts/deps.sh installs it)"; exit 77; }
block=vxmb$$ port=$((20000 + $$ % 40000))
dir=$(mktemp -d)
program= server=
cleanup() {
  [ -z "$server" ] || { kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; }
  [ -z "$program" ] || { "$vxctl" --block "$block" end >/dev/null 2>&1; kill "$program" 2>/dev/null; wait "$program" 2>/dev/null; }
  rm -rf "$dir" "/dev/shm/$block"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- server"; cat "$dir/server" 2>/dev/null; exit 1; }
# mbpoll with PDU addresses (from 0), once, on this server; write takes
# the value last.
poll() { mbpoll -m tcp -p "$port" -a 1 -0 -1 "$@" 127.0.0.1; }
write() { mbpoll -m tcp -p "$port" -a 1 -0 "${@:1:$#-1}" 127.0.0.1 "${@: -1}"; }
value() { poll "$@" | sed -n 's/^\[[0-9]*\]:[[:space:]]*//p' | tr '\n' ' '; }

VX_MEMORY_NAME=$block "$tarvo" >"$dir/program" 2>&1 &
program=$!
for _ in $(seq 100); do "$vxctl" --block "$block" status >/dev/null 2>&1 && break; sleep 0.05; done
"$vxctl" --block "$block" modbus --listen "127.0.0.1:$port" --control >"$dir/server" 2>&1 &
server=$!
for _ in $(seq 100); do grep -q "serving program tarvo" "$dir/server" && break; sleep 0.05; done
grep -q "serving program tarvo" "$dir/server" || fail "the server does not serve tarvo"

[ "$(value -t 3:int -B -r 0 -c 1)" = "1 " ] || fail "execstatus is not STOP (1)"
write -t 0 -r 0 1 >/dev/null || fail "writing jour (coil 0)"
[ "$(value -t 0 -r 0 -c 2)" = "1 0 " ] || fail "jour and nuit do not read 1 0"
write -t 4 -r 0 3 >/dev/null || fail "writing STEP into the control register"
for _ in $(seq 100); do [ "$(value -t 3:int -B -r 2 -c 1)" = "1 " ] && break; sleep 0.05; done
[ "$(value -t 3:int -B -r 2 -c 1)" = "1 " ] || fail "the cycle counter did not reach 1"
lights=$(value -t 1 -r 0 -c 5)
[ "$lights" = "1 0 0 0 1 " ] || fail "vert rouge orange vert_pieton rouge_pieton read '$lights', not '1 0 0 0 1 '"
[ "$(value -t 3:float -B -r 4 -c 1)" = "50000 " ] || fail "simuperiod does not read 50000"
out=$(write -t 0 -r 5 1 2>&1) && fail "writing unmapped coil 5 was accepted"
grep -qi "illegal data address" <<<"$out" || fail "unmapped coil 5: '$out'"
out=$(write -t 4 -r 0 9 2>&1) && fail "writing 9 into the control register was accepted"
grep -qi "illegal data value" <<<"$out" || fail "control register 9: '$out'"
[ "$("$vxctl" --block "$block" get jour vert)" = "jour (B5) = 1
vert (B7) = 1" ] || fail "vxctl does not see what mbpoll wrote"

kill -TERM "$server"; wait "$server"; rc=$?; server=
[ "$rc" = 0 ] || fail "the server ended with $rc on SIGTERM"
grep -q "modbus: ended; " "$dir/server" || fail "the server did not say it ended"
echo "mbpoll: every check held"
