#!/usr/bin/env bash
# Builds and runs every test: format check, the suite with g++ (warnings are errors), then the
# suite again under AddressSanitizer + UndefinedBehaviorSanitizer. Does its own setup.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh test
./scripts/install-peers.sh
./scripts/check-format.sh
for preset in default asan; do
  # Configures once (again when the presets change); the build itself re-runs CMake when a
  # CMakeLists.txt changes.
  [[ build/$preset/build.ninja -nt CMakePresets.json ]] || cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
