#!/usr/bin/env bash
# Fails when a C++ source of ours is not formatted with the repository's .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(find src tests bench localserver -name '*.cpp' -o -name '*.h' 2>/dev/null | grep -v '/node_modules/' | sort)
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "Unformatted sources; run: clang-format -i <file>" >&2
  exit 1
fi
