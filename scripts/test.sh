#!/usr/bin/env bash
# Builds and runs every test: format check, the suite with g++ (warnings are errors), then the
# suite again under AddressSanitizer + UndefinedBehaviorSanitizer. Does its own setup.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh test
./scripts/install-peers.sh
./scripts/check-format.sh
for preset in default asan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
