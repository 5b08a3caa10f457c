#!/usr/bin/env bash
# Release build of the benchmark programs from this tree:
#   bash bench/cpp/build_current.sh [BUILD_DIR]
set -euo pipefail
root=$(git rev-parse --show-toplevel)
build=${1:-$root/build-bench}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DZEL_BUILD_MODULE=OFF -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target zel_speed_bench zel_equivalence_dump zel_bruteforce zel_phase_speed
echo "programs in $build/bench/cpp"
