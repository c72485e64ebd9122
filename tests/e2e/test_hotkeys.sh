#!/usr/bin/env bash
# The program's two global hot keys, pressed as at the keyboard (XTEST): Ctrl+Alt+M maps the main
# window again after another client unmapped it, Ctrl+Alt+I runs the connect command, which asks
# python3-dbusmock's NetworkManager on a private system bus to connect, and leaves the window as
# it was. With Ctrl+Alt+M held by another client before the start, the program, in debug mode,
# starts and shows all the same, Ctrl+Alt+I still works, Ctrl+Alt+M stays the other client's, and
# a second start still brings the first window back.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

/usr/bin/python3 -c 'import dbusmock' 2>/dev/null || skip "python3-dbusmock is not installed"
command -v dbus-send >/dev/null || skip "'dbus-send' is not installed"
[[ "${KV_GRAB_KEY:-}" == /* && -x "${KV_GRAB_KEY:-}" ]] ||
    fail "KV_GRAB_KEY must name the grab_key helper by its absolute path, got '${KV_GRAB_KEY:-}'"
session_start_system_bus || fail "$SESSION_ERROR"

# ---------------------------------------------------------------------------------------------
# NetworkManager: not connected, with a wireless device and a connection it could use, so that
# every connect command asks for the devices and activates one.

session_start_mock networkmanager || fail "$SESSION_ERROR"
nm=/org/freedesktop/NetworkManager
wlan=$nm/Devices/wlan0

mock_send() {
    local path=$1 method=$2
    shift 2
    [[ "$method" == *.* ]] || method=org.freedesktop.DBus.Mock.$method
    dbus-send --system --print-reply --dest="$SESSION_MOCK_NAME" "$path" "$method" "$@" >/dev/null ||
        fail "the stand-in refused $method $*"
}

# The methods NetworkManager was asked for, one a line, "Method arguments" with paths quoted.
nm_calls() {
    /usr/bin/python3 - "$SESSION_MOCK_NAME" "$nm" <<'EOF'
import sys
import dbus
calls = dbus.SystemBus().get_object(sys.argv[1], sys.argv[2]).GetCalls(dbus_interface="org.freedesktop.DBus.Mock")
for _, method, args in calls:
    print(" ".join([str(method)] + ['"' + a + '"' if isinstance(a, str) else str(a) for a in args]))
EOF
}

mock_send /org/freedesktop AddWiFiDevice string:wlan0 string:wlan0 int32:30
mock_send /org/freedesktop AddAccessPoint string:"$wlan" string:ap0 string:home string:00:11:22:33:44:55 \
    uint32:2 uint32:2412 uint32:54000 byte:80 uint32:0
mock_send /org/freedesktop AddWiFiConnection string:"$wlan" string:home string:home string:
# The template wants a real connection where the daemon takes "/" for the device's best one.
mock_send "$nm" AddMethod string:org.freedesktop.NetworkManager string:ActivateConnection string:ooo string:o \
    "string:ret = '$nm/ActiveConnection/7'"
mock_send /org/freedesktop SetGlobalConnectionState uint32:20
one_connect="GetDevices
ActivateConnection \"/\" \"$wlan\" \"/\""

# expect_connects WHAT N: waits until NetworkManager was asked for N connects since the last
# ClearCalls, and no more.
expect_connects() {
    local expected='' i
    for ((i = 0; i < $2; i++)); do expected+="$one_connect"$'\n'; done
    expected=${expected%$'\n'}
    _kv_connects_are() { [[ "$(nm_calls)" == "$expected" ]]; }
    poll_until 10 _kv_connects_are ||
        fail "$1: NetworkManager was asked for"$'\n'"$(nm_calls)"$'\n'"expected"$'\n'"${expected:-(nothing)}"
}

# ---------------------------------------------------------------------------------------------
# Helpers

not_viewable() { ! window_visible "$APP_WIN"; }
viewable_and_managed() { window_visible "$APP_WIN" && [[ "$(find_windows "$KV_MAIN_TITLE")" == "$APP_WIN" ]]; }

# Unmaps the main window behind the program's back, as another client can; the window manager
# lets go of it.
unmap_main_window() {
    xdotool windowunmap "$APP_WIN"
    poll_until 5 not_viewable || fail "$1: windowunmap left the main window viewable"
}

# The program takes its hot keys once its window has shown, without waiting for them; a press
# made before then goes elsewhere. Presses KEYS until CHECK holds, at most for 20 s.
press_until() {
    local keys=$1 deadline=$(($(now_ms) + 20000))
    shift
    until "$@"; do
        (($(now_ms) < deadline)) || return 1
        xdotool key "$keys"
        poll_until 2 "$@" && return 0
    done
}

has_connect() { [[ -n "$(nm_calls)" ]]; }

# ---------------------------------------------------------------------------------------------
# The hot keys at work

start_app_and_wait
unmap_main_window "Ctrl+Alt+M"
press_until ctrl+alt+m viewable_and_managed || fail "Ctrl+Alt+M did not map the unmapped main window again"
window_states "$APP_WIN" | grep -qx _NET_WM_STATE_SKIP_TASKBAR ||
    fail "Ctrl+Alt+M: the window came back with a task bar entry (_NET_WM_STATE: $(window_states "$APP_WIN" | tr '\n' ' '))"

# Ctrl+Alt+I connects, and only that: an unmapped window stays so.
mock_send "$nm" ClearCalls
unmap_main_window "Ctrl+Alt+I"
xdotool key ctrl+alt+i
expect_connects "Ctrl+Alt+I" 1
not_viewable || fail "Ctrl+Alt+I mapped the main window too"
xdotool key ctrl+alt+i
expect_connects "Ctrl+Alt+I a second time" 2
xdotool key ctrl+alt+m
poll_until 10 viewable_and_managed || fail "Ctrl+Alt+M did not map the main window again after the connects"
stop_app TERM

# ---------------------------------------------------------------------------------------------
# Ctrl+Alt+M held by another client from before the start, in debug mode

printf '[Debug]\nDebugMode=1\n' >"$KV_APPDIR/Kestrava.ini"
coproc HOLDER { exec "$KV_GRAB_KEY" 0x0c 0x6d; }
holder_pid=$HOLDER_PID # set by coproc
session_track "$holder_pid"
read -r -t 10 answer <&"${HOLDER[0]}" || answer="(no answer)"
[[ "$answer" == grabbed ]] || fail "grab_key could not take Ctrl+Alt+M before the start: $answer"

start_app_and_wait
first_pid=$APP_PID
wait_for_window '^KVUI Debugger$' 10 >/dev/null || fail "held Ctrl+Alt+M: the debug window did not show"

mock_send "$nm" ClearCalls
press_until ctrl+alt+i has_connect || fail "held Ctrl+Alt+M: Ctrl+Alt+I did not reach the connect command"
mock_send "$nm" ClearCalls
xdotool key ctrl+alt+i
expect_connects "held Ctrl+Alt+M, Ctrl+Alt+I" 1

# Ctrl+Alt+M is the other client's: the connect that follows it comes, the window does not.
unmap_main_window "held Ctrl+Alt+M"
mock_send "$nm" ClearCalls
xdotool key ctrl+alt+m
xdotool key ctrl+alt+i
expect_connects "held Ctrl+Alt+M, Ctrl+Alt+I after Ctrl+Alt+M" 1
not_viewable || fail "held Ctrl+Alt+M: the press mapped the main window, though another client holds the key"
pid_alive "$holder_pid" || fail "grab_key ended while it should hold Ctrl+Alt+M"

# The second start is the way back in.
start_app
wait_exit "$APP_PID" 10 || fail "held Ctrl+Alt+M: the second start was still running after 10 s"
[[ "$EXIT_STATUS" == 0 ]] || fail "held Ctrl+Alt+M: the second start exited with status $EXIT_STATUS, expected 0"
APP_PID=$first_pid
poll_until 10 viewable_and_managed || fail "held Ctrl+Alt+M: the second start did not bring the main window back"

stop_app TERM
pass
