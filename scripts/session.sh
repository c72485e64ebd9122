# Sourced by scripts/run.sh, tests/e2e/harness.sh and bench/run.sh: a private virtual desktop
# session for Kestrava.
#
#   session_start [--no-wm] [--tray] [--system-bus] [--keep] DIR
#
# starts, each waited for until it is really up:
#   - Xvfb on a free display (1280x1024x24), exported as DISPLAY;
#   - a private session bus whose only activatable services are the .service files dropped into
#     $SESSION_DBUS_SERVICES, exported as DBUS_SESSION_BUS_ADDRESS;
#   - with --system-bus, a private system bus, exported as DBUS_SYSTEM_BUS_ADDRESS, on which
#     session_start_mock starts python3-dbusmock's stand-ins for system services (logind,
#     networkmanager, ...) and session_stop_mock ends them; session_start_system_bus starts the
#     bus later. Without it the system bus is the machine's own;
#   - openbox as window manager, up once it has set _NET_SUPPORTING_WM_CHECK (--no-wm: none);
#   - with --tray, a tint2 panel along the bottom holding a system tray (needs the window manager);
#     session_start_tray / session_stop_tray start and end one later, along any edge.
# It exports a private XDG_RUNTIME_DIR (mode 0700), sets QT_QPA_PLATFORM=xcb, and drops the
# variables that describe the caller's own desktop session.
#
# DIR is the caller's folder; the session keeps its logs (*.log), sockets and runtime folder in
# it, and from then on DIR belongs to the session: session_stop ends every process the session
# knows of, last started first, and removes DIR (--keep: leaves DIR for a look). The caller's
# EXIT trap calls session_stop; processes the caller starts inside the session join with
# session_track PID and are ended with it. Should the caller be killed outright, so that its
# trap cannot run, a guard process in a session of its own does the same within a second.
#
# Functions return 1 and leave the reason in SESSION_ERROR when something does not come up, and
# do not exit: the caller reports it in its own way (`session_start DIR || fail "$SESSION_ERROR"`).
# A part of the session is one _session_start_PART function and one option of session_start,
# started in its place in the order below (a compositor after the window manager, a private
# system bus beside the session bus).
#
# The waiting tools the session uses are for the callers too: now_ms, poll_until, pid_alive,
# wait_exit. Every wait is for a state, polled against a deadline generous enough that only a
# failure reaches it, however busy the machine.

# shellcheck disable=SC2034 # the SESSION_ variables are for the callers

SESSION_SCREEN_WIDTH=1280
SESSION_SCREEN_HEIGHT=1024
SESSION_DIR=
SESSION_ERROR=
SESSION_DBUS_SERVICES=
SESSION_TRAY_PID=
SESSION_X_PID=
SESSION_SYSTEM_BUS_PID=

_SESSION_SCRIPT=$(realpath "${BASH_SOURCE[0]}")
# How long any part may take to come up or to go away before it counts as failed.
_SESSION_TIMEOUT=20
_session_keep=
_session_wm=
_session_guard_entry=
_session_pids=() # "PID STARTTIME", in start order
declare -gA _session_mocks=() # template -> "PID BUSNAME"

# ---------------------------------------------------------------------------------------------
# Waiting

# Milliseconds since the epoch, without forking.
now_ms() {
    local t=${EPOCHREALTIME/[.,]/}
    echo $((t / 1000))
}

