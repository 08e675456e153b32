#!/usr/bin/env bash
# Runs a command under a virtual X server of its own, started here and stopped afterwards.
set -euo pipefail
command -v Xvfb >/dev/null || { echo "Xvfb is not installed (apt-get install xvfb)" >&2; exit 1; }
ready=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$ready" 2>/dev/null &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -f "$ready"' EXIT
for _ in $(seq 1 200); do
    [ -s "$ready" ] && break
    kill -0 "$server" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.05
done
[ -s "$ready" ] || { echo "Xvfb did not answer" >&2; exit 1; }
DISPLAY=":$(head -n 1 "$ready")" QT_QPA_PLATFORM=xcb "$@"
