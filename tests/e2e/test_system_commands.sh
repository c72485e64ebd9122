#!/usr/bin/env bash
# The system buttons of the real program, against python3-dbusmock's logind and NetworkManager on
# a private system bus: log off, restart and shut down ask their question and reach logind with
# the right request after a Yes, and with nothing after a No (the default); connect asks
# NetworkManager only for what is missing and, with no NetworkManager on the bus, says so in a
# box; the Run dialog starts the typed program with its arguments, found on PATH, and reports a
# missing one or a line it cannot read while it stays open; show desktop puts openbox into its
# showing-desktop mode.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

/usr/bin/python3 -c 'import dbusmock' 2>/dev/null || skip "python3-dbusmock is not installed"
command -v dbus-send >/dev/null || skip "'dbus-send' is not installed"
session_start_system_bus || fail "$SESSION_ERROR"

# Programs for the Run dialog: one on PATH, one elsewhere in a folder with a space. Each leaves
# its folder and its arguments, one a line.
mkdir -p "$KV_TMP/bin" "$KV_TMP/other place"
bin=$(cd "$KV_TMP/bin" && pwd -P)
other=$(cd "$KV_TMP/other place" && pwd -P)
for program in "$bin/kvargs" "$other/kvelse"; do
    { echo '#!/bin/sh'; record_call "$(basename "$program")" '"$(pwd -P)"' '"$@"'; } >"$program"
    chmod +x "$program"
done
export PATH="$bin:$PATH"

create_default_config
write_u8 "$KV_APPDIR/$KV_CONFIG" "$KV_OFF_AUTO_MODE" 0 # the window stays put and opaque
start_app_and_wait

# ---------------------------------------------------------------------------------------------
# Helpers

# mock_send PATH METHOD ARG...: calls METHOD (of the mock interface unless it names its own) of
# the stand-in SESSION_MOCK_NAME at PATH; ARGs in dbus-send's form (string:..., uint32:...).
mock_send() {
    local path=$1 method=$2
    shift 2
    [[ "$method" == *.* ]] || method=org.freedesktop.DBus.Mock.$method
    dbus-send --system --print-reply --dest="$SESSION_MOCK_NAME" "$path" "$method" "$@" >/dev/null ||
        fail "the stand-in refused $method $*"
}

# mock_calls PATH...: the methods the stand-in's objects at PATHs were asked for, one a line, as
# "Method arguments" with strings and paths quoted, in order for each object.
mock_calls() {
    /usr/bin/python3 - "$SESSION_MOCK_NAME" "$@" <<'EOF'
import sys
import dbus

def text(a):
    if isinstance(a, dbus.Boolean):
        return str(bool(a))
    if isinstance(a, str):
        return '"' + a + '"'
    return str(a)

bus = dbus.SystemBus()
for path in sys.argv[2:]:
    for _, method, args in bus.get_object(sys.argv[1], path).GetCalls(dbus_interface="org.freedesktop.DBus.Mock"):
        print(" ".join([str(method)] + [text(a) for a in args]))
EOF
}

# wait_calls WHAT EXPECTED PATH...: waits until the calls at PATHs are EXPECTED (lines).
wait_calls() {
    local what=$1 expected=$2
    shift 2
    _kv_calls_are() { [[ "$(mock_calls "$@")" == "$expected" ]]; }
    poll_until 10 _kv_calls_are "$@" ||
        fail "$what: the stand-in was asked for"$'\n'"$(mock_calls "$@")"$'\n'"expected"$'\n'"${expected:-(nothing)}"
}

# answer TITLE KEY: waits for the box TITLE, presses KEY in it and waits until it is gone.
answer() {
    local title=$1 key=$2 box
    box=$(wait_for_window "^$title\$" 10) || fail "$case_name: no box '$title' within 10 s"
    xdotool windowactivate --sync "$box"
    xdotool key "$key"
    _kv_box_gone() { [[ -z "$(find_windows "^$title\$")" ]]; }
    poll_until 10 _kv_box_gone || fail "$case_name: '$key' did not close the box '$title'"
    pid_alive "$APP_PID" || fail "$case_name: the launcher exited"
}

