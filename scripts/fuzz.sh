#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for the given number of
# seconds (default 600), one after the other. Usage: scripts/fuzz.sh [seconds] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_sse fuzz_markdown fuzz_json fuzz_callback fuzz_mcp fuzz_localserver)

./scripts/setup.sh
cmake --preset fuzz >/dev/null
# Only the fuzz targets: clang 14 cannot instrument the coroutines of the network code.
cmake --build --preset fuzz --target "${targets[@]}"
for target in "${targets[@]}"; do
  corpus="tests/fuzz/corpus/$target"
  mkdir -p "$corpus"
  echo "== $target for ${seconds}s"
  "./build/fuzz/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
    "$corpus" "tests/fuzz/corpus-seed/$target"
done
