#!/usr/bin/env bash
# Runs a command under a headless Wayland compositor of its own that takes keys from a virtual
# keyboard (sway, software rendering), started here and stopped afterwards, so that keys sent
# with wtype reach the focused window the way a desktop's keyboard does. sway refuses to run as
# root, so under root it runs as nobody in a folder of its own. The command finds
# VANTHE_TEST_DISPLAY=wayland-keys and WAYLAND_DISPLAY set to the socket's full path.
set -euo pipefail
for tool in sway wtype; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (apt-get install sway wtype)" >&2; exit 1; }
done

runtime=$(mktemp -d)
client_runtime=$(mktemp -d)
chmod 700 "$runtime" "$client_runtime"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown nobody: "$runtime"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
server=""
stop_server() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
        server=""
    fi
    rm -rf "$runtime" "$client_runtime"
}
trap stop_server EXIT

cat >"$runtime/config" <<'CONFIG'
output HEADLESS-1 resolution 1024x768 background #ff00ff solid_color
default_border none
xwayland disable
CONFIG
chmod 644 "$runtime/config"

env -i PATH="$PATH" HOME="$runtime" XDG_RUNTIME_DIR="$runtime" WLR_BACKENDS=headless \
    WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    "${as_user[@]}" sway --config "$runtime/config" >"$client_runtime/sway.log" 2>&1 &
server=$!
socket=""
for _ in $(seq 1 200); do
    socket=$(find "$runtime" -maxdepth 1 -type s -name 'wayland-*' -print -quit)
    [ -n "$socket" ] && break
    kill -0 "$server" 2>/dev/null || { cat "$client_runtime/sway.log" >&2; echo "sway ended at start" >&2; exit 1; }
    sleep 0.05
done
[ -n "$socket" ] || { cat "$client_runtime/sway.log" >&2; echo "sway did not open its socket" >&2; exit 1; }

# Windows draw into shared memory: the EGL integration finds no GPU under sway's software
# renderer and is unloaded again, which ThreadSanitizer does not allow of a library it ignores.
status=0
env -u DISPLAY XDG_RUNTIME_DIR="$client_runtime" WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland \
    QT_WAYLAND_CLIENT_BUFFER_INTEGRATION=none VANTHE_TEST_DISPLAY=wayland-keys "$@" || status=$?
exit "$status"
