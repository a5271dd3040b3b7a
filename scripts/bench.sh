#!/usr/bin/env bash
# Builds the benchmarks in Release and prints their figures.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh test
cmake --preset release >/dev/null
cmake --build --preset release
cmake --build --preset release --target bench_model_bridge
for bench in sse markdown audio; do
  echo "== bench_$bench"
  "./build/release/bench/bench_$bench" "$@"
done
echo "== bench_chatview"
./build/release/bench/bench_chatview

# The local backend on a port of its own in model mode, against a scripted model server.
echo "== bench_model_bridge"
./build/release/bench/bench_model_bridge | grep -v '^\['

# The tray and the popover on a private X server with a tray host, against a local backend of
# their own on the port the default build talks to.
echo "== bench_shell"
if (exec 3<>/dev/tcp/127.0.0.1/8787) 2>/dev/null; then
    echo "bench_shell: skipped, 127.0.0.1:8787 is in use (stop the running local backend first)"
    exit 0
fi
scratch=$(mktemp -d)
pids=()
# Last started first: a compositor goes before the X server it draws on.
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
./build/release/localserver/vessa-localserver --port 8787 --data "$scratch" --pace-ms 0 >/dev/null &
pids+=($!)
# At scale 1 and 2: Qt draws everything twice as large on a screen of twice the pixels.
for scale in 1 2; do
    echo "-- X11 at scale $scale"
    exec {displayfd}<> <(:)
    Xvfb -displayfd "$displayfd" -screen 0 "$((1280 * scale))x$((800 * scale))x24" \
        -nolisten tcp 2>/dev/null &
    pids+=($!)
    read -r -u "$displayfd" display
    DISPLAY=":$display" trayer --edge top --align right --widthtype request \
        --height "$((24 * scale))" 2>/dev/null &
    pids+=($!)
    sleep 1
    DISPLAY=":$display" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale XDG_RUNTIME_DIR="$scratch" \
        ./build/release/bench/bench_shell | grep -v '^\['
done

# The popover on a Wayland compositor: Weston with its X11 backend on an Xvfb of its own. Its
# headless backend has no seat, and Qt 6.4 crashes there as soon as a text field is made.
echo "-- Wayland (Weston)"
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1280x800x24 -nolisten tcp 2>/dev/null &
pids+=($!)
read -r -u "$displayfd" display
mkdir -m 700 "$scratch/wayland"
printf '[input-method]\npath=\n' >"$scratch/wayland/weston.ini"
DISPLAY=":$display" XDG_RUNTIME_DIR="$scratch/wayland" weston --backend=x11-backend.so \
    --use-pixman --width=1280 --height=800 --socket=vessa-bench --idle-time=0 \
    --config="$scratch/wayland/weston.ini" --log="$scratch/wayland/weston.log" &
pids+=($!)
for _ in $(seq 50); do
    [[ -S $scratch/wayland/vessa-bench ]] && break
    sleep 0.1
done
QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=vessa-bench XDG_RUNTIME_DIR="$scratch/wayland" \
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
