# Sourced by every tests/e2e/test_*.sh script.
#
# Gives the test a private world: its own temp folder holding HOME and the XDG folders, and in
# it the virtual session of scripts/session.sh (Xvfb on a free display, openbox, a private
# session bus and, on request, a tint2 panel with a system tray), plus default applications that
# are test handlers. Everything started here, the program under test included, is ended on exit,
# whichever way the test ends.
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

# The session, and the waiting tools the tests use: now_ms, poll_until, pid_alive, wait_exit.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/session.sh"

KV_APP_PIDS=() # instances of the program under test

# ---------------------------------------------------------------------------------------------
# Cleanup

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
    # Ends the program first, while its display is still there, and removes KV_TMP unless kept.
    session_stop
    if [[ -n "${KESTRAVA_E2E_KEEP:-}" ]]; then
        echo "kept $KV_TMP" >&2
    elif [[ -d "${KV_TMP:-}" ]]; then
        # The session never started.
        rm -rf "$KV_TMP"
    fi
    exit "$rc"
}

trap _kv_cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

KV_TMP=$(mktemp -d "${TMPDIR:-/tmp}/kestrava-e2e.XXXXXXXX")

# ---------------------------------------------------------------------------------------------
# Private environment, then the session in it (openbox and tint2 read their settings from HOME)

export HOME="$KV_TMP/home"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
export NO_AT_BRIDGE=1

# A script that sets KV_NO_WM=1 before sourcing this one starts without a window manager, and may
# start one later with start_wm.
session_start ${KESTRAVA_E2E_KEEP:+--keep} ${KV_NO_WM:+--no-wm} "$KV_TMP" || fail "$SESSION_ERROR"

start_wm() {
    _session_start_wm || fail "start_wm: $SESSION_ERROR"
}

# Tests may drop .service files here before starting the program; nothing else is activatable.
KV_DBUS_SERVICES=$SESSION_DBUS_SERVICES

# The folder the program runs in (it keeps its configuration in its working directory).
KV_APPDIR="$KV_TMP/app"
mkdir -p "$KV_APPDIR"

# ---------------------------------------------------------------------------------------------
# Optional panel with a system tray: 40 pixels along one edge of the screen (the bottom unless
# told top or left), reserving a strut.

# Prints "X Y W H" of the first desktop's work area (_NET_WORKAREA).
workarea() {
    session_workarea
}

workarea_height() {
    local h
    read -r _ _ _ h < <(workarea) || true
    echo "$h"
}

# start_panel [bottom|top|left]: the panel's pid is left in PANEL_PID.
PANEL_PID=
start_panel() {
    command -v tint2 >/dev/null || skip "'tint2' is not installed"
    session_start_tray "$@" || fail "start_panel: $SESSION_ERROR"
    PANEL_PID=$SESSION_TRAY_PID
}

# Ends the panel and waits until the work area is the whole screen again.
stop_panel() {
    session_stop_tray || fail "stop_panel: $SESSION_ERROR"
    PANEL_PID=
}

# ---------------------------------------------------------------------------------------------
# The program under test

