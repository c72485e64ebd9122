#!/usr/bin/env bash
# Starts Kestrava in the current folder. Without a display it starts a private virtual session
# (scripts/session.sh, with a panel so that the tray icon has a place), runs the launcher there,
# saves a screenshot once the screen has settled, and ends it all again.
set -euo pipefail
[[ $# == 1 ]] || {
    echo "usage: $0 PROGRAM" >&2
    exit 2
}
bin=$(realpath "$1")
if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
    exec "$bin"
fi

source "$(dirname "$(realpath "$0")")/session.sh"
trap session_stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

die() {
    echo "$0: $*" >&2
    exit 1
}

session_start --tray "$(mktemp -d "${TMPDIR:-/tmp}/kestrava-run.XXXXXX")" || die "$SESSION_ERROR"

"$bin" &
app=$!
session_track "$app"

shown() { ! pid_alive "$app" || xdotool search --onlyvisible --name '^Kestrava$' >/dev/null 2>&1; }
poll_until 20 shown || die "the main window did not show within 20 s"
pid_alive "$app" || die "Kestrava exited before its window showed"

# Once shown, the window may still be moving to its dock or sliding a section open: the shot
# waits until two looks at the screen in a row are the same.
last=
settled() {
    local now
    now=$(import -window root -depth 8 rgb:- | md5sum)
    [[ "$now" == "$last" ]] || {
        last=$now
        return 1
    }
}
poll_until 20 settled || echo "$0: the screen was still changing after 20 s; taking the screenshot anyway" >&2

shot="$PWD/kestrava-screenshot.png"
import -window root "$shot"
echo "No display: Kestrava ran on a virtual display; screenshot saved to $shot"
