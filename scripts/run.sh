#!/usr/bin/env bash
# Starts Kestrava in the current folder. Without a display it starts a
# private virtual one, runs the launcher there and saves a screenshot.
set -euo pipefail
bin=$(realpath "$1")
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec "$bin"
fi

work=$(mktemp -d)
cleanup() { kill "${app:-}" "${wm:-}" "${xvfb:-}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
openbox >/dev/null 2>&1 &
wm=$!
for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
"$bin" &
app=$!
for _ in $(seq 100); do xdotool search --onlyvisible --name '^Kestrava$' >/dev/null 2>&1 && break; sleep 0.1; done
sleep 1
shot="$PWD/kestrava-screenshot.png"
import -window root "$shot"
echo "No display: Kestrava ran on a virtual display; screenshot saved to $shot"
kill -TERM "$app"
wait "$app" || true