# start_app [DIR]: starts the program in DIR (default $KV_APPDIR); its pid is left in APP_PID.
# Each instance logs to $KV_TMP/app.N.log, named in APP_LOG. KV_APP_PREFIX, when set, is a
# command that runs the program in its place (exec'ing it, so that the pid stays the program's):
# prlimit or setpriv, say.
APP_PID=
APP_LOG=
KV_APP_PREFIX=()
start_app() {
    local dir=${1:-$KV_APPDIR} n=$(( ${#KV_APP_PIDS[@]} + 1 ))
    APP_LOG="$KV_TMP/app.$n.log"
    (cd "$dir" && exec "${KV_APP_PREFIX[@]}" "$KESTRAVA_BIN") </dev/null >"$APP_LOG" 2>&1 &
    APP_PID=$!
    KV_APP_PIDS+=("$APP_PID")
    session_track "$APP_PID"
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
    _kv_window_shown() { _kv_windows=$(find_windows "$1") && [[ -n "$_kv_windows" ]]; }
    poll_until "$2" _kv_window_shown "$1" || return 1
    head -n 1 <<<"$_kv_windows"
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

# window_of PID NAME: prints the first visible managed window whose name matches NAME and that
# belongs to process PID (_NET_WM_PID); returns 1 when there is none.
window_of() {
    local w
    for w in $(find_windows "$2"); do
        [[ "$(xprop -id "$w" -notype _NET_WM_PID 2>/dev/null)" == "_NET_WM_PID = $1" ]] || continue
        echo "$w"
        return 0
    done
    return 1
}

# Starts the program in $KV_APPDIR and waits for its main window; leaves APP_PID and APP_WIN.
# Only the new instance's own window counts: the window of an instance that was killed stays
# listed until the X server and the window manager have caught up with its end.
APP_WIN=
start_app_and_wait() {
    start_app "$@"
    _kv_app_shown() { ! pid_alive "$APP_PID" || APP_WIN=$(window_of "$APP_PID" "$KV_MAIN_TITLE"); }
    poll_until 20 _kv_app_shown || fail "the main window did not show within 20 s"
    if ! pid_alive "$APP_PID"; then
        wait_exit "$APP_PID" 1 || true
        fail "the program exited with status ${EXIT_STATUS:-unknown} before its main window showed"
    fi
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

# The settings block (the one in use; a saved copy of the same layout follows it at +32).
KV_OFF_DOCK_POSITION=2067060    # int32: 0 top left ... 8 bottom right, 9 absolute left, 10 absolute right
KV_OFF_ALPHA=2067064            # int32, 60..255
KV_OFF_DOCK_WINDOW=2067068      # the switches: one byte each
KV_OFF_AUTO_ALPHA=2067069
KV_OFF_MOUSE_OVER_RESIZE=2067070
KV_OFF_ALWAYS_ON_TOP=2067071
KV_OFF_AUTO_MODE=2067072

# Categories and their links.
KV_OFF_CLOCK_VISIBLE=2067370     # byte
KV_OFF_CLOCK_LEFT=2067371        # int32, not aligned
KV_OFF_CLOCK_TOP=2067375         # int32, not aligned
KV_OFF_CATEGORIES=404
KV_CATEGORY_SIZE=103332
KV_CATEGORY_OFF_EXPANDED=103329   # byte: the panel is open
KV_LINK_SIZE=2060
KV_LINK_TYPE_APPLICATION=0
KV_LINK_TYPE_WEBSITE=1
KV_LINK_TYPE_FOLDER=2
KV_LINK_TYPE_FILE=3

# write_u8 FILE OFFSET VALUE: overwrites one byte in place.
write_u8() {
    /usr/bin/python3 - "$@" <<'EOF'
import sys
path, offset, value = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
with open(path, "r+b") as f:
    f.seek(0, 2)
    if offset < 0 or offset + 1 > f.tell():
        sys.exit(f"write_u8: offset {offset} is outside {path}")
    f.seek(offset)
    f.write(bytes([value]))
EOF
}

# write_text FILE OFFSET FIELD_SIZE TEXT: writes TEXT (UTF-8) into a fixed text field, the rest
# of the field NUL; fails when TEXT and its terminating NUL do not fit.
write_text() {
    /usr/bin/python3 - "$@" <<'EOF'
import sys
path, offset, size, text = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4].encode()
if len(text) >= size:
    sys.exit(f"write_text: '{sys.argv[4]}' does not fit a field of {size} bytes")
with open(path, "r+b") as f:
    f.seek(0, 2)
    if offset < 0 or offset + size > f.tell():
        sys.exit(f"write_text: field at {offset} is outside {path}")
    f.seek(offset)
    f.write(text.ljust(size, b"\0"))
EOF
}

# set_link FILE CATEGORY LINK TYPE NAME TARGET: makes link LINK of category CATEGORY (both
# counted from 0) an active link of TYPE. The category must already be in use.
set_link() {
    local file=$1 cat=$2 link=$3 type=$4 name=$5 target=$6
    local at=$(( KV_OFF_CATEGORIES + cat * KV_CATEGORY_SIZE + link * KV_LINK_SIZE ))
    write_text "$file" "$at" 50 "$name"
    write_text "$file" $(( at + 50 )) 2000 "$target"
    write_i32 "$file" $(( at + 2052 )) "$type"
    write_i32 "$file" $(( at + 2056 )) 1
}

# Creates the configuration a first start writes, in $KV_APPDIR, and leaves the program stopped.
create_default_config() {
    start_app_and_wait
    wait_config_written "$KV_APPDIR/$KV_CONFIG" 10 || fail "the first start did not write $KV_CONFIG"
    stop_app TERM
}

# ---------------------------------------------------------------------------------------------
# Calls: programs started by the program under test (test handlers, test programs) prove it by
# leaving one file per start in $KV_CALLS, named NAME.PID.call. Written under a temporary name
# and renamed, so a call file is never seen half written.

KV_CALLS="$KV_TMP/calls"
mkdir -p "$KV_CALLS"

# record_call NAME [LINE...]: the shell lines a test program uses to leave a call file holding
# LINE... (shell words, expanded when the program runs), one a line.
record_call() {
    local name=$1; shift
    echo "printf '%s\\n' $* >\"$KV_CALLS/$name.\$\$.tmp\""
    echo "mv \"$KV_CALLS/$name.\$\$.tmp\" \"$KV_CALLS/$name.\$\$.call\""
}

# call_count NAME: how many times NAME was started.
call_count() {
    local calls=("$KV_CALLS/$1".*.call)
    [[ -e "${calls[0]}" ]] || { echo 0; return; }
    echo "${#calls[@]}"
}

# call_lines NAME: the lines NAME's starts left, one start after another.
call_lines() {
    local call
    for call in "$KV_CALLS/$1".*.call; do
        [[ -e "$call" ]] && cat "$call"
    done
    return 0
}

# wait_for_call NAME TIMEOUT: returns 1 unless NAME was started within TIMEOUT seconds.
wait_for_call() {
    _kv_called() { [[ $(call_count "$1") != 0 ]]; }
    poll_until "$2" _kv_called "$1"
}

# ---------------------------------------------------------------------------------------------
# Default applications: a private set whose only members are test handlers.

# use_private_applications: points every XDG search path at folders of this test, so the
# machine's own applications and defaults play no part. Call before starting the program.
use_private_applications() {
    export XDG_DATA_DIRS="$KV_TMP/xdg-data-dirs" XDG_CONFIG_DIRS="$KV_TMP/xdg-config-dirs"
    mkdir -p "$XDG_DATA_DIRS" "$XDG_CONFIG_DIRS" "$XDG_DATA_HOME/applications" "$KV_TMP/handlers"
    printf '[Default Applications]\n' >"$XDG_CONFIG_HOME/mimeapps.list"
}

# add_handler NAME MIMETYPE...: installs the application kv-NAME.desktop as the default for each
# MIMETYPE (a URI scheme is x-scheme-handler/SCHEME). It is given its file or address as %u and
# records a call NAME holding its arguments, one a line.
add_handler() {
    local name=$1 type; shift
    local script="$KV_TMP/handlers/$name"
    { echo '#!/bin/sh'; record_call "$name" '"$@"'; } >"$script"
    chmod +x "$script"
    cat >"$XDG_DATA_HOME/applications/kv-$name.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Test handler $name
Exec=$script %u
MimeType=$(printf '%s;' "$@")
NoDisplay=true
EOF
    for type; do echo "$type=kv-$name.desktop" >>"$XDG_CONFIG_HOME/mimeapps.list"; done
}

# start_update_server: the test web server of http_cases.py, which answers the update check as
# the file $SRV/case says (a case name; "none" at first) and logs requests in $SRV/requests;
# KESTRAVA_HOME_URL points the program at it, and HOME_URL holds that address.
SRV="$KV_TMP/http"
HOME_URL=
start_update_server() {
    mkdir -p "$SRV"
    : >"$SRV/requests"
    echo none >"$SRV/case"
    /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/http_cases.py" "$SRV" </dev/null >"$KV_TMP/http.log" 2>&1 &
    session_track $!
    wait_for_file "$SRV/port" 10 || fail "the test web server did not start within 10 s"
    HOME_URL="http://127.0.0.1:$(cat "$SRV/port")/updates/"
    export KESTRAVA_HOME_URL=$HOME_URL
}

# ---------------------------------------------------------------------------------------------
# The main window's layout

# link_label_point CATEGORY LINK COUNT...: prints "X Y", a point well inside the label of link
# LINK of CATEGORY in window coordinates, when every category panel is open and the Nth holds
# COUNT[N] links. The category area starts at (10,32); a panel is a 20-pixel header followed,
# per link, by 2 pixels and a label about 13 pixels high, and 1 pixel parts the panels. Labels
# start 10 pixels in and are as wide as their text: give them names of some length.
link_label_point() {
    local cat=$1 link=$2 c label=13; shift 2
    local counts=("$@") y=32
    (( cat < ${#counts[@]} && link < counts[cat] )) || fail "link_label_point: no link $link in category $cat"
    for (( c = 0; c < cat; c++ )); do
        y=$(( y + 20 + 2 + counts[c] * (2 + label) + 1 ))
    done
    echo $(( 10 + 10 + 8 )) $(( y + 20 + (link + 1) * 2 + link * label + label / 2 ))
}

# click_in_window ID X Y: a left click at (X,Y) of the window's client area.
click_in_window() {
    local wx wy
    read -r wx wy _ _ < <(client_rect "$1")
    pointer_to $(( wx + $2 )) $(( wy + $3 ))
    xdotool click 1
}

# button_point NAME: prints "X Y", the middle of a system button in window coordinates. The
# button section is open at the bottom of the window (as it is by default): the category area
# runs from (10,32) to 7 pixels from the right and ends 60 + 30 + 2 + 6 pixels above the bottom,
# followed 1 pixel apart by the shut game section (6 high) and the button section (30 high). The
# buttons, 15 pixels square and 4 apart, stand from the section's right edge leftwards, their
# tops 11 pixels down.
button_point() {
    local index w h
    case $1 in
        shutdown) index=0 ;;
        restart) index=1 ;;
        logoff) index=2 ;;
        desktop) index=3 ;;
        run) index=4 ;;
        connect) index=5 ;;
        *) fail "button_point: no button '$1'" ;;
    esac
    read -r _ _ w h < <(client_rect "$APP_WIN")
    echo $((10 + (w - 17) - 4 - 15 - index * 19 + 7)) $((h - 90 + 11 + 7))
}

