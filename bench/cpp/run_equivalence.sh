#!/usr/bin/env bash
# Compares two builds result by result:
#   bash bench/cpp/run_equivalence.sh OLD_PROGRAM_DIR NEW_PROGRAM_DIR [COUNT] [BUDGET]
# 1. COUNT small random instances (both objectives, windows, route-length limits,
#    several agents and depots, open and closed routes, the caller's-graph road),
#    each searched to its natural end, or for the rare long one to an expansion
#    budget of a million: status, counters, routes, costs, every anytime entry
#    and all diagnostics must be byte for byte the same.
# 2. eil51, eil76 and rat99 with 3 agents under the same expansion budget: the
#    counters and the sequence of anytime costs must be the same.
# 3. With IMPROVE=N in the environment, the random instances of 1. again, each
#    search cut at 300 expansions so that the improvement phase runs on most of
#    them, under an iteration budget of N: the same comparison.
set -euo pipefail
old=$1
new=$2
count=${3:-3000}
budget=${4:-200000}
# The shared benchmark data lies beside the project root.
tsplib=${TSPLIB_DIR:-$(cd "$(dirname "$0")/../../.." && pwd)/shared/bench/tsplib}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$old/zel_equivalence_dump" --count "$count" >"$work/old.txt" 2>&1
"$new/zel_equivalence_dump" --count "$count" >"$work/new.txt" 2>&1
if ! cmp -s "$work/old.txt" "$work/new.txt"; then
  diff "$work/old.txt" "$work/new.txt" | head -40
  echo "FAIL: random instances differ"
  exit 1
fi
echo "random instances: $count identical ($(grep -c 'status=1' "$work/new.txt") solved," \
  "$(grep -c 'timeout=1' "$work/new.txt") stopped by the expansion budget, the rest ended on their own)"

# Timing fields differ from run to run; everything else must match.
strip() { grep '^instance=' | sed -E 's/ (seconds|labels_per_s|ns_per_expansion|peak_rss_kb|bytes_per_label|search_bytes_per_label)=[^ ]*//g'; }
for name in eil51 eil76 rat99; do
  a=$("$old/zel_speed_bench" --budget "$budget" "$tsplib/$name.tsp" | strip)
  b=$("$new/zel_speed_bench" --budget "$budget" "$tsplib/$name.tsp" | strip)
  if [ "$a" != "$b" ]; then
    printf 'old: %s\nnew: %s\n' "$a" "$b"
    echo "FAIL: $name differs under budget $budget"
    exit 1
  fi
  echo "$name: identical under budget $budget"
done
if [ -n "${IMPROVE:-}" ]; then
  "$old/zel_equivalence_dump" --count "$count" --budget 300 --improve "$IMPROVE" >"$work/old-improve.txt" 2>&1
  "$new/zel_equivalence_dump" --count "$count" --budget 300 --improve "$IMPROVE" >"$work/new-improve.txt" 2>&1
  if ! cmp -s "$work/old-improve.txt" "$work/new-improve.txt"; then
    diff "$work/old-improve.txt" "$work/new-improve.txt" | head -40
    echo "FAIL: random instances with the improvement phase differ"
    exit 1
  fi
  echo "random instances with the improvement phase ($IMPROVE iterations): $count identical" \
    "($(grep -c 'timeout=1' "$work/new-improve.txt") of them handed to the phase by the expansion cut)"
fi
echo "PASS"
