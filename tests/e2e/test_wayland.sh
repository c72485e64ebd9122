#!/usr/bin/env bash
# Under a Wayland desktop: weston, headless, with XWayland, and the environment such a session
# gives its programs (WAYLAND_DISPLAY, DISPLAY naming XWayland, XDG_SESSION_TYPE=wayland, no
# QT_QPA_PLATFORM). The program chooses XWayland itself, so its window is an X client there; a
# link launches, and the program it starts does not inherit that choice; the global hot keys are
# refused, told once in the debug window, with the desktop shortcut to use instead; and a second
# start exits 0 and maps the first instance's window again.
#
# The harness's own X server stays unused: every X tool here talks to XWayland. XWayland 22
# ends at once on an absolute XTEST pointer move when the compositor has no pointer (a headless
# one has none), so the pointer only ever moves by relative steps. Keys go to the window under
# the pointer: with no keyboard in the compositor, XWayland's focus stays PointerRoot.
# No window manager on the harness's X server: XWayland's is weston's own.
KV_NO_WM=1 source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

command -v weston >/dev/null || skip "'weston' is not installed"
command -v Xwayland >/dev/null || skip "'Xwayland' is not installed"

# ---------------------------------------------------------------------------------------------
# The Wayland session, in the harness's private runtime folder (mode 0700)

wl_socket=kestrava-wayland
weston --backend=headless-backend.so --xwayland --socket="$wl_socket" --idle-time=0 \
    --log="$KV_TMP/weston.log" </dev/null >"$KV_TMP/weston-output.log" 2>&1 &
weston_pid=$!
session_track "$weston_pid"

# weston opens the X display at once and starts XWayland on the first client.
xwayland_display() { sed -n 's/.*xserver listening on display \(:[0-9][0-9]*\).*/\1/p' "$KV_TMP/weston.log" 2>/dev/null; }
weston_ready() {
    pid_alive "$weston_pid" || return 0
    [[ -S "$XDG_RUNTIME_DIR/$wl_socket" && -n "$(xwayland_display)" ]]
}
poll_until 20 weston_ready || fail "weston did not open its sockets within 20 s"
pid_alive "$weston_pid" || fail "weston exited at start (see weston.log and weston-output.log)"

export WAYLAND_DISPLAY=$wl_socket XDG_SESSION_TYPE=wayland
DISPLAY=$(xwayland_display)
export DISPLAY
unset QT_QPA_PLATFORM
xwininfo -root >/dev/null 2>&1 || fail "XWayland on $DISPLAY does not answer"

# ---------------------------------------------------------------------------------------------
# Helpers: weston's window manager keeps no _NET_CLIENT_LIST, so windows are found by process.

# x_window PID NAME: the first viewable X window of PID whose name matches NAME.
x_window() {
    local w
    for w in $(xdotool search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null || true); do
        echo "$w"
        return 0
    done
    return 1
}

# wait_app_window: starts the program and waits for its main window as an X client of XWayland.
wait_app_window() {
    start_app
    _kv_shown() { ! pid_alive "$APP_PID" || APP_WIN=$(x_window "$APP_PID" "$KV_MAIN_TITLE"); }
    poll_until 20 _kv_shown || fail "$1: no main window on XWayland ($DISPLAY) within 20 s"
    pid_alive "$APP_PID" || fail "$1: the program exited before its main window showed (see app.*.log)"
}

unmap() {
    xdotool windowunmap "$1"
    _kv_gone() { ! window_visible "$1"; }
    poll_until 5 _kv_gone "$1" || fail "windowunmap left window $1 viewable"
}

# pointer_to X Y: in relative steps, from wherever the pointer is; a place counts once two
# readings a tenth of a second apart agree, so that no step is taken from a stale reading.
pointer_to() {
    local i last=
    _kv_pointer_still() {
        eval "$(xdotool getmouselocation --shell)"
        [[ "$X $Y" == "$last" ]] && return 0
        last="$X $Y"
        return 1
    }
    for ((i = 0; i < 10; i++)); do
        poll_until 5 _kv_pointer_still || fail "the pointer kept moving (at $X,$Y)"
        [[ "$X $Y" == "$1 $2" ]] && return 0
        xdotool mousemove_relative -- $(($1 - X)) $(($2 - Y))
        last=
    done
    fail "the pointer did not reach $1,$2 (at $X,$Y)"
}

