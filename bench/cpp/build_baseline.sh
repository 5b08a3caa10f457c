#!/usr/bin/env bash
# Builds the benchmark programs of an earlier commit beside the current ones, so
# the two can be measured in one run on the same machine:
#   bash bench/cpp/build_baseline.sh [COMMIT] [DIR] [PATCH]
# The worktree gets today's bench/cpp (it uses only the public Solver API), so
# both builds run the same benchmark code. PATCH, when given, is applied to the
# worktree's sources first: a later change of behaviour ported back, so the two
# builds search alike (see baseline-dominance-key.patch). Remove the worktree with
#   git worktree remove --force DIR
set -euo pipefail
commit=${1:-27a285b}
dir=${2:-/work/bench-baseline}
root=$(git rev-parse --show-toplevel)
if [ ! -d "$dir" ]; then
  git -C "$root" worktree add --detach "$dir" "$commit"
fi
if [ -n "${3:-}" ]; then
  git -C "$dir" checkout -- src
  git -C "$dir" apply "$(realpath "$3")"
fi
rm -rf "$dir/bench/cpp"
mkdir -p "$dir/bench"
cp -r "$root/bench/cpp" "$dir/bench/cpp"
cmake -S "$dir" -B "$dir/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DZEL_BUILD_MODULE=OFF -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_BENCH=ON >/dev/null
cmake --build "$dir/build-bench" -j2 --target zel_speed_bench zel_equivalence_dump
echo "baseline programs in $dir/build-bench/bench/cpp"
