#!/usr/bin/env bash
# A desktop with parts missing. With no window manager and no tray host at start the program
# starts and its window shows; a window manager started later takes the window over, still
# without a task bar entry. With the system bus address pointing nowhere, log off, restart and
# shut down say on stderr why they failed after a Yes (and nothing after a No), connect says so
# in its box, and the update check against a server that refuses the connection shows its error
# box at once. The program stays responsive throughout, exits with status 0 on SIGTERM, and no
# sanitizer speaks.
#
# A tray host that appears later is test_tray.sh's, an update server that never answers
# test_update_check_slow.sh's.
KV_NO_WM=1 source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$KV_TMP/no-system-bus"
# A port that was free a moment ago: nothing accepts there.
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
export KESTRAVA_HOME_URL="http://127.0.0.1:$port/updates/"

said() { grep -Eq -- "$1" "$APP_LOG"; }
no_sanitizer() {
    ! said 'Sanitizer|runtime error' || fail "$1: a sanitizer reported: $(grep -E -m1 'Sanitizer|runtime error' "$APP_LOG")"
}

# ---------------------------------------------------------------------------------------------
# No window manager, no tray host

! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' || fail "a window manager runs"
start_app
# Nobody manages the window: it is the program's own visible window of that name.
_shown_unmanaged() {
    ! pid_alive "$APP_PID" ||
        APP_WIN=$(xdotool search --onlyvisible --pid "$APP_PID" --name "$KV_MAIN_TITLE" 2>/dev/null | head -n 1)
}
poll_until 20 _shown_unmanaged || fail "no window manager: the main window did not show within 20 s"
pid_alive "$APP_PID" || { wait_exit "$APP_PID" 1; fail "no window manager: the program exited with status $EXIT_STATUS"; }
window_visible "$APP_WIN" || fail "no window manager: the main window is not viewable"
wait_config_written "$KV_APPDIR/$KV_CONFIG" 10 || fail "no window manager: the first start wrote no $KV_CONFIG"

# The window manager comes: it takes the window over as it finds it, task bar hint included.
start_wm
_managed() { window_of "$APP_PID" "$KV_MAIN_TITLE" >/dev/null; }
poll_until 10 _managed || fail "the window manager started later did not manage the main window"
APP_WIN=$(window_of "$APP_PID" "$KV_MAIN_TITLE")
window_states "$APP_WIN" | grep -qx _NET_WM_STATE_SKIP_TASKBAR ||
    fail "under a window manager started later the main window has a task bar entry (states: $(window_states "$APP_WIN" | tr '\n' ' '))"
pid_alive "$APP_PID" || fail "the program exited when the window manager started"

# ---------------------------------------------------------------------------------------------
# Commands from the main window's menu

# menu KEY...: opens the main window's menu with the right button on an empty part of it and
# presses KEYs, which end by choosing an item.
menu() {
    local wx wy ww wh
    xdotool windowactivate --sync "$APP_WIN"
    read -r wx wy ww wh < <(client_rect "$APP_WIN")
    pointer_to $((wx + ww / 2)) $((wy + wh - 70))
    xdotool click 3
    poll_until 5 menu_open || fail "$case_name: the right button on the main window opened no menu within 5 s"
    xdotool key "$@"
    poll_until 5 menu_closed || fail "$case_name: the menu was still open 5 s after choosing"
}

# answer TITLE KEY: waits for the box TITLE, presses KEY in it and waits until it is gone.
answer() {
    local title=$1 key=$2 box
    box=$(wait_for_window "^$title\$" 10) || fail "$case_name: no box '$title' within 10 s"
    xdotool windowactivate --sync "$box"
    xdotool key "$key"
    _box_gone() { [[ -z "$(find_windows "^$title\$")" ]]; }
    poll_until 10 _box_gone || fail "$case_name: '$key' did not close the box '$title'"
    pid_alive "$APP_PID" || fail "$case_name: the program exited"
}

# The System submenu is the 6th item; its items are Log Off, Restart, Shut Down.
system_keys() {
    local keys=(Down Down Down Down Down Down Right) i
    for ((i = 1; i < $1; i++)); do keys+=(Down); done
    echo "${keys[@]}" Return
}

