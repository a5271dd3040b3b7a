#!/usr/bin/env bash
# Builds and runs every test: format check, the suite with g++ (warnings are errors), then the
# suite again under AddressSanitizer + UndefinedBehaviorSanitizer. Does its own setup.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
./scripts/install-peers.sh
./scripts/check-format.sh
cmake --workflow --preset default
cmake --workflow --preset asan
