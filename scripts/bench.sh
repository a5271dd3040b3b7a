#!/usr/bin/env bash
# Builds the benchmarks in Release and prints their figures.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
for bench in sse markdown audio; do
  echo "== bench_$bench"
  "./build/release/bench/bench_$bench" "$@"
done
echo "== bench_chatview"
./build/release/bench/bench_chatview
