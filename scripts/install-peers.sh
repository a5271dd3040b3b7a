#!/usr/bin/env bash
# Installs the npm test peers (tests/peers): real MCP servers the MCP client's tests run against.
# They are installed exactly as the lock file says, and again only when the lock file has changed.
set -euo pipefail

peers="$(cd "$(dirname "$0")/.." && pwd)/tests/peers"
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: nodejs npm"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends nodejs npm
fi
stamp="$peers/node_modules/.installed-lock.sha256"
lock_sum="$(sha256sum "$peers/package-lock.json" | cut -d' ' -f1)"
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$lock_sum" ]; then
  echo "Installing the npm test peers in $peers"
  (cd "$peers" && npm ci --no-audit --no-fund --loglevel=error)
  echo "$lock_sum" > "$stamp"
fi
