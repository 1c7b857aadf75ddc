#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time from the seeds in
# tests/fuzz_seeds; any crash, sanitizer report or failed check ends it non-zero.
#
#   fuzz/run.sh [seconds per target]     (default 30)
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
cd "$top"
cmake --workflow --preset fuzz >/dev/null

for target in split header_scan redirect; do
  corpus=build/fuzz/corpus/$target
  mkdir -p "$corpus"
  log=build/fuzz/$target.log
  if ! build/fuzz/fuzz/${target}_fuzz -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix=build/fuzz/ "$corpus" "tests/fuzz_seeds/$target" > "$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzz: $target found a fault (see $log)"
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz: $target ${runs:-?} executions in ${seconds} s, no finding"
done
