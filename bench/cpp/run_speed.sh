#!/usr/bin/env bash
# Labels per second, ns per expansion and peak memory of one or two builds,
# one process per measurement, each measurement repeated and the best kept:
#   bash bench/cpp/run_speed.sh BUDGET REPEATS PROGRAM_DIR [PROGRAM_DIR...]
set -euo pipefail
budget=${1:-1000000}
repeats=${2:-3}
shift 2
# The shared benchmark data lies beside the project root.
tsplib=${TSPLIB_DIR:-$(cd "$(dirname "$0")/../../.." && pwd)/shared/bench/tsplib}
field() { sed -E "s/.* $1=([^ ]*).*/\1/"; }
for name in eil51 eil76 rat99; do
  for dir in "$@"; do
    best=""
    best_rate=0
    for _ in $(seq "$repeats"); do
      line=$("$dir/zel_speed_bench" --budget "$budget" "$tsplib/$name.tsp" | grep '^instance=')
      rate=$(echo "$line" | field labels_per_s)
      if [ "$rate" -gt "$best_rate" ]; then best_rate=$rate; best=$line; fi
    done
    echo "$dir $best"
  done
done
