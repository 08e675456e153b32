#!/usr/bin/env bash
# Runs a command under a virtual X server of its own, started here and stopped afterwards.
# The server must answer a client before the command starts; a server that does not is
# replaced, up to three times.
set -euo pipefail
for tool in Xvfb xdpyinfo; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (apt-get install xvfb x11-utils)" >&2; exit 1; }
done

server=""
ready=$(mktemp)
stop_server() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
        server=""
    fi
}
trap 'stop_server; rm -f "$ready"' EXIT

display=""
for attempt in 1 2 3; do
    : >"$ready"
    # -noreset: by default the server resets when its last client leaves, refusing
    # connections meanwhile, and the probe below is such a client.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$ready" 2>/dev/null &
    server=$!
    for _ in $(seq 1 200); do
        [ -s "$ready" ] && break
        kill -0 "$server" 2>/dev/null || break
        sleep 0.05
    done
    if [ -s "$ready" ]; then
        candidate=":$(head -n 1 "$ready")"
        for _ in $(seq 1 100); do
            if xdpyinfo -display "$candidate" >/dev/null 2>&1; then
                display="$candidate"
                break
            fi
            sleep 0.05
        done
    fi
    [ -n "$display" ] && break
    echo "Xvfb attempt $attempt did not answer; trying again" >&2
    stop_server
done
[ -n "$display" ] || { echo "no virtual X server could be started" >&2; exit 1; }
DISPLAY="$display" QT_QPA_PLATFORM=xcb "$@"