# item in System|its box|key (y: Yes; Return: the default, No)|what stderr says after it
cases=(
    "1|Log Off|Return|"
    "1|Log Off|y|Log Off failed: .*no-system-bus"
    "2|Restart|Return|"
    "2|Restart|y|Restart failed: .*no-system-bus"
    "3|Shut Down|y|Shut Down failed: .*no-system-bus"
)
for c in "${cases[@]}"; do
    IFS='|' read -r item title key expected <<<"$c"
    case_name="$title with no system bus, answered with $key"
    lines=$(grep -c '^Kestrava:' "$APP_LOG" || true)
    # shellcheck disable=SC2046 # the keys are words
    menu $(system_keys "$item")
    started=$(now_ms)
    answer "$title" "$key"
    if [[ -n "$expected" ]]; then
        _said_it() { said "^Kestrava: $expected"; }
        poll_until 10 _said_it || fail "$case_name: stderr does not say '$expected'; it has:"$'\n'"$(cat "$APP_LOG")"
        elapsed=$(($(now_ms) - started))
        ((elapsed < 6000)) || fail "$case_name: the failure took $elapsed ms to be told"
        [[ $(grep -c '^Kestrava:' "$APP_LOG") == $((lines + 1)) ]] ||
            fail "$case_name: expected one line on stderr; it has:"$'\n'"$(cat "$APP_LOG")"
    else
        sleep 0.5
        [[ $(grep -c '^Kestrava:' "$APP_LOG" || true) == "$lines" ]] ||
            fail "$case_name: a No was followed by:"$'\n'"$(tail -n 1 "$APP_LOG")"
    fi
done

# The update check asks for a connection first: each failure shows in its own box.
case_name="update check with no system bus and a dead server"
started=$(now_ms)
menu Down Down Down Down Down Down Down Down Return
answer "Internet Connection" Return
said '^Kestrava: no internet connection: .*no-system-bus' ||
    fail "$case_name: stderr does not say why there is no connection; it has:"$'\n'"$(cat "$APP_LOG")"
answer "Update error\\." Return
elapsed=$(($(now_ms) - started))
((elapsed < 8000)) || fail "$case_name: the boxes took $elapsed ms"
said '^Kestrava: the update check failed: .*[Cc]onnection refused' ||
    fail "$case_name: stderr does not say the connection was refused; it has:"$'\n'"$(cat "$APP_LOG")"
[[ ! -e "$KV_APPDIR/uilv.bin" ]] || fail "$case_name: uilv.bin was left in the program's folder"

no_sanitizer "after the commands"
stop_app TERM
no_sanitizer "at exit"

# ---------------------------------------------------------------------------------------------
# A system bus that takes the connection and never says a word (a daemon that hangs): the
# command gives up within its few seconds, says so, and the program goes on.

/usr/bin/python3 - "$KV_TMP/silent-bus" <<'EOF' >"$KV_TMP/silent-bus.log" 2>&1 &
import socket, sys
server = socket.socket(socket.AF_UNIX)
server.bind(sys.argv[1])
server.listen(16)
held = []
while True:
    held.append(server.accept()[0])
EOF
session_track $!
wait_for_file "$KV_TMP/silent-bus" 10 || fail "the silent bus did not start"
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$KV_TMP/silent-bus"
start_app_and_wait
case_name="Shut Down with a silent system bus, answered with y"
# shellcheck disable=SC2046 # the keys are words
menu $(system_keys 3)
started=$(now_ms)
answer "Shut Down" y
_said_it() { said '^Kestrava: Shut Down failed: .*silent-bus did not answer'; }
poll_until 15 _said_it || fail "$case_name: stderr does not say the bus did not answer; it has:"$'\n'"$(cat "$APP_LOG")"
elapsed=$(($(now_ms) - started))
((elapsed < 9000)) || fail "$case_name: the failure took $elapsed ms to be told"
case_name="Log Off after a silent system bus"
# shellcheck disable=SC2046
menu $(system_keys 1)
answer "Log Off" Return # the program still answers
no_sanitizer "with a silent bus"
stop_app TERM
pass