# ---------------------------------------------------------------------------------------------
# Ending the session

session_start_mock logind || fail "$SESSION_ERROR"
manager=/org/freedesktop/login1
session=/org/freedesktop/login1/session/c1
mock_send "$manager" AddSession string:c1 string:seat0 uint32:1000 string:kvuser boolean:true
# logind files the launcher's own process, and only that, under session c1.
mock_send "$manager" AddMethod string:org.freedesktop.login1.Manager string:GetSessionByPID string:u string:o \
    "string:if args[0] != $APP_PID: raise dbus.exceptions.DBusException('PID does not belong to any known session', name='org.freedesktop.login1.NoSessionForPID')
ret = '$session'"
mock_send "$manager" ClearCalls

# button|question box|key (y: Yes; Return and Escape: the default, which must be No)|calls on
# logind's manager and then on the session that the answer adds, ";" between them
cases=(
    "logoff|Log Off|Return|"
    "logoff|Log Off|y|GetSessionByPID $APP_PID;Terminate"
    "restart|Restart|Escape|"
    "restart|Restart|y|Reboot False"
    "shutdown|Shut Down|n|"
    "shutdown|Shut Down|y|PowerOff False"
)
# The calls so far: a No that asked for something after all shows up in the next Yes's list.
manager_calls=()
session_calls=()
for c in "${cases[@]}"; do
    IFS='|' read -r button title key adds <<<"$c"
    case_name="$title, answered with $key"
    click_button "$button"
    answer "$title" "$key"
    IFS=';' read -r -a added <<<"$adds"
    for call in "${added[@]}"; do
        if [[ "$call" == Terminate ]]; then session_calls+=("$call"); else manager_calls+=("$call"); fi
    done
    expected=$(printf '%s\n' "${manager_calls[@]}" "${session_calls[@]}" | sed '/^$/d')
    wait_calls "$case_name" "$expected" "$manager" "$session"
done
session_stop_mock logind || fail "$SESSION_ERROR"

# ---------------------------------------------------------------------------------------------
# Connecting

session_start_mock networkmanager || fail "$SESSION_ERROR"
nm=/org/freedesktop/NetworkManager
wlan=$nm/Devices/wlan0
# A wireless device, free, with a connection it could use; and a wired one without a cable.
mock_send /org/freedesktop AddWiFiDevice string:wlan0 string:wlan0 int32:30
mock_send /org/freedesktop AddAccessPoint string:"$wlan" string:ap0 string:home string:00:11:22:33:44:55 \
    uint32:2 uint32:2412 uint32:54000 byte:80 uint32:0
mock_send /org/freedesktop AddWiFiConnection string:"$wlan" string:home string:home string:
mock_send /org/freedesktop AddEthernetDevice string:eth0 string:eth0 int32:20
# Given "/", NetworkManager picks the device's best connection itself; the template wants a real
# one, so it answers here as the daemon does.
mock_send "$nm" AddMethod string:org.freedesktop.NetworkManager string:ActivateConnection string:ooo string:o \
    "string:ret = '$nm/ActiveConnection/7'"
mock_send "$nm" ClearCalls

# state|what makes it so (mock methods with arguments, ";" between them; "stop" ends
# NetworkManager)|calls on the manager that the click adds, ";" between them|box
cases=(
    "connected|||"
    "disconnected|SetGlobalConnectionState uint32:20|GetDevices;ActivateConnection \"/\" \"$wlan\" \"/\"|"
    "networking off|SetNetworkingEnabled boolean:false;SetGlobalConnectionState uint32:10|Enable True|"
    "no NetworkManager|stop||Internet Connection"
)
nm_calls=()
for c in "${cases[@]}"; do
    IFS='|' read -r case_name setup adds box <<<"$c"
    IFS=';' read -r -a steps <<<"$setup"
    for step in "${steps[@]}"; do
        if [[ "$step" == stop ]]; then
            session_stop_mock networkmanager || fail "$SESSION_ERROR"
        else
            read -r -a words <<<"$step"
            mock_send /org/freedesktop "${words[@]}"
        fi
    done
    click_button connect
    if [[ -n "$box" ]]; then
        answer "$box" Return
        continue
    fi
    IFS=';' read -r -a added <<<"$adds"
    nm_calls+=("${added[@]}")
    expected=$(printf '%s\n' "${nm_calls[@]}" | sed '/^$/d')
    wait_calls "$case_name" "$expected" "$nm"
    [[ -z "$(find_windows '^Internet Connection$')" ]] || fail "$case_name: a failure was reported"
