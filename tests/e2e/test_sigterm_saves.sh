#!/usr/bin/env bash
# SIGTERM, SIGINT, SIGHUP and the window manager's close request (openbox's Alt+F4) close the main
# window normally: exit status 0, and the configuration holds the window's bounds as the X server
# had them (window manager frame excluded). Whatever else ends the program (SIGKILL, the X server
# going away), a move made a second before is on disk; SIGPIPE ends nothing.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

start_panel
cfg="$KV_APPDIR/$KV_CONFIG"

# how     x    y     (all well inside the work area; none is a position a fresh file holds)
cases=(
    "TERM 300 200"
    "INT  517 433"
    "TERM  41 655"
    "HUP  390 170"
    "WM   222 111"
)

for c in "${cases[@]}"; do
    read -r sig x y <<<"$c"
    start_app_and_wait
    move_window "$APP_WIN" "$x" "$y"
    read -r cx cy cw ch < <(client_rect "$APP_WIN")

    if [[ $sig == WM ]]; then
        xdotool windowactivate --sync "$APP_WIN" key alt+F4
        wait_exit "$APP_PID" 15 || fail "the window manager's close request did not end the program"
        [[ "$EXIT_STATUS" == 0 ]] || fail "exit status $EXIT_STATUS after the close request, expected 0"
    else
        stop_app "$sig"
    fi

    left=$(read_i32 "$cfg" "$KV_OFF_LEFT")
    top=$(read_i32 "$cfg" "$KV_OFF_TOP")
    height=$(read_i32 "$cfg" "$KV_OFF_HEIGHT")
    width=$(read_i32 "$cfg" "$KV_OFF_WIDTH")
    [[ "$left $top $width $height" == "$cx $cy $cw $ch" ]] ||
        fail "SIG$sig: saved $left,$top ${width}x${height}; X has the window at $cx,$cy ${cw}x${ch}"
done

# how   x    y
cases=(
    "KILL 333 222"
    "X    444 155"
)
for c in "${cases[@]}"; do
    read -r how x y <<<"$c"
    start_app_and_wait
    kill -PIPE "$APP_PID"
    move_window "$APP_WIN" "$x" "$y"
    sleep 1
    pid_alive "$APP_PID" || fail "SIGPIPE ended the program"
    if [[ $how == X ]]; then
        kill -TERM "$SESSION_X_PID"
    else
        kill -KILL "$APP_PID"
    fi
    wait_exit "$APP_PID" 15 || fail "$how: the program did not end within 15 s"
    left=$(read_i32 "$cfg" "$KV_OFF_LEFT")
    top=$(read_i32 "$cfg" "$KV_OFF_TOP")
    [[ "$left $top" == "$x $y" ]] || fail "$how a second after a move to $x,$y: saved $left,$top"
done

pass
