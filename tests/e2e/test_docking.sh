#!/usr/bin/env bash
# With the automatic mode and docking on, the main window sits at its dock position in the work
# area (what a panel leaves of the screen), and moves along when the work area changes.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

export KESTRAVA_HOME_URL=http://127.0.0.1:1/
create_default_config
cfg="$KV_APPDIR/$KV_CONFIG"
write_u8 "$cfg" "$KV_OFF_AUTO_MODE" 1
write_u8 "$cfg" "$KV_OFF_DOCK_WINDOW" 1
write_u8 "$cfg" "$KV_OFF_AUTO_ALPHA" 0
width=$(read_i32 "$cfg" "$KV_OFF_WIDTH")
height=$(read_i32 "$cfg" "$KV_OFF_HEIGHT")
cp "$cfg" "$KV_TMP/docked.dat"

# expected_rect POSITION: "LEFT TOP WIDTH HEIGHT" for the current work area. Centring is the
# middle between the work area's edges, whatever panel takes the top or left of the screen.
expected_rect() {
    local wl wt ww wh wr wb
    read -r wl wt ww wh < <(workarea)
    wr=$(( wl + ww )) wb=$(( wt + wh ))
    case $1 in
        0) echo "$wl $wt $width $height" ;;
        4) echo "$(( wl + ww / 2 - width / 2 )) $(( wt + wh / 2 - height / 2 )) $width $height" ;;
        8) echo "$(( wr - width )) $(( wb - height )) $width $height" ;;
        9) echo "$wl $wt $width $(( wb - wt ))" ;;
        10) echo "$(( wr - width )) $wt $width $(( wb - wt ))" ;;
        *) fail "expected_rect: no case for dock position $1" ;;
    esac
}

expect_docked() {
    local want
    want=$(expected_rect "$1")
    at_dock() { [[ "$(client_rect "$APP_WIN")" == "$want" ]]; }
    poll_until 10 at_dock ||
        fail "$2: the window is at $(client_rect "$APP_WIN"), expected $want (work area $(workarea))"
}

# panel  dock position
cases=(
    "bottom 8"
    "bottom 4"
    "bottom 9"
    "top    0"
    "top    4"
    "top    9"
    "left   9"
    "left   10"
)

panel=
for c in "${cases[@]}"; do
    read -r where position <<<"$c"
    if [[ "$where" != "$panel" ]]; then
        [[ -z "$panel" ]] || stop_panel
        start_panel "$where"
        panel=$where
    fi
    cp "$KV_TMP/docked.dat" "$cfg"
    write_i32 "$cfg" "$KV_OFF_DOCK_POSITION" "$position"
    start_app_and_wait
    expect_docked "$position" "panel at the $where, dock position $position"
    stop_app TERM
done
stop_panel

# Following the work area: the panel goes and comes back while the window is docked.
cp "$KV_TMP/docked.dat" "$cfg"
write_i32 "$cfg" "$KV_OFF_DOCK_POSITION" 8
start_panel bottom
start_app_and_wait
expect_docked 8 "at the start"
stop_panel
expect_docked 8 "after the panel ended"
start_panel bottom
expect_docked 8 "after the panel came back"
stop_app TERM

# Dragging by an empty spot of the window: a docked window stays put, a free one follows.
for dock in 1 0; do
    cp "$KV_TMP/docked.dat" "$cfg"
    write_i32 "$cfg" "$KV_OFF_DOCK_POSITION" 8
    write_u8 "$cfg" "$KV_OFF_DOCK_WINDOW" "$dock"
    start_app_and_wait
    [[ $dock == 0 ]] || expect_docked 8 "before the drag"
    read -r x y w h < <(client_rect "$APP_WIN")
    press_and_drag "$APP_WIN" 6 150 -100 -75
    if [[ $dock == 1 ]]; then
        # Watched for a second with the button still down: the dock would pull a window that
        # moved straight back, so only a look during the drag can tell.
        for i in {1..10}; do
            [[ "$(client_rect "$APP_WIN")" == "$x $y $w $h" ]] ||
                fail "dragging moved the docked window from $x,$y to $(client_rect "$APP_WIN")"
            sleep 0.1
        done
        release_drag
    else
        release_drag
        moved() { [[ "$(client_rect "$APP_WIN")" == "$(( x - 100 )) $(( y - 75 )) $w $h" ]]; }
        poll_until 5 moved || fail "dragging did not move the free window from $x,$y by -100,-75; it is at $(client_rect "$APP_WIN")"
    fi
    stop_app TERM
done

pass