done

# ---------------------------------------------------------------------------------------------
# The Run dialog

# The Run windows: the dialog, and a box of the same caption when the line cannot be read.
run_windows() { find_windows '^Run$'; }

# line typed|program that leaves its call, or the caption of the box instead|its folder (home for a
# program found on PATH), then its arguments, ";" between them. A failure keeps the dialog open, so the next line goes to it.
cases=(
    "kvnothere --x|Execute File|"
    "kvargs 'unbalanced|Run|"
    "kvargs 'two words' '' plain \"x \\\"y\\\"\"|kvargs|$(cd "$HOME" && pwd -P);two words;;plain;x \"y\""
    "'$other/kvelse' --flag|kvelse|$other;--flag"
)
for c in "${cases[@]}"; do
    IFS='|' read -r line outcome expected <<<"$c"
    case_name="Run '$line'"
    click_button run
    dialog=$(wait_for_window '^Run$' 10) || fail "$case_name: the Run dialog did not open within 10 s"
    xdotool windowactivate --sync "$dialog"
    xdotool key ctrl+a # what was typed before is replaced
    xdotool type --delay 10 "$line"
    xdotool key Return
    case $outcome in
        kvargs | kvelse)
            wait_for_call "$outcome" 10 || fail "$case_name: $outcome did not start within 10 s"
            got=$(call_lines "$outcome")
            want=$(tr ';' '\n' <<<"$expected")
            [[ "$got" == "$want" ]] || fail "$case_name: $outcome ran with"$'\n'"$got"$'\n'"expected"$'\n'"$want"
            _kv_dialog_closed() { [[ -z "$(run_windows)" ]]; }
            poll_until 10 _kv_dialog_closed || fail "$case_name: the Run dialog stayed open after the start"
            ;;
        Run)
            _kv_second_run() { [[ $(run_windows | wc -l) == 2 ]]; }
            poll_until 10 _kv_second_run || fail "$case_name: no box 'Run' about the line within 10 s"
            box=$(run_windows | grep -vx "$dialog" | head -n 1)
            xdotool windowactivate --sync "$box"
            xdotool key Return
            _kv_only_dialog() { [[ "$(run_windows)" == "$dialog" ]]; }
            poll_until 10 _kv_only_dialog || fail "$case_name: the box did not close, or the dialog with it"
            ;;
        *)
            answer "$outcome" Return
            [[ "$(run_windows)" == "$dialog" ]] || fail "$case_name: the Run dialog did not stay open"
            ;;
    esac
done
[[ $(call_count kvargs) == 1 && $(call_count kvelse) == 1 ]] ||
    fail "the programs started $(call_count kvargs) and $(call_count kvelse) times, expected once each"

# ---------------------------------------------------------------------------------------------
# Showing the desktop (last: it hides the launcher too)

showing_desktop() { xprop -root _NET_SHOWING_DESKTOP 2>/dev/null | grep -q '= 1$'; }
showing_desktop && fail "openbox shows the desktop before the click"
click_button desktop
poll_until 10 showing_desktop || fail "show desktop: _NET_SHOWING_DESKTOP is '$(xprop -root _NET_SHOWING_DESKTOP)', expected 1"
pid_alive "$APP_PID" || fail "the launcher exited after showing the desktop"

stop_app TERM
pass