# Seconds (whole or with a fraction, "1" or "0.5") to milliseconds.
_session_ms() {
    local int=${1%%.*} frac=
    [[ "$1" == *.* ]] && frac=${1#*.}
    frac="${frac}000"
    echo $((10#${int:-0} * 1000 + 10#${frac:0:3}))
}

# poll_until TIMEOUT COMMAND...: runs COMMAND every 0.1 s until it succeeds; returns 1 when
# TIMEOUT seconds have passed without.
poll_until() {
    local timeout=$1
    shift
    local deadline=$(($(now_ms) + $(_session_ms "$timeout")))
    until "$@"; do
        (($(now_ms) < deadline)) || return 1
        sleep 0.1
    done
}

# Fields of /proc/PID/stat from the state on (field 3), split into _session_fields; returns 1
# when there is no such process. The command name may hold spaces and parentheses, so the split
# is after its last ")".
_session_stat() {
    local line
    { read -r line <"/proc/$1/stat"; } 2>/dev/null || return 1
    read -r -a _session_fields <<<"${line##*) }"
}

# True while PID exists and is not a zombie.
pid_alive() {
    _session_stat "$1" && [[ "${_session_fields[0]}" != Z ]]
}

# The start time of PID (clock ticks after boot), which together with the pid names one process:
# a pid that was freed and handed out again has another start time.
_session_start_time() {
    _session_stat "$1" && echo "${_session_fields[19]}"
}

# wait_exit PID TIMEOUT: waits until PID has ended; returns 1 after TIMEOUT seconds. When PID is
# a child of this shell its exit status is left in EXIT_STATUS (empty otherwise).
EXIT_STATUS=
wait_exit() {
    local pid=$1 deadline=$(($(now_ms) + $(_session_ms "$2")))
    EXIT_STATUS=
    while pid_alive "$pid"; do
        (($(now_ms) < deadline)) || return 1
        sleep 0.05
    done
    local rc=0
    wait "$pid" 2>/dev/null || rc=$?
    # 127 means "not a child of this shell": the status is unknown.
    [[ $rc == 127 ]] || EXIT_STATUS=$rc
    return 0
}

# ---------------------------------------------------------------------------------------------
# Processes

# session_track PID: PID is ended with the session.
session_track() {
    [[ -n "$SESSION_DIR" ]] || {
        SESSION_ERROR="session_track: no session is running"
        return 1
    }
    local entry
    entry="$1 $(_session_start_time "$1" || echo gone)"
    _session_pids+=("$entry")
    echo "$entry" >>"$SESSION_DIR/session.pids"
}

_session_untrack() {
    local i
    for i in "${!_session_pids[@]}"; do
        [[ "${_session_pids[i]%% *}" != "$1" ]] || unset '_session_pids[i]'
    done
    _session_pids=("${_session_pids[@]}")
    sed -i "/^$1 /d" "$SESSION_DIR/session.pids"
}

# _session_end PID STARTTIME...: asks each process in turn to end (SIGTERM) and waits for it, so
# that the program under test still has its display while it closes; kills what does not end in
# time. Pids that now name another process are left alone.
_session_end() {
    local pid start
    while (($# >= 2)); do
        pid=$1 start=$2
        shift 2
        [[ "$(_session_start_time "$pid")" == "$start" ]] || continue
        kill -TERM "$pid" 2>/dev/null || continue
        wait_exit "$pid" "$_SESSION_TIMEOUT" && continue
        kill -KILL "$pid" 2>/dev/null || true
        wait_exit "$pid" 5 || true
    done
    return 0
}

# Launches COMMAND... in the background with its output in DIR/NAME.log and tracks it; its pid
# is left in _session_pid.
_session_spawn() {
    local name=$1
    shift
    "$@" </dev/null >"$SESSION_DIR/$name.log" 2>&1 &
    _session_pid=$!
    session_track "$_session_pid"
}

# The last lines of a log, for an error message.
_session_log_tail() {
    [[ -s "$SESSION_DIR/$1.log" ]] || return 0
    echo "; last lines of $1.log:"
    tail -n 5 "$SESSION_DIR/$1.log"
}

# _session_spawn_wait NAME WHAT NOT_READY READY COMMAND...: launches COMMAND as _session_spawn
# does and polls READY PID until it succeeds; READY must succeed too once PID has ended, so that
# an exit is seen at once. Fails, with SESSION_ERROR saying "WHAT NOT_READY within ..." or "WHAT
# exited at start", when COMMAND does not come up in time or ends on the way. The pid is left in
# _session_pid either way.
_session_spawn_wait() {
    local name=$1 what=$2 not_ready=$3 ready=$4
    shift 4
    _session_spawn "$name" "$@"
    poll_until "$_SESSION_TIMEOUT" "$ready" "$_session_pid" || {
        SESSION_ERROR="$what $not_ready within $_SESSION_TIMEOUT s"
        return 1
    }
    pid_alive "$_session_pid" || {
        SESSION_ERROR="$what exited at start$(_session_log_tail "$name")"
        return 1
    }
}

_session_need() {
    local tool
    for tool; do
        command -v "$tool" >/dev/null || {
            SESSION_ERROR="'$tool' is not installed"
            return 1
        }
    done
}

# ---------------------------------------------------------------------------------------------
# Start and stop

session_start() {
    local tray= system_bus=
    _session_wm=1
    _session_keep=
    while (($# > 1)); do
        case $1 in
            --no-wm) _session_wm= ;;
            --tray) tray=1 ;;
            --system-bus) system_bus=1 ;;
            --keep) _session_keep=1 ;;
            *)
                SESSION_ERROR="session_start: no option '$1'"
                return 1
                ;;
        esac
        shift
    done
    [[ $# == 1 && -d "$1" ]] || {
        SESSION_ERROR="session_start: the last argument must be an existing folder"
        return 1
    }
    [[ -z "$SESSION_DIR" ]] || {
        SESSION_ERROR="session_start: a session is already running in $SESSION_DIR"
        return 1
    }
    [[ -z "$tray" || -n "$_session_wm" ]] || {
        SESSION_ERROR="session_start: a tray needs the window manager"
        return 1
    }
    SESSION_DIR=$(realpath "$1")
    : >"$SESSION_DIR/session.pids"
    _session_start_guard || return 1

    _session_start_environment || return 1
    _session_start_x || return 1
    _session_start_session_bus || return 1
    if [[ -n "$system_bus" ]]; then
        session_start_system_bus || return 1
    fi
    if [[ -n "$_session_wm" ]]; then
        _session_start_wm || return 1
    fi
    if [[ -n "$tray" ]]; then
        session_start_tray bottom || return 1
    fi
    return 0
}

# Ends everything the session started or was given, last started first, then removes its folder
# unless it is to be kept. Does nothing when no session runs; keeps the caller's $?.
session_stop() {
    local rc=$? ends=() entry i
    [[ -n "$SESSION_DIR" ]] || return "$rc"
    # Runs from traps of callers under set -e: a process that ends by itself meanwhile must not
    # cut the clean-up short.
    local -
    set +e
    for ((i = ${#_session_pids[@]} - 1; i >= 0; i--)); do
        read -r -a entry <<<"${_session_pids[i]}"
        ends+=("${entry[@]}")
    done
    _session_end "${ends[@]}"
    # The guard last: were this shell killed while the rest was ending, the guard would finish.
    if [[ -n "$_session_guard_entry" ]]; then
        read -r -a entry <<<"$_session_guard_entry"
        _session_end "${entry[@]}"
    fi
    [[ -n "$_session_keep" ]] || rm -rf "$SESSION_DIR"
    SESSION_DIR='' SESSION_TRAY_PID='' SESSION_X_PID='' SESSION_SYSTEM_BUS_PID='' _session_guard_entry=''
    _session_pids=()
    _session_mocks=()
    return "$rc"
}

# The guard: a process in a session of its own, so that a kill of the caller's process group
# spares it, which waits for the caller to end and then does session_stop's work from the pids
# file. session_stop ends it, so it only ever acts for a caller that could not clean up.
_session_start_guard() {
    # The shell that runs the session, even when that is a subshell of the script.
    local pid caller=$BASHPID
    pid=$(
        setsid bash -c 'source "$1" && _session_guard "${@:2}"' kestrava-session-guard \
            "$_SESSION_SCRIPT" "$caller" "$SESSION_DIR" "$_session_keep" </dev/null >/dev/null 2>&1 &
        echo $!
    )
    _session_guard_entry="$pid $(_session_start_time "$pid" || echo gone)"
}

# _session_guard OWNER DIR KEEP
_session_guard() {
    local owner=$1 ends=() pid start
    SESSION_DIR=$2 _session_keep=$3
    trap 'exit 0' TERM
    while kill -0 "$owner" 2>/dev/null; do
        sleep 1 &
        wait $!
    done
    [[ -f "$SESSION_DIR/session.pids" ]] || exit 0
    while read -r pid start; do ends=("$pid" "$start" "${ends[@]}"); done <"$SESSION_DIR/session.pids"
    _session_end "${ends[@]}"
    [[ -n "$_session_keep" ]] || rm -rf "$SESSION_DIR"
}

_session_start_environment() {
    export XDG_RUNTIME_DIR="$SESSION_DIR/runtime"
    mkdir -m 0700 "$XDG_RUNTIME_DIR" || {
        SESSION_ERROR="could not create $XDG_RUNTIME_DIR"
        return 1
    }
    export QT_QPA_PLATFORM=xcb
    # Whatever names the caller's own desktop session must not leak into this one.
    unset WAYLAND_DISPLAY XAUTHORITY SESSION_MANAGER DESKTOP_AUTOSTART_ID XDG_SESSION_TYPE \
        XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP DESKTOP_SESSION DBUS_SYSTEM_BUS_ADDRESS XDG_SESSION_ID
}

# ---------------------------------------------------------------------------------------------
# The X server

# Xvfb writes the display number, in one write, once it accepts connections.
_session_x_ready() { grep -q '^[0-9]' "$SESSION_DIR/xvfb.display" 2>/dev/null || ! pid_alive "$1"; }

_session_start_x() {
    _session_need Xvfb || return 1
    : >"$SESSION_DIR/xvfb.display"
    # -noreset: with no window manager the last client often disconnects between two starts of
    # the program, and a server reset there would only cost time.
    local rc=0
    _session_spawn_wait xvfb Xvfb "reported no display" _session_x_ready Xvfb -displayfd 3 \
        -screen 0 "${SESSION_SCREEN_WIDTH}x${SESSION_SCREEN_HEIGHT}x24" -nolisten tcp -noreset \
        3>"$SESSION_DIR/xvfb.display" || rc=1
    SESSION_X_PID=$_session_pid
    ((rc == 0)) || return 1
    DISPLAY=":$(tr -d '[:space:]' <"$SESSION_DIR/xvfb.display")"
    export DISPLAY
    [[ "$DISPLAY" =~ ^:[0-9]+$ ]] || {
        SESSION_ERROR="Xvfb reported an odd display '$DISPLAY'"
        return 1
    }
}

# ---------------------------------------------------------------------------------------------
# The session bus: one like a desktop's, at the usual place in the runtime folder, with its own
# (empty) folder of activatable services, so nothing from the machine is started behind the
# session's back and outlives it.

# dbus-daemon prints its address, as one line, once it listens.
_session_bus_ready() { grep -q . "$SESSION_DIR/$_session_bus_kind-bus.address" 2>/dev/null || ! pid_alive "$1"; }

# _session_spawn_bus KIND SOCKET RULES: starts a dbus-daemon of type KIND ("session" or "system")
# listening on SOCKET, with RULES (configuration lines) in its configuration, and waits until it
# prints its address, which it leaves in _session_bus_address.
_session_spawn_bus() {
    local kind=$1 socket=$2 rules=$3
    _session_need dbus-daemon || return 1
    # The kernel's limit for a socket's path (sun_path, 108 bytes with its NUL).
    ((${#socket} < 108)) || {
        SESSION_ERROR="the $kind bus socket path $socket is too long; use a shorter folder"
        return 1
    }
    cat >"$SESSION_DIR/$kind-bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>$kind</type>
  <listen>unix:path=$socket</listen>
  <auth>EXTERNAL</auth>
$rules
</busconfig>
EOF
    : >"$SESSION_DIR/$kind-bus.address"
    _session_bus_kind=$kind
    _session_spawn_wait "$kind-bus" "the $kind bus" "printed no address" _session_bus_ready \
        dbus-daemon --config-file="$SESSION_DIR/$kind-bus.conf" --nofork --nopidfile --print-address=3 \
        3>"$SESSION_DIR/$kind-bus.address" || return 1
    _session_bus_address=$(head -n 1 "$SESSION_DIR/$kind-bus.address")
}

_session_start_session_bus() {
    SESSION_DBUS_SERVICES="$SESSION_DIR/dbus-services"
    mkdir -p "$SESSION_DBUS_SERVICES"
    _session_spawn_bus session "$XDG_RUNTIME_DIR/bus" "  <servicedir>$SESSION_DBUS_SERVICES</servicedir>
  <policy context=\"default\">
    <allow send_destination=\"*\" eavesdrop=\"true\"/>
    <allow eavesdrop=\"true\"/>
    <allow own=\"*\"/>
  </policy>" || return 1
    DBUS_SESSION_BUS_ADDRESS=$_session_bus_address
    export DBUS_SESSION_BUS_ADDRESS
}

# ---------------------------------------------------------------------------------------------
# The system bus: a private one with the machine's kind of rules (type "system", no activatable
# services at all), so that what the program asks of system services reaches only stand-ins, and
# those stand-ins: python3-dbusmock's templates.

session_start_system_bus() {
    [[ -n "$SESSION_DIR" ]] || {
        SESSION_ERROR="session_start_system_bus: no session is running"
        return 1
    }
    [[ -z "$SESSION_SYSTEM_BUS_PID" ]] || {
        SESSION_ERROR="session_start_system_bus: a system bus is already running"
        return 1
    }
    # On a bus of the system's type a client receives only what it is allowed to, replies too.
    local rc=0
    _session_pid=
    _session_spawn_bus system "$SESSION_DIR/system_bus_socket" "  <policy context=\"default\">
    <allow send_destination=\"*\"/>
    <allow receive_sender=\"*\"/>
    <allow own=\"*\"/>
  </policy>" || rc=1
    SESSION_SYSTEM_BUS_PID=$_session_pid
    ((rc == 0)) || return 1
    DBUS_SYSTEM_BUS_ADDRESS=$_session_bus_address
    export DBUS_SYSTEM_BUS_ADDRESS
}

# True when NAME has an owner on the system bus.
session_name_owned() {
    dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

# A stand-in takes its name before it loads its template, but serves no call until it has: once
# the name is owned, every call is answered by the whole template.
_session_mock_ready() { ! pid_alive "$1" || session_name_owned "$_session_mock_name"; }

# session_start_mock TEMPLATE [PARAMETERS]: starts python3-dbusmock's TEMPLATE on the private
# system bus, given PARAMETERS (a JSON object) when there are any, and waits until it owns its
# bus name. Its pid is left in SESSION_MOCK_PID, its bus name in SESSION_MOCK_NAME.
SESSION_MOCK_PID=
SESSION_MOCK_NAME=
session_start_mock() {
    local template=$1 parameters=${2:-}
    [[ -n "$SESSION_SYSTEM_BUS_PID" ]] || {
        SESSION_ERROR="session_start_mock: no private system bus is running"
        return 1
    }
    [[ -z "${_session_mocks[$template]:-}" ]] || {
        SESSION_ERROR="session_start_mock: $template is already running"
        return 1
    }
    _session_need /usr/bin/python3 dbus-send || return 1
    # The template module names its bus name.
    _session_mock_name=$(/usr/bin/python3 -c \
        'import sys, dbusmock.mockobject as m; print(m.load_module(sys.argv[1]).BUS_NAME)' "$template" \
        2>"$SESSION_DIR/mock-$template.log") || {
        SESSION_ERROR="session_start_mock: no dbusmock template '$template'$(_session_log_tail "mock-$template")"
        return 1
    }
    local command=(/usr/bin/python3 -m dbusmock --system --template "$template")
    [[ -z "$parameters" ]] || command+=(--parameters "$parameters")
    _session_spawn_wait "mock-$template" "the $template stand-in" "did not take the name $_session_mock_name" \
        _session_mock_ready "${command[@]}" || return 1
    SESSION_MOCK_PID=$_session_pid
    SESSION_MOCK_NAME=$_session_mock_name
    _session_mocks[$template]="$_session_pid $_session_mock_name"
}

_session_name_free() { ! session_name_owned "$1"; }

# session_stop_mock TEMPLATE: ends the stand-in and waits until its name is free again.
session_stop_mock() {
    local template=$1 pid name entry
    [[ -n "${_session_mocks[$template]:-}" ]] || {
        SESSION_ERROR="session_stop_mock: $template is not running"
        return 1
    }
    read -r pid name <<<"${_session_mocks[$template]}"
    for entry in "${_session_pids[@]}"; do
        [[ "${entry%% *}" != "$pid" ]] || _session_end "$pid" "${entry#* }"
    done
    _session_untrack "$pid"
    unset '_session_mocks[$template]'
    poll_until "$_SESSION_TIMEOUT" _session_name_free "$name" || {
        SESSION_ERROR="$name is still owned $_SESSION_TIMEOUT s after its stand-in ended"
        return 1
    }
}

# ---------------------------------------------------------------------------------------------
# The window manager

_session_wm_ready() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' || ! pid_alive "$1"
}

_session_start_wm() {
    _session_need openbox xprop || return 1
    _session_spawn_wait openbox openbox "did not set _NET_SUPPORTING_WM_CHECK" _session_wm_ready \
        openbox --sm-disable
}

# ---------------------------------------------------------------------------------------------
# The tray host: a tint2 panel, 40 pixels along one edge of the screen, that reserves its strut
# and holds a system tray.

# Prints "X Y W H" of the first desktop's work area (_NET_WORKAREA), as the window manager keeps
# it: the screen less the panels' struts.
session_workarea() {
    xprop -root _NET_WORKAREA 2>/dev/null | sed -n 's/.*= *//p' | tr -d ',' | awk '{ print $1, $2, $3, $4 }'
}

# True when the tray selection of screen 0 has an owner: then a tray icon has somewhere to go.
# Nothing among the X tools asks for a selection's owner, so this asks Xlib directly.
_session_tray_owned() {
    /usr/bin/python3 - <<'EOF'
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XGetSelectionOwner.restype = ctypes.c_ulong
x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
display = x.XOpenDisplay(None)
sys.exit(0 if display and x.XGetSelectionOwner(display, x.XInternAtom(display, b"_NET_SYSTEM_TRAY_S0", 0)) else 1)
EOF
}

_session_tray_ready() {
    local w h
    pid_alive "$1" || return 0
    read -r _ _ w h < <(session_workarea) || return 1
    [[ -n "$h" ]] && ((w < SESSION_SCREEN_WIDTH || h < SESSION_SCREEN_HEIGHT)) && _session_tray_owned
}

# session_start_tray [bottom|top|left]: starts the panel along that edge (the bottom by default)
# and waits until it has reserved its strut and owns the tray; its pid is left in
# SESSION_TRAY_PID.
session_start_tray() {
    local position
    case ${1:-bottom} in
        bottom) position="bottom center horizontal" ;;
        top) position="top center horizontal" ;;
        left) position="center left vertical" ;;
        *)
            SESSION_ERROR="session_start_tray: no panel position '$1'"
            return 1
            ;;
    esac
    [[ -z "$SESSION_TRAY_PID" ]] || {
        SESSION_ERROR="session_start_tray: a panel is already running"
        return 1
    }
    _session_need tint2 /usr/bin/python3 || return 1
    # A plain grey panel, so that it shows on a screenshot.
    cat >"$SESSION_DIR/tint2rc" <<EOF
rounded = 0
border_width = 0
background_color = #3c3f44 100
border_color = #3c3f44 100
panel_background_id = 1
panel_items = TS
panel_size = 100% 40
panel_margin = 0 0
panel_padding = 2 0 2
panel_position = $position
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
    local rc=0
    _session_spawn_wait tint2 "the panel" "did not reserve its strut and take the tray" _session_tray_ready \
        tint2 -c "$SESSION_DIR/tint2rc" || rc=1
    SESSION_TRAY_PID=$_session_pid
    ((rc == 0)) || {
        SESSION_ERROR+=" (_NET_WORKAREA: $(session_workarea))"
        return 1
    }
}

_session_whole_screen_free() { [[ "$(session_workarea)" == "0 0 $SESSION_SCREEN_WIDTH $SESSION_SCREEN_HEIGHT" ]]; }

# Ends the panel and waits until the work area is the whole screen again.
session_stop_tray() {
    [[ -n "$SESSION_TRAY_PID" ]] || {
        SESSION_ERROR="session_stop_tray: no panel is running"
        return 1
    }
    local pid=$SESSION_TRAY_PID entry
    for entry in "${_session_pids[@]}"; do
        [[ "${entry%% *}" != "$pid" ]] || _session_end "$pid" "${entry#* }"
    done
    _session_untrack "$pid"
    SESSION_TRAY_PID=
    poll_until "$_SESSION_TIMEOUT" _session_whole_screen_free || {
        SESSION_ERROR="the work area is $(session_workarea) $_SESSION_TIMEOUT s after the panel ended"
        return 1
    }
}
