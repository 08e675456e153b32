#!/usr/bin/env bash
# Runs a command under a headless Wayland compositor of its own (Weston, software rendering),
# started here and stopped afterwards. The desktop behind every window is plain magenta, with
# no panel; windows draw no decorations, so a window's surface is its client area. Weston runs
# with --debug so that weston-screenshooter may take screenshots. The command finds
# VANTHE_TEST_DISPLAY=wayland and its own XDG_RUNTIME_DIR.
set -euo pipefail
for tool in weston weston-screenshooter; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (apt-get install weston)" >&2; exit 1; }
done

runtime=$(mktemp -d)
chmod 700 "$runtime"
server=""
stop_server() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
        server=""
    fi
    rm -rf "$runtime"
}
trap stop_server EXIT

cat >"$runtime/weston.ini" <<'INI'
[core]
shell=desktop-shell.so
idle-time=0
[shell]
background-color=0xffff00ff
panel-position=none
locking=false
animation=none
startup-animation=none
close-animation=none
focus-animation=none
INI

socket=wayland-vanthe-test
XDG_RUNTIME_DIR="$runtime" weston --backend=headless-backend.so --use-pixman --debug \
    --width=1024 --height=768 --socket="$socket" --config="$runtime/weston.ini" \
    --idle-time=0 --log="$runtime/weston.log" &
server=$!
for _ in $(seq 1 200); do
    [ -S "$runtime/$socket" ] && break
    kill -0 "$server" 2>/dev/null || { cat "$runtime/weston.log" >&2; echo "weston ended at start" >&2; exit 1; }
    sleep 0.05
done
[ -S "$runtime/$socket" ] || { echo "weston did not open its socket" >&2; exit 1; }

status=0
env -u DISPLAY XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland \
    QT_WAYLAND_DISABLE_WINDOWDECORATION=1 VANTHE_TEST_DISPLAY=wayland "$@" || status=$?
exit "$status"