# wait_settled WINDOW: a window just mapped is placed again once Qt learns the size of weston's
# frame, so a click waits until the window has held its place for a second (left in
# settled_rect).
wait_settled() {
    local held=0
    settled_rect=
    _kv_settled() {
        local now
        now=$(client_rect "$1")
        if [[ "$now" == "$settled_rect" ]]; then
            ((++held >= 10))
            return
        fi
        settled_rect=$now held=0
        return 1
    }
    poll_until 10 _kv_settled "$1" || fail "window $1 kept moving: now at $(client_rect "$1")"
}

click_at() {
    local wx wy
    read -r wx wy _ _ < <(client_rect "$1")
    pointer_to $((wx + $2)) $((wy + $3))
    eval "$(xdotool getmouselocation --shell)"
    [[ "$WINDOW" == "$1" ]] || fail "the pointer at $X,$Y is over window $WINDOW, not $1"
    xdotool click 1
}

# The text of the debug window, through the PRIMARY selection its text box sets on Ctrl+A.
primary_selection() {
    /usr/bin/python3 - <<'EOF'
import ctypes, ctypes.util, sys, time
X = ctypes.CDLL(ctypes.util.find_library("X11"))
vp, ul, ci = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int
X.XOpenDisplay.restype = vp
X.XOpenDisplay.argtypes = [ctypes.c_char_p]
X.XDefaultRootWindow.restype = ul
X.XDefaultRootWindow.argtypes = [vp]
X.XCreateSimpleWindow.restype = ul
X.XCreateSimpleWindow.argtypes = [vp, ul, ci, ci, ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ul, ul]
X.XInternAtom.restype = ul
X.XInternAtom.argtypes = [vp, ctypes.c_char_p, ci]
X.XConvertSelection.argtypes = [vp, ul, ul, ul, ul, ul]
X.XFlush.argtypes = X.XPending.argtypes = [vp]
X.XNextEvent.argtypes = [vp, vp]
X.XGetWindowProperty.argtypes = [vp, ul, ul, ctypes.c_long, ctypes.c_long, ci, ul, ctypes.POINTER(ul),
                                 ctypes.POINTER(ci), ctypes.POINTER(ul), ctypes.POINTER(ul), ctypes.POINTER(vp)]
d = X.XOpenDisplay(None)
if not d:
    sys.exit("primary_selection: no display")
win = X.XCreateSimpleWindow(d, X.XDefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0)
primary, utf8, prop = (X.XInternAtom(d, n, 0) for n in (b"PRIMARY", b"UTF8_STRING", b"KV_SELECTION"))
X.XConvertSelection(d, primary, utf8, prop, win, 0)
X.XFlush(d)
event = (ctypes.c_long * 24)()  # XSelectionEvent: type, serial, send_event, display, requestor,
deadline = time.time() + 5      # selection, target, property, time
while time.time() < deadline:
    if not X.XPending(d):
        time.sleep(0.05)
        continue
    X.XNextEvent(d, event)
    if event[0] & 0xFFFFFFFF != 31:  # SelectionNotify
        continue
    if event[7] == 0:
        sys.exit("primary_selection: nobody holds the selection")
    kind, fmt, n, after, data = ul(), ci(), ul(), ul(), vp()
    X.XGetWindowProperty(d, win, prop, 0, 1 << 24, 1, 0, ctypes.byref(kind), ctypes.byref(fmt), ctypes.byref(n),
                         ctypes.byref(after), ctypes.byref(data))
    sys.stdout.write(ctypes.string_at(data, n.value).decode("utf-8", "replace") if data else "")
    sys.exit(0)
sys.exit("primary_selection: no answer within 5 s")
EOF
}

# ---------------------------------------------------------------------------------------------
# The first start writes the configuration; a link is added to it, in an open panel.

wait_app_window "first start"
# Left to itself, Qt tries its Wayland plugin first (and falls back to xcb only when that plugin
# is missing, as it is here, with a warning).
! grep -q 'platform plugin "wayland"' "$APP_LOG" ||
    fail "the program left the platform to Qt, which tried Wayland: $(grep 'platform plugin' "$APP_LOG")"
[[ "$(xprop -id "$APP_WIN" WM_CLASS 2>/dev/null)" == *'"kestrava"'* ]] ||
    fail "the main window is not the program's X window: $(xprop -id "$APP_WIN" WM_CLASS 2>&1)"
