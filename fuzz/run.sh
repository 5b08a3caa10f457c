#!/usr/bin/env bash
# Builds the libFuzzer target with clang, replays the committed corpus through it,
# then fuzzes for the given number of seconds (default 60; 0 replays only). The committed corpus is
# only read: new inputs go to build/fuzz/new, findings to build/fuzz/artifacts.
#   bash fuzz/run.sh --check   exits 0 when clang's libFuzzer runtime is present
set -euo pipefail
cd "$(dirname "$0")/.."

has_libfuzzer() {
  command -v clang++ > /dev/null || return 1
  local probe
  probe=$(mktemp -d)
  echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
    > "$probe/probe.cpp"
  local found=0
  clang++ -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" 2> /dev/null || found=1
  rm -rf "$probe"
  return $found
}

if [[ "${1:-}" == "--check" ]]; then
  has_libfuzzer
  exit $?
fi
seconds=${1:-60}

cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DZEL_BUILD_FUZZ=ON \
  -DZEL_BUILD_MODULE=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build/fuzz -j "${JOBS:-2}" --target json_fuzzer
fuzzer=build/fuzz/fuzz/json_fuzzer
mkdir -p build/fuzz/new build/fuzz/artifacts

echo "-- replaying fuzz/corpus"
"$fuzzer" -runs=0 fuzz/corpus
# libFuzzer reads a total time of 0 as no limit; here 0 means replay only.
[[ "$seconds" -gt 0 ]] || exit 0
echo "-- fuzzing for ${seconds} s"
"$fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -dict=fuzz/json.dict -artifact_prefix=build/fuzz/artifacts/ -print_final_stats=1 -print_funcs=0 \
  build/fuzz/new fuzz/corpus
