#!/usr/bin/env bash
# The big clock shows at start where it was showing, takes the same place on the screen, and a
# click on the time label hides it; its visibility and place are saved.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

export KESTRAVA_HOME_URL=http://127.0.0.1:1/
create_default_config
cfg="$KV_APPDIR/$KV_CONFIG"
write_u8 "$cfg" "$KV_OFF_AUTO_MODE" 0
write_i32 "$cfg" "$KV_OFF_LEFT" 300
write_i32 "$cfg" "$KV_OFF_TOP" 200
write_u8 "$cfg" "$KV_OFF_CLOCK_VISIBLE" 1
write_i32 "$cfg" "$KV_OFF_CLOCK_LEFT" 700
write_i32 "$cfg" "$KV_OFF_CLOCK_TOP" 150

clock_state() {
    local w
    w=$(xdotool search --all --pid "$APP_PID" --name '^ClockForm$' 2>/dev/null | head -n 1) || return 0
    [[ -n "$w" ]] || return 0
    xwininfo -id "$w" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        /Map State/ { s = $NF } END { print s, x, y }'
}

start_app_and_wait
_kv_clock_is() { [[ "$(clock_state)" == "$1" ]]; }
poll_until 10 _kv_clock_is "IsViewable 700 150" ||
    fail "the clock did not show at 700,150 at start (state: $(clock_state))"

# The time label sits at the right end of the row of the "Add..." label.
read -r _ _ w h < <(client_rect "$APP_WIN")
click_in_window "$APP_WIN" $((w - 40)) $((h - 48))
poll_until 10 _kv_clock_is "IsUnMapped 700 150" || fail "a click on the time label did not hide the clock ($(clock_state))"

stop_app TERM
[[ "$(od -An -t u1 -j "$KV_OFF_CLOCK_VISIBLE" -N 1 "$cfg" | tr -d ' ')" == 0 ]] || fail "the hidden clock was saved as showing"
[[ "$(read_i32 "$cfg" "$KV_OFF_CLOCK_LEFT") $(read_i32 "$cfg" "$KV_OFF_CLOCK_TOP")" == "700 150" ]] ||
    fail "the clock's place was not kept"
pass