# click_button NAME.
click_button() {
    local x y
    read -r x y < <(button_point "$1")
    click_in_window "$APP_WIN" "$x" "$y"
}

# main_menu_item N WHAT: the right button on an empty part of the main window, then the Nth item
# of its menu ("Auto Mode", "Settings...", "Category Editor...", "Import Applications...",
# "Appearance...", "System", "Print settings to log...", "Check for updates..."); WHAT names the
# case in a failure.
main_menu_item() {
    xdotool windowactivate --sync "$APP_WIN"
    local wx wy ww wh
    read -r wx wy ww wh < <(client_rect "$APP_WIN")
    pointer_to $((wx + ww / 2)) $((wy + wh - 70))
    xdotool click 3
    # On a busy machine the click can come while the window manager still hands the focus back
    # from the box before: one more try.
    poll_until 5 menu_open || { xdotool key Escape click 3; poll_until 5 menu_open; } ||
        fail "$2: the right button on the main window opened no menu within 5 s, twice"
    xdotool key $(printf 'Down %.0s' $(seq "$1")) Return
    poll_until 5 menu_closed || fail "$2: the menu was still open 5 s after Return on its item $1"
}

# shoot_bottom FILE: the bottom 70 rows of the main window's client area, where the time label
# stands, as the screen shows them.
shoot_bottom() {
    local x y w h
    read -r x y w h < <(client_rect "$APP_WIN")
    import -window root -crop "${w}x70+$x+$((y + h - 70))" +repage "$1"
}

