#!/usr/bin/env bash
# Runs a command under a virtual X server of its own, started here and stopped afterwards.
# The server must answer a client before the command starts; a server that does not is
# replaced, up to three times. With --compositor a compositing manager (xcompmgr) runs on it
# too; with --window-manager kwin or openbox that window manager frames the windows (KWin
# composites as well). The command finds VANTHE_TEST_DISPLAY set to x11, x11-composited or
# x11-framed.
# run-under-xvfb.sh [--compositor | --window-manager kwin|openbox] COMMAND [ARGUMENTS...]
set -euo pipefail
compositor=""
if [ "${1:-}" = "--compositor" ]; then
    compositor=xcompmgr
    shift
    command -v xcompmgr >/dev/null || { echo "xcompmgr is not installed (apt-get install xcompmgr)" >&2; exit 1; }
elif [ "${1:-}" = "--window-manager" ]; then
    case "${2:-}" in
    kwin) compositor=kwin_x11 package=kwin-x11 ;;
    openbox) compositor=openbox package=openbox ;;
    *) echo "--window-manager takes kwin or openbox" >&2; exit 2 ;;
    esac
    shift 2
    command -v "$compositor" >/dev/null || { echo "$compositor is not installed (apt-get install $package)" >&2; exit 1; }
fi
for tool in Xvfb xdpyinfo xwininfo; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (apt-get install xvfb x11-utils)" >&2; exit 1; }
done

server=""
manager=""
ready=$(mktemp)
stop_server() {
    if [ -n "$manager" ]; then
        kill "$manager" 2>/dev/null || true
        wait "$manager" 2>/dev/null || true
        manager=""
    fi
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
# Waits until the manager started last has named its window on the root: it works from then on.
await_window() {
    for _ in $(seq 1 400); do
        DISPLAY="$display" xwininfo -root -tree 2>/dev/null | grep -q "\"$1\"" && return 0
        kill -0 "$manager" 2>/dev/null || { echo "$compositor ended at start" >&2; exit 1; }
        sleep 0.05
    done
}
kind=x11
if [ "$compositor" = kwin_x11 ]; then
    # Its own runtime folder and no session bus: nothing of the machine's desktop is touched.
    runtime=$(mktemp -d)
    trap 'stop_server; rm -f "$ready"; rm -rf "$runtime"' EXIT
    DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$runtime" DBUS_SESSION_BUS_ADDRESS=disabled: \
        kwin_x11 >/dev/null 2>&1 &
    manager=$!
    await_window KWin
    kind=x11-framed
elif [ "$compositor" = openbox ]; then
    DISPLAY="$display" openbox >/dev/null 2>&1 &
    manager=$!
    await_window Openbox
    kind=x11-framed
elif [ -n "$compositor" ]; then
    DISPLAY="$display" "$compositor" 2>/dev/null &
    manager=$!
    await_window xcompmgr
    kind=x11-composited
fi
# No exec: the trap must stop the server after the command.
DISPLAY="$display" QT_QPA_PLATFORM=xcb VANTHE_TEST_DISPLAY="$kind" "$@"
