#!/usr/bin/env bash
# Runs the fuzz targets (libFuzzer, clang 16, AddressSanitizer and
# UndefinedBehaviorSanitizer) in their own build directory, apart from the
# normal gcc build.
#   scripts/fuzz.sh [TARGET|all] [SECONDS] [build-dir]
# TARGET is parameters, description, symbols, scenario, trace or debug_step (all by
# default); each runs SECONDS (default 60). The corpus that a run grows is
# kept in <build-dir>/corpus/TARGET, seeded from fuzz/corpus/TARGET; an input
# that crashes is written to <build-dir>/findings/ and the script fails.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:-all}
seconds=${2:-60}
build=${3:-build-fuzz}
targets=(parameters description symbols scenario trace debug_step)
[ "$target" = all ] || targets=("$target")

scripts/deps.sh fuzz
if [ ! -f "$build/build.ninja" ]; then
  CC=clang-16 CXX=clang++-16 cmake -S . -B "$build" -G Ninja -DVX_FUZZ=ON -DVX_SANITIZE=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target fuzzers

mkdir -p "$build/findings"
for t in "${targets[@]}"; do
  [ -d "fuzz/corpus/$t" ] || { echo "no fuzz target $t" >&2; exit 2; }
  mkdir -p "$build/corpus/$t"
  echo "fuzzing $t for $seconds s"
  # The started controller prints its start-up lines once; the fuzzer's own
  # statistics go to standard error.
  "$build/fuzz-bin/${t}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$t-" "$build/corpus/$t" "fuzz/corpus/$t" >/dev/null
done
