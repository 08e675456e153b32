#!/usr/bin/env bash
# Runs a command in a D-Bus session of its own, with the desktop's accessibility bus running
# and switched on, as a screen reader switches it on: the toolkit then tells every change of
# its widgets, as it does to a listener of a real desktop's bus.
# run-with-accessibility-bus.sh COMMAND [ARGUMENTS...]
set -euo pipefail
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || { echo "at-spi-bus-launcher is not installed (apt-get install at-spi2-core)" >&2; exit 1; }
command -v dbus-run-session >/dev/null || { echo "dbus-run-session is not installed (apt-get install dbus)" >&2; exit 1; }
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# No exec in the session: the bus's launcher must be stopped after the command.
dbus-run-session -- bash -c '
    "$0" --launch-immediately 2>/dev/null &
    launcher=$!
    trap "kill $launcher 2>/dev/null || true; wait $launcher 2>/dev/null || true" EXIT
    "$@"' "$launcher" "$@"
