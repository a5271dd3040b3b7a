#!/usr/bin/env bash
# Builds the benchmarks in Release and prints their figures.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh test
[[ build/release/build.ninja -nt CMakePresets.json ]] || cmake --preset release >/dev/null
cmake --build --preset release
for bench in sse markdown audio; do
  echo "== bench_$bench"
  "./build/release/bench/bench_$bench" "$@"
done
echo "== bench_chatview"
./build/release/bench/bench_chatview

# The tray and the popover on a private X server with a tray host, against a local backend of
# their own on the port the default build talks to.
echo "== bench_shell"
if (exec 3<>/dev/tcp/127.0.0.1/8787) 2>/dev/null; then
    echo "bench_shell: skipped, 127.0.0.1:8787 is in use (stop the running local backend first)"
    exit 0
fi
scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1280x800x24 -nolisten tcp 2>/dev/null &
pids+=($!)
read -r -u "$displayfd" display
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$scratch"
trayer --edge top --align right --widthtype request --height 24 2>/dev/null &
pids+=($!)
./build/release/localserver/vessa-localserver --port 8787 --data "$scratch" --pace-ms 0 >/dev/null &
pids+=($!)
sleep 1
./build/release/bench/bench_shell | grep -v '^\['

# The voice session against the local backend's voice agent, in a network namespace with only
# loopback, so that ICE uses no other address of the machine.
echo "== bench_voice"
./tests/voice/loopback-only.sh sh -ec '
    ./build/release/localserver/vessa-localserver --port 8787 --data "$1" --pace-ms 0 >/dev/null &
    server=$!
    trap "kill $server" EXIT
    sleep 1
    ./build/release/bench/bench_voice http://127.0.0.1:8787 >"$1.log"
    grep -v "^\[" "$1.log"' bench-voice "$scratch/voice"
