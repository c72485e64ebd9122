#!/usr/bin/env bash
# Two monitors on a real X server: the docked window sits on the monitor it is on, docks on the
# other one when it is moved there, and comes back to the primary when that monitor goes.
#
# Xvfb cannot show Qt several monitors (Debian 12's Xvfb takes `xrandr --setmonitor` without an
# error and still lists one monitor, and Xinerama screens reach Qt as one screen), so this test
# runs its own Xorg with the dummy video driver. The dummy driver has one output; the desktop is made 3200 x 1080 and split into two
# RandR 1.5 monitors, which Qt takes as two screens:
#   LEFT   1280 x 1024 at 0,0 (the primary, on the output)
#   RIGHT  1920 x 1080 at 1280,0
# Xorg needs root here (or a console session); the Xvfb session of harness.sh is left idle.
KV_NO_WM=1 source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

for tool in Xorg xrandr; do
    command -v "$tool" >/dev/null || skip "'$tool' is not installed"
done
[[ -e /usr/lib/xorg/modules/drivers/dummy_drv.so ]] || skip "the dummy video driver is not installed"
[[ $(id -u) == 0 ]] || skip "Xorg with the dummy driver needs root here"

# ---------------------------------------------------------------------------------------------
# The X server

mkdir -p "$KV_TMP/xorg.d"
cat >"$KV_TMP/xorg.conf" <<'EOF'
Section "ServerFlags"
    Option "AutoAddDevices" "false"
    Option "AutoAddGPU" "false"
    Option "DontVTSwitch" "true"
EndSection
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 256000
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0 - 1000.0
    VertRefresh 5.0 - 200.0
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Virtual 3200 1080
    EndSubSection
EndSection
EOF

: >"$KV_TMP/xorg.display"
_xorg_ready() { grep -q '^[0-9]' "$KV_TMP/xorg.display" 2>/dev/null || ! pid_alive "$1"; }
Xorg -displayfd 3 -config "$KV_TMP/xorg.conf" -configdir "$KV_TMP/xorg.d" \
    -logfile "$KV_TMP/xorg-server.txt" -noreset -nolisten tcp +extension RANDR \
    3>"$KV_TMP/xorg.display" </dev/null >"$KV_TMP/xorg.log" 2>&1 &
xorg_pid=$!
session_track "$xorg_pid"
poll_until 20 _xorg_ready "$xorg_pid" || fail "Xorg reported no display within 20 s"
pid_alive "$xorg_pid" || fail "Xorg exited at start: $(grep -m3 '(EE)' "$KV_TMP/xorg-server.txt" || true)"
DISPLAY=":$(tr -d '[:space:]' <"$KV_TMP/xorg.display")"
export DISPLAY

xrandr --output DUMMY0 --mode 1280x1024 --pos 0x0 --primary --fb 3200x1080 ||
    fail "the dummy output would not take 1280x1024 on a 3200x1080 desktop"
xrandr --setmonitor LEFT 1280/338x1024/270+0+0 DUMMY0 >/dev/null
xrandr --setmonitor RIGHT 1920/508x1080/286+1280+0 none >/dev/null
monitors=$(xrandr --listmonitors)
[[ "$(head -n 1 <<<"$monitors")" == "Monitors: 2" ]] || fail "xrandr made no two monitors: $monitors"

start_wm
# shellcheck disable=SC2154 # the pid the session's start of openbox leaves
wm_pid=$_session_pid

# ---------------------------------------------------------------------------------------------
# The program, docked at the top right

create_default_config
cfg="$KV_APPDIR/$KV_CONFIG"
write_u8 "$cfg" "$KV_OFF_AUTO_MODE" 1
write_u8 "$cfg" "$KV_OFF_DOCK_WINDOW" 1
write_u8 "$cfg" "$KV_OFF_AUTO_ALPHA" 0
write_i32 "$cfg" "$KV_OFF_DOCK_POSITION" 6 # top right
write_i32 "$cfg" "$KV_OFF_LEFT" 100
write_i32 "$cfg" "$KV_OFF_TOP" 100
width=$(read_i32 "$cfg" "$KV_OFF_WIDTH")
height=$(read_i32 "$cfg" "$KV_OFF_HEIGHT")

# expect_at X Y WHAT: the client area reaches X,Y (with the window's own size) within 10 s.
expect_at() {
    local want="$1 $2 $width $height"
    _at() { [[ "$(client_rect "$APP_WIN")" == "$want" ]]; }
    poll_until 10 _at || fail "$3: the window is at $(client_rect "$APP_WIN"), expected $want ($(xrandr --listmonitors | tr '\n' ' '))"
}

start_app_and_wait
# Were the two monitors one screen to Qt, the top right would be at 3200 - width.
expect_at $(( 1280 - width )) 0 "at the start, on the primary"

# Moved onto the right monitor (as a keyboard move of the window manager would), it docks at
# that monitor's top right.
xdotool windowmove "$APP_WIN" 1700 300
expect_at $(( 3200 - width )) 0 "moved onto the right monitor"

# The right monitor goes: the window docks on the primary again.
xrandr --delmonitor RIGHT
expect_at $(( 1280 - width )) 0 "after the right monitor went"

# It comes back; the window stays where it is, on the monitor it is on.
xrandr --setmonitor RIGHT 1920/508x1080/286+1280+0 none >/dev/null
sleep 0.5
expect_at $(( 1280 - width )) 0 "after the right monitor came back"

# Again without the window manager, which moves windows off a monitor that goes by itself: here
# only the program moves its window. It has come to rest first (its animation stops a moment
# after the last move), so only the change of monitors can wake it.
kill -TERM "$wm_pid"
wait_exit "$wm_pid" 10 || fail "openbox did not end"
xdotool windowmove "$APP_WIN" 1700 300
expect_at $(( 3200 - width )) 0 "moved onto the right monitor, no window manager"
sleep 3
xrandr --delmonitor RIGHT
expect_at $(( 1280 - width )) 0 "after the right monitor went, no window manager"
stop_app TERM

# Started with its stored place on the right monitor, it docks there.
xrandr --setmonitor RIGHT 1920/508x1080/286+1280+0 none >/dev/null
start_wm
write_i32 "$cfg" "$KV_OFF_LEFT" 2000
write_i32 "$cfg" "$KV_OFF_TOP" 300
start_app_and_wait
expect_at $(( 3200 - width )) 0 "started on the right monitor"
stop_app TERM

pass