wait_config_written "$KV_APPDIR/$KV_CONFIG" 10 || fail "the first start did not write $KV_CONFIG"
stop_app TERM

programs="$KV_TMP/programs"
mkdir -p "$programs"
programs=$(cd "$programs" && pwd -P)
{
    echo '#!/bin/bash'
    record_call app '"$(pwd -P)"' '"QT_QPA_PLATFORM=${QT_QPA_PLATFORM-(unset)}"' '"WAYLAND_DISPLAY=${WAYLAND_DISPLAY-(unset)}"'
} >"$programs/record"
chmod +x "$programs/record"
cfg="$KV_APPDIR/$KV_CONFIG"
write_u8 "$cfg" "$KV_OFF_AUTO_MODE" 0
set_link "$cfg" 0 0 "$KV_LINK_TYPE_APPLICATION" "Record the launch" "$programs/record"
write_u8 "$cfg" $((KV_OFF_CATEGORIES + KV_CATEGORY_OFF_EXPANDED)) 1
printf '[Debug]\nDebugMode=1\n' >"$KV_APPDIR/Kestrava.ini"

# ---------------------------------------------------------------------------------------------
# In debug mode: the hot keys' refusal is told once.

wait_app_window "debug start"
first_pid=$APP_PID
main_win=$APP_WIN
debug_win_shown() { debug_win=$(x_window "$APP_PID" '^KVUI Debugger$'); }
poll_until 10 debug_win_shown || fail "the debug window did not show"
# Alone on the screen, the debug window takes the click and the keys.
unmap "$main_win"
for w in $(xdotool search --onlyvisible --pid "$APP_PID" 2>/dev/null); do
    [[ "$w" == "$debug_win" ]] || unmap "$w"
done

wait_settled "$debug_win"
read -r _ _ dw dh <<<"$settled_rect"
click_at "$debug_win" $((dw / 2)) $((dh / 2))
hot_key_lines() { grep -ci 'hot key' <<<"$debug_text" || true; }
told() {
    xdotool key ctrl+a
    debug_text=$(primary_selection 2>&1) || return 1
    [[ $(hot_key_lines) != 0 ]]
}
# Both keys are asked for in one go: once one line is there, a second would be too.
poll_until 10 told || fail "no hot key line in the debug window within 10 s; it holds:"$'\n'"$debug_text"
[[ $(hot_key_lines) == 1 ]] ||
    fail "$(hot_key_lines) lines about the hot keys, expected one:"$'\n'"$(grep -i 'hot key' <<<"$debug_text")"
line=$(grep -i 'hot key' <<<"$debug_text")
[[ "$line" == *Wayland* && "$line" == *kestrava* ]] ||
    fail "the hot key line says neither why nor what to do instead: $line"
unmap "$debug_win"

# ---------------------------------------------------------------------------------------------
# A second start maps the first instance's window again and exits 0.

start_app
wait_exit "$APP_PID" 10 || fail "the second start was still running after 10 s"
[[ "$EXIT_STATUS" == 0 ]] || fail "the second start exited with status $EXIT_STATUS, expected 0"
APP_PID=$first_pid
main_back() { window_visible "$main_win"; }
poll_until 10 main_back || fail "the second start did not map the main window again"
pid_alive "$first_pid" || fail "the first instance ended"

# ---------------------------------------------------------------------------------------------
# A link launches, and the program it starts keeps the session's own platform choice.

wait_settled "$main_win"
read -r px py < <(link_label_point 0 0 1)
click_at "$main_win" "$px" "$py"
[[ "$(client_rect "$main_win")" == "$settled_rect" ]] ||
    fail "the main window moved from $settled_rect to $(client_rect "$main_win") under the click"
wait_for_call app 10 ||
    fail "clicking the link did not start its program within 10 s (window at $(client_rect "$main_win"), pointer $(xdotool getmouselocation))"
expected="$programs
QT_QPA_PLATFORM=(unset)
WAYLAND_DISPLAY=$wl_socket"
[[ "$(call_lines app)" == "$expected" ]] ||
    fail "the launched program saw"$'\n'"$(call_lines app)"$'\n'"expected"$'\n'"$expected"
[[ $(call_count app) == 1 ]] || fail "the link started its program $(call_count app) times"

stop_app TERM
pass
