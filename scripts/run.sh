#!/usr/bin/env bash
# Builds Vessa and starts it. Does its own setup.
set -euo pipefail
cd "$(dirname "$0")/.."

# Makes the built binary this user's handler of "vessa-mac" URLs, so that the browser hands the
# sign-in callback to it. Without a desktop session parts of this may fail; the application must
# start all the same.
register_url_handler() {
    local binary=$1
    local desktop_id=com.kolvane.vessa-mac
    local applications="${XDG_DATA_HOME:-$HOME/.local/share}/applications"

    # Desktop entry quoting: inside double quotes, escape " ` $ and \ with a backslash; then the
    # entry's string syntax doubles every backslash once more. A literal % is written %%.
    local escaped=${binary//\\/\\\\}
    escaped=${escaped//\"/\\\"}
    escaped=${escaped//\`/\\\`}
    escaped=${escaped//\$/\\\$}
    escaped=${escaped//\\/\\\\}
    escaped=${escaped//%/%%}

    mkdir -p "$applications"
    local line
    while IFS= read -r line; do
        if [[ $line == "Exec=vessa --toggle" ]]; then
            printf 'Exec="%s" --toggle\n' "$escaped"
        elif [[ $line == Exec=* ]]; then
            printf 'Exec="%s" %%u\n' "$escaped"
        else
            printf '%s\n' "$line"
        fi
    done <"src/app/$desktop_id.desktop" >"$applications/$desktop_id.desktop.tmp"
    mv "$applications/$desktop_id.desktop.tmp" "$applications/$desktop_id.desktop"

    if command -v update-desktop-database >/dev/null 2>&1; then
        update-desktop-database "$applications" >&2 || true
    fi
    if command -v xdg-mime >/dev/null 2>&1; then
        xdg-mime default "$desktop_id.desktop" x-scheme-handler/vessa-mac >&2 ||
            echo "run.sh: could not register vessa-mac URLs with the desktop" >&2
    fi
}

# The default build talks to the local backend on this port.
LOCAL_BACKEND_PORT=8787
backend_listening() { (exec 3<>"/dev/tcp/127.0.0.1/$LOCAL_BACKEND_PORT") 2>/dev/null; }

# Starts the local backend unless one already listens, and stops it again when Vessa exits, so
# no server is left behind.
backend_pid=
start_backend() {
    if backend_listening; then
        [[ -n ${VESSA_MODEL_URL:-} ]] &&
            echo "run.sh: a local backend already listens on port $LOCAL_BACKEND_PORT; VESSA_MODEL_URL applies only to one this script starts" >&2
        return
    fi
    # VESSA_MODEL_URL, VESSA_MODEL and VESSA_MODEL_API_KEY_FILE, when set, reach it from here and
    # make it answer with that model server.
    ./build/app/localserver/vessa-localserver --port "$LOCAL_BACKEND_PORT" &
    backend_pid=$!
    for _ in $(seq 50); do
        backend_listening && return
        sleep 0.1
    done
    echo "run.sh: the local backend did not start on port $LOCAL_BACKEND_PORT" >&2
}
stop_backend() {
    if [[ -n $backend_pid ]]; then
        kill "$backend_pid" 2>/dev/null
        wait "$backend_pid" 2>/dev/null || true
    fi
}

./scripts/setup.sh run
cmake --preset app >/dev/null
cmake --build --preset app
register_url_handler "$PWD/build/app/src/app/vessa"
trap stop_backend EXIT
trap 'exit 130' INT TERM
start_backend
# The tray icon; a click on it, or Ctrl+Shift+M, opens the popover.
./build/app/src/app/vessa "$@"