# window_paints WHAT: the main window is still drawn, and the time label with it: its seconds
# move on within 1.2 s. Also, none of its children got an X window of its own (Qt then stops
# painting them through the window). The pointer is moved away first, so nothing else changes.
window_paints() {
    command -v import >/dev/null || fail "$1: ImageMagick's 'import' is not installed"
    local children
    children=$(xwininfo -children -id "$APP_WIN" | sed -n 's/^ *\([0-9]*\) child.*/\1/p')
    [[ "$children" == 0 ]] || fail "$1: the main window has $children child X windows, expected none"
    pointer_to 1 1
    shoot_bottom "$KV_TMP/paint.1.ppm"
    _kv_clock_moved() { shoot_bottom "$KV_TMP/paint.2.ppm" && ! cmp -s "$KV_TMP/paint.1.ppm" "$KV_TMP/paint.2.ppm"; }
    poll_until 1.2 _kv_clock_moved || fail "$1: the main window's time label did not change within 1.2 s"
}

# popups: the mapped override-redirect windows of the program under test, its open menus;
# menu_open / menu_closed test for them.
popups() {
    local w
    for w in $(xdotool search --pid "$APP_PID" 2>/dev/null || true); do
        xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes' || continue
        window_visible "$w" && echo "$w"
    done
    return 0
}
menu_open() { [[ -n "$(popups)" ]]; }
menu_closed() { [[ -z "$(popups)" ]]; }

# wakeups: the voluntary context switches of every thread of the program under test; each
# is a sleep that a wake-up ends.
wakeups() {
    local t n=0
    for t in /proc/"$APP_PID"/task/*; do
        n=$((n + $(awk '/^voluntary_ctxt_switches/ { print $2 }' "$t/status")))
    done
    echo "$n"
}

# pointer_to X Y: moves the pointer and waits until it is there. xdotool's own --sync waits for
# motion, which never comes when the pointer is there already.
pointer_to() {
    xdotool mousemove "$1" "$2"
    _kv_pointer_at() { [[ "$(xdotool getmouselocation)" == "x:$1 y:$2 "* ]]; }
    poll_until 5 _kv_pointer_at "$1" "$2" || fail "the pointer did not reach $1,$2"
}

# press_and_drag ID X Y DX DY: presses the left button at (X,Y) of the window's client area and
# moves the pointer by (DX,DY) in five steps, leaving the button down; release_drag lets go.
press_and_drag() {
    local wx wy i
    read -r wx wy _ _ < <(client_rect "$1")
    pointer_to $(( wx + $2 )) $(( wy + $3 ))
    xdotool mousedown 1
    for i in 1 2 3 4 5; do
        pointer_to $(( wx + $2 + $4 * i / 5 )) $(( wy + $3 + $5 * i / 5 ))
    done
}

release_drag() {
    xdotool mouseup 1
}
