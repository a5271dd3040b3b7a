#!/usr/bin/env bash
# Builds Vessa and starts it. Does its own setup.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target vessa
exec ./build/default/src/app/vessa "$@"
