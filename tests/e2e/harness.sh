# Sourced by every tests/e2e/test_*.sh script.
#
# Gives the test a private world: its own temp folder holding HOME and the XDG folders, an Xvfb
# server on a free display, openbox as window manager, a private session bus and (on request) a
# tint2 panel with a system tray. Everything started here, the program under test included, is
# killed on exit, whichever way the test ends.
#
# The program under test is $KESTRAVA_BIN (absolute path). Set KESTRAVA_E2E_KEEP=1 to keep the
# temp folder (logs, configuration files, and a screenshot when the test failed) for a look.

set -Eeuo pipefail

KV_TEST_NAME=$(basename "$0" .sh)

fail() {
    echo "FAIL [$KV_TEST_NAME]: $*" >&2
    exit 1
}

skip() {
    echo "SKIP [$KV_TEST_NAME]: $*" >&2
    exit 77
}

pass() {
    echo "PASS [$KV_TEST_NAME]"
    exit 0
}

# An unexpected failing command ends the test with its line, not silently.
trap 'echo "FAIL [$KV_TEST_NAME]: command failed (status $?) at line $LINENO: $BASH_COMMAND" >&2' ERR

[[ -n "${KESTRAVA_BIN:-}" ]] || fail "KESTRAVA_BIN is not set; it must name the program under test (absolute path)"
[[ "$KESTRAVA_BIN" == /* ]] || fail "KESTRAVA_BIN must be an absolute path, got '$KESTRAVA_BIN'"
[[ -x "$KESTRAVA_BIN" && -f "$KESTRAVA_BIN" ]] || fail "KESTRAVA_BIN '$KESTRAVA_BIN' is not an executable file"

for kv_tool in Xvfb openbox xdotool xprop xwininfo dbus-daemon od; do
    command -v "$kv_tool" >/dev/null || skip "'$kv_tool' is not installed"
done
unset kv_tool

# ---------------------------------------------------------------------------------------------
# Time and processes

# Milliseconds since the epoch, without forking.
now_ms() {
    local t=${EPOCHREALTIME/[.,]/}
    echo $((t / 1000))
}

# Seconds (whole or with a fraction, "1" or "0.5") to milliseconds.
_kv_ms() {
    local int=${1%%.*} frac=
    [[ "$1" == *.* ]] && frac=${1#*.}
    frac="${frac}000"
    echo $(( 10#${int:-0} * 1000 + 10#${frac:0:3} ))
}

# True while PID exists and is not a zombie.
pid_alive() {
    local state
    [[ -r /proc/$1/stat ]] || return 1
    state=$(awk '{ sub(/^.*\) /, ""); print $1 }' "/proc/$1/stat" 2>/dev/null) || return 1
    [[ -n "$state" && "$state" != Z ]]
}

KV_PIDS=()        # everything we started, in start order
KV_APP_PIDS=()    # instances of the program under test

_kv_track() {
    KV_PIDS+=("$1")
    echo "$1" >>"$KV_TMP/pids"
}

# wait_exit PID TIMEOUT_SECONDS: waits until PID has ended. Returns 1 on timeout. When PID is a
# child of this shell its exit status is left in EXIT_STATUS (empty otherwise).
EXIT_STATUS=
wait_exit() {
    local pid=$1 deadline=$(( $(now_ms) + $(_kv_ms "$2") ))
    EXIT_STATUS=
    while pid_alive "$pid"; do
        (( $(now_ms) < deadline )) || return 1
        sleep 0.05
    done
    local rc=0
    wait "$pid" 2>/dev/null || rc=$?
    # 127 means "not a child of this shell": the status is unknown.
    [[ $rc == 127 ]] || EXIT_STATUS=$rc
    return 0
}

# ---------------------------------------------------------------------------------------------
# Cleanup

_kv_stop() {
    local pid
    for pid in "$@"; do kill -TERM "$pid" 2>/dev/null || true; done
    for pid in "$@"; do
        wait_exit "$pid" 5 || { kill -KILL "$pid" 2>/dev/null || true; wait_exit "$pid" 2 || true; }
    done
}

_kv_cleanup() {
    local rc=$?
    trap - ERR EXIT INT TERM HUP
    set +e
    if [[ $rc != 0 && $rc != 77 && -d "${KV_TMP:-}" ]]; then
        local log
        [[ -n "${KESTRAVA_E2E_KEEP:-}" && -n "${DISPLAY:-}" ]] && screenshot "$KV_TMP/failure.png" 2>/dev/null
        for log in "$KV_TMP"/*.log; do
            [[ -s "$log" ]] || continue
            echo "----- $(basename "$log") (last lines) -----" >&2
            tail -n 25 "$log" >&2
        done
    fi
    # The program first, while its display is still there, so it can close normally.
    local apps=() rest=() i
    for (( i = ${#KV_APP_PIDS[@]} - 1; i >= 0; i-- )); do apps+=("${KV_APP_PIDS[i]}"); done
    for (( i = ${#KV_PIDS[@]} - 1; i >= 0; i-- )); do
        [[ " ${KV_APP_PIDS[*]} " == *" ${KV_PIDS[i]} "* ]] || rest+=("${KV_PIDS[i]}")
    done
    _kv_stop "${apps[@]}"
    _kv_stop "${rest[@]}"
    [[ -s "$KV_TMP/reaper.pid" ]] && kill -TERM "$(cat "$KV_TMP/reaper.pid")" 2>/dev/null
    if [[ -d "${KV_TMP:-}" ]]; then
        if [[ -n "${KESTRAVA_E2E_KEEP:-}" ]]; then
            echo "kept $KV_TMP" >&2
        else
            rm -rf "$KV_TMP"
        fi
    fi
    exit "$rc"
}

trap _kv_cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

KV_TMP=$(mktemp -d "${TMPDIR:-/tmp}/kestrava-e2e.XXXXXXXX")
: >"$KV_TMP/pids"

# Should this shell be killed outright (SIGKILL from a test runner, which may also kill its
# process group and its children), the EXIT trap cannot run. The reaper, detached into a session
# of its own, notices and kills whatever is listed in the pids file, so no X server is left behind.
(
    setsid bash -c '
        parent=$1 tmp=$2 keep=$3
        echo $$ >"$tmp/reaper.pid"
        trap "exit 0" TERM
        while kill -0 "$parent" 2>/dev/null; do sleep 1 & wait $!; done
        [[ -f "$tmp/pids" ]] || exit 0
        tac "$tmp/pids" | while read -r p; do kill -TERM "$p" 2>/dev/null; done
        sleep 3
        tac "$tmp/pids" | while read -r p; do kill -KILL "$p" 2>/dev/null; done
        [[ -n "$keep" ]] || rm -rf "$tmp"
    ' kestrava-e2e-reaper "$$" "$KV_TMP" "${KESTRAVA_E2E_KEEP:-}" </dev/null >/dev/null 2>&1 &
)

# ---------------------------------------------------------------------------------------------
# Private environment

export HOME="$KV_TMP/home"
export XDG_RUNTIME_DIR="$KV_TMP/runtime"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
export NO_AT_BRIDGE=1
unset WAYLAND_DISPLAY XAUTHORITY SESSION_MANAGER DESKTOP_AUTOSTART_ID XDG_SESSION_TYPE \
      XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP DBUS_SYSTEM_BUS_ADDRESS

# The folder the program runs in (it keeps its configuration in its working directory).
KV_APPDIR="$KV_TMP/app"
mkdir -p "$KV_APPDIR"

# ---------------------------------------------------------------------------------------------
# X server and window manager

# Polls COMMAND... every 0.1 s until it succeeds; returns 1 after TIMEOUT seconds.
poll_until() {
    local timeout=$1; shift
    local deadline=$(( $(now_ms) + $(_kv_ms "$timeout") ))
    until "$@"; do
        (( $(now_ms) < deadline )) || return 1
        sleep 0.1
    done
}

# Xvfb writes the display number, in one write, once it accepts connections.
_kv_display_ready() { grep -q '^[0-9]' "$KV_TMP/displayfd" 2>/dev/null || ! pid_alive "$KV_XVFB_PID"; }

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    3>"$KV_TMP/displayfd" </dev/null >"$KV_TMP/xvfb.log" 2>&1 &
KV_XVFB_PID=$!
_kv_track "$KV_XVFB_PID"
poll_until 10 _kv_display_ready || fail "Xvfb did not report a display within 10 s"
pid_alive "$KV_XVFB_PID" || fail "Xvfb exited at start"
export DISPLAY=":$(tr -d '[:space:]' <"$KV_TMP/displayfd")"
[[ "$DISPLAY" =~ ^:[0-9]+$ ]] || fail "Xvfb reported an odd display '$DISPLAY'"

_kv_wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

openbox --sm-disable </dev/null >"$KV_TMP/openbox.log" 2>&1 &
_kv_track $!
poll_until 10 _kv_wm_ready || fail "openbox did not set _NET_SUPPORTING_WM_CHECK within 10 s"

# ---------------------------------------------------------------------------------------------
# Session bus: a private one, with its own (empty) folder of activatable services so nothing
# from the machine gets started behind our back. Tests may drop .service files into
# $KV_DBUS_SERVICES before starting the program.

KV_DBUS_SERVICES="$KV_TMP/dbus-services"
mkdir -p "$KV_DBUS_SERVICES"
cat >"$KV_TMP/session-bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$KV_TMP/session-bus</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$KV_DBUS_SERVICES</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
dbus-daemon --config-file="$KV_TMP/session-bus.conf" --fork --nopidfile \
    --print-address=3 --print-pid=4 3>"$KV_TMP/bus-address" 4>"$KV_TMP/bus-pid" \
    </dev/null >>"$KV_TMP/dbus.log" 2>&1 || fail "the session bus did not start"
_kv_track "$(tr -d '[:space:]' <"$KV_TMP/bus-pid")"
export DBUS_SESSION_BUS_ADDRESS="$(head -n 1 "$KV_TMP/bus-address")"
[[ -n "$DBUS_SESSION_BUS_ADDRESS" ]] || fail "the session bus printed no address"

# ---------------------------------------------------------------------------------------------
# Optional panel with a system tray: 40 pixels at the bottom, reserving a strut.

workarea_height() {
    xprop -root _NET_WORKAREA 2>/dev/null | sed -n 's/.*= *[0-9-]*, *[0-9-]*, *[0-9]*, *\([0-9]*\).*/\1/p'
}

_kv_panel_ready() { local h; h=$(workarea_height); [[ -n "$h" ]] && (( h < 1024 )); }

start_panel() {
    command -v tint2 >/dev/null || skip "'tint2' is not installed"
    cat >"$KV_TMP/tint2rc" <<'EOF'
panel_items = TS
panel_size = 100% 40
panel_margin = 0 0
panel_padding = 2 0 2
panel_position = bottom center horizontal
panel_layer = top
panel_monitor = all
panel_dock = 0
wm_menu = 0
autohide = 0
strut_policy = follow_size
taskbar_mode = single_desktop
systray_padding = 0 4 2
systray_icon_size = 24
systray_sort = ascending
EOF
    tint2 -c "$KV_TMP/tint2rc" </dev/null >"$KV_TMP/tint2.log" 2>&1 &
    _kv_track $!
    poll_until 10 _kv_panel_ready || fail "the panel did not reserve its strut within 10 s (_NET_WORKAREA: $(xprop -root _NET_WORKAREA))"
}

# ---------------------------------------------------------------------------------------------
# The program under test

# start_app [DIR]: starts the program in DIR (default $KV_APPDIR); its pid is left in APP_PID.
# Each instance logs to $KV_TMP/app.N.log.
APP_PID=
start_app() {
    local dir=${1:-$KV_APPDIR} n=$(( ${#KV_APP_PIDS[@]} + 1 ))
    (cd "$dir" && exec "$KESTRAVA_BIN") </dev/null >"$KV_TMP/app.$n.log" 2>&1 &
    APP_PID=$!
    KV_APP_PIDS+=("$APP_PID")
    _kv_track "$APP_PID"
}

# ---------------------------------------------------------------------------------------------
# Windows

# Top-level windows the window manager manages (_NET_CLIENT_LIST), as decimal ids.
managed_windows() {
    local w
    for w in $(xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -o '0x[0-9a-fA-F]*' || true); do
        echo $((w))
    done
}

# Visible managed windows whose name matches the regular expression NAME, one id a line. Only
# managed windows count: a tray icon or a popup may carry the same name.
find_windows() {
    local ids managed w
    ids=$(xdotool search --onlyvisible --name "$1" 2>/dev/null || true)
    [[ -n "$ids" ]] || return 0
    managed=" $(managed_windows | tr '\n' ' ') "
    for w in $ids; do
        [[ "$managed" == *" $w "* ]] && echo "$w"
    done
    return 0
}

# wait_for_window NAME TIMEOUT: prints the id of the first visible managed window whose name
# matches NAME; returns 1 when none shows up in time.
wait_for_window() {
    local deadline=$(( $(now_ms) + $(_kv_ms "$2") )) ids
    while :; do
        ids=$(find_windows "$1")
        [[ -n "$ids" ]] && { head -n 1 <<<"$ids"; return 0; }
        (( $(now_ms) < deadline )) || return 1
        sleep 0.1
    done
}

# True when the window is mapped and all its ancestors are (xwininfo's IsViewable).
window_visible() {
    xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'
}

# Prints WINDOW=, X=, Y=, WIDTH=, HEIGHT=, SCREEN= lines (xdotool's view); use with eval.
window_geometry() {
    xdotool getwindowgeometry --shell "$1"
}

# Prints "X Y W H": the client window's own area in root coordinates, as the X server has it.
client_rect() {
    xwininfo -id "$1" | awk '
        /Absolute upper-left X:/ { x = $NF }
        /Absolute upper-left Y:/ { y = $NF }
        /^ *Width:/  { w = $NF }
        /^ *Height:/ { h = $NF }
        END { print x, y, w, h }'
}

# Prints "LEFT RIGHT TOP BOTTOM" of the window manager's frame (_NET_FRAME_EXTENTS), or
# "0 0 0 0" when the window manager set none.
frame_extents() {
    local v
    v=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ',')
    echo "${v:-0 0 0 0}"
}

# Prints the atoms of the window's _NET_WM_STATE, one a line.
window_states() {
    xprop -id "$1" _NET_WM_STATE 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ' | tr ',' '\n' | sed '/^$/d'
}

# Managed windows from bottom to top (_NET_CLIENT_LIST_STACKING), as decimal ids.
stacking_order() {
    local w
    for w in $(xprop -root _NET_CLIENT_LIST_STACKING 2>/dev/null | grep -o '0x[0-9a-fA-F]*' || true); do
        echo $((w))
    done
}

screenshot() {
    command -v import >/dev/null || { echo "screenshot: 'import' is not installed" >&2; return 1; }
    import -window root "$1"
}

# ---------------------------------------------------------------------------------------------
# Files

# wait_for_file PATH TIMEOUT: returns 1 unless PATH exists within TIMEOUT seconds.
wait_for_file() {
    poll_until "$2" test -e "$1"
}

file_size() {
    stat -c %s "$1"
}

# read_i32 FILE OFFSET: the little-endian signed 32-bit integer at byte OFFSET.
read_i32() {
    local size
    size=$(file_size "$1") || return 1
    (( $2 >= 0 && $2 + 4 <= size )) || { echo "read_i32: offset $2 is outside $1 ($size bytes)" >&2; return 1; }
    od -An -v -t d4 --endian=little -j "$2" -N 4 "$1" | tr -d ' \n'
}

# write_i32 FILE OFFSET VALUE: overwrites 4 bytes in place with VALUE, little-endian.
write_i32() {
    /usr/bin/python3 - "$@" <<'EOF'
import struct, sys
path, offset, value = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
with open(path, "r+b") as f:
    f.seek(0, 2)
    if offset < 0 or offset + 4 > f.tell():
        sys.exit(f"write_i32: offset {offset} is outside {path}")
    f.seek(offset)
    f.write(struct.pack("<i", value))
EOF
}

# ---------------------------------------------------------------------------------------------
# The program's configuration file

KV_MAIN_TITLE='^Kestrava$'
KV_CONFIG=KVUI_Config.dat
KV_CONFIG_OLD=KVUI_Config_OLD.dat
KV_CONFIG_SIZE=2067380
# Main window bounds, int32 little-endian.
KV_OFF_LEFT=2067044
KV_OFF_TOP=2067048
KV_OFF_HEIGHT=2067052
KV_OFF_WIDTH=2067056

# wait_config_written FILE TIMEOUT: waits until FILE has the full configuration size.
wait_config_written() {
    _kv_full_size() { [[ -e "$1" && "$(file_size "$1")" == "$KV_CONFIG_SIZE" ]]; }
    poll_until "$2" _kv_full_size "$1"
}

# Starts the program in $KV_APPDIR and waits for its main window; leaves APP_PID and APP_WIN.
APP_WIN=
start_app_and_wait() {
    start_app "$@"
    APP_WIN=$(wait_for_window "$KV_MAIN_TITLE" 20) || fail "the main window did not show within 20 s"
}

# move_window ID X Y: moves the window (client area's top-left to X,Y) and waits until the X
# server has it there.
move_window() {
    local id=$1 x=$2 y=$3
    _kv_at() { local cx cy; read -r cx cy _ _ < <(client_rect "$id"); [[ "$cx $cy" == "$x $y" ]]; }
    xdotool windowmove "$id" "$x" "$y"
    poll_until 5 _kv_at || fail "the window did not move to $x,$y (client area at $(client_rect "$id"))"
}

# Sends SIGNAL (default TERM) to the program and expects a normal exit with status 0.
stop_app() {
    local pid=${2:-$APP_PID}
    kill "-${1:-TERM}" "$pid"
    wait_exit "$pid" 15 || fail "the program did not exit within 15 s of SIG${1:-TERM}"
    [[ "$EXIT_STATUS" == 0 ]] || fail "the program exited with status $EXIT_STATUS after SIG${1:-TERM}, expected 0"
}
