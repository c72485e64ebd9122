#!/usr/bin/env bash
# While nobody can see the window, nothing wakes the program: covered by another client's window
# over the whole screen, or minimised by the window manager, its clock stops ticking; seen again,
# it ticks on the second as before. Each watch counts the program's sleeps (every thread's
# voluntary context switches) over three seconds, with the pointer out of the window.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

[[ "${KV_COVER_WINDOW:-}" == /* && -x "${KV_COVER_WINDOW:-}" ]] ||
    fail "KV_COVER_WINDOW must name the cover_window helper by its absolute path, got '${KV_COVER_WINDOW:-}'"

create_default_config
start_app_and_wait
window_paints "at the start"
not_viewable() { ! window_visible "$APP_WIN"; }

# wakeups_over WHAT: the sleeps in three seconds, after one to settle.
wakeups_over() {
    local before after
    sleep 1
    before=$(wakeups)
    sleep 3
    after=$(wakeups)
    echo $((after - before))
}
ticking() {
    local n
    n=$(wakeups_over)
    ((n >= 2)) || fail "$1: $n wake-ups in 3 s, expected the clock's second (about 3)"
}
sleeping() {
    local n
    n=$(wakeups_over)
    ((n <= 1)) || fail "$1: $n wake-ups in 3 s while nobody can see the window, expected none"
}

ticking "in sight"

# Covered: the server tells the program its window is fully obscured.
coproc COVER { exec "$KV_COVER_WINDOW"; }
cover_pid=$COVER_PID # set by coproc
session_track "$cover_pid"
read -r -t 10 answer <&"${COVER[0]}" || answer="(no answer)"
[[ "$answer" == covering ]] || fail "cover_window did not cover the screen: $answer"
sleeping "covered"
kill -TERM "$cover_pid"
wait_exit "$cover_pid" 10 || fail "cover_window did not end"
window_paints "uncovered"
ticking "uncovered"

# Minimised by the window manager, and back through Ctrl+Alt+M.
xdotool windowminimize "$APP_WIN"
poll_until 5 not_viewable || fail "the window did not minimise"
sleeping "minimised"
xdotool key ctrl+alt+m
poll_until 10 window_visible "$APP_WIN" || fail "Ctrl+Alt+M did not bring the minimised window back"
window_paints "back from minimised"
ticking "back from minimised"

stop_app TERM
pass
