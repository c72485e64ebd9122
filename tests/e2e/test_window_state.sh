#!/usr/bin/env bash
# What the main window tells the window manager: it stays above other windows only when the
# automatic mode and "always on top" are both on; it never has a task bar or pager entry; its
# opacity is the stored alpha (fully opaque: no opacity property at all).
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

export KESTRAVA_HOME_URL=http://127.0.0.1:1/
create_default_config
cfg="$KV_APPDIR/$KV_CONFIG"
# No fading: the opacity stays the stored one.
write_u8 "$cfg" "$KV_OFF_AUTO_ALPHA" 0

# autoMode alwaysOnTop alpha  above  _NET_WM_WINDOW_OPACITY (alpha/255 of 0xffffffff)
cases=(
    "1 1 255 yes none"
    "0 1 128 no  2155905152"
    "1 0  60 no  1010580540"
)

has_state() { grep -qx "$1" <<<"$states"; }

for c in "${cases[@]}"; do
    read -r auto top alpha above opacity <<<"$c"
    what="autoMode $auto, alwaysOnTop $top, alpha $alpha"
    write_u8 "$cfg" "$KV_OFF_AUTO_MODE" "$auto"
    write_u8 "$cfg" "$KV_OFF_ALWAYS_ON_TOP" "$top"
    write_i32 "$cfg" "$KV_OFF_ALPHA" "$alpha"
    start_app_and_wait

    states_as_expected() {
        states=$(window_states "$APP_WIN")
        has_state _NET_WM_STATE_SKIP_TASKBAR && has_state _NET_WM_STATE_SKIP_PAGER || return 1
        if [[ $above == yes ]]; then has_state _NET_WM_STATE_ABOVE; else ! has_state _NET_WM_STATE_ABOVE; fi
    }
    poll_until 5 states_as_expected ||
        fail "$what: _NET_WM_STATE is [$(tr '\n' ' ' <<<"$states")], expected SKIP_TASKBAR, SKIP_PAGER and ABOVE: $above"

    got=$(xprop -id "$APP_WIN" -notype _NET_WM_WINDOW_OPACITY | sed -n 's/^_NET_WM_WINDOW_OPACITY = //p')
    [[ "${got:-none}" == "$opacity" ]] || fail "$what: _NET_WM_WINDOW_OPACITY is ${got:-absent}, expected $opacity"

    stop_app TERM
done

# Ticking the Auto Mode box on the shown window raises it into the topmost band and unticking
# takes it out again, without re-creating the window (the id stays).
write_u8 "$cfg" "$KV_OFF_AUTO_MODE" 0
write_u8 "$cfg" "$KV_OFF_ALWAYS_ON_TOP" 1
start_app_and_wait
first_win=$APP_WIN
for above in yes no; do
    click_in_window "$APP_WIN" 195 15 # the Auto Mode box beside the configuration button
    xdotool mousemove 0 0 # a move onto the same spot would wait for motion that never comes
    poll_until 5 states_as_expected || fail "after a click on the Auto Mode box: _NET_WM_STATE is [$(tr '\n' ' ' <<<"$states")], expected ABOVE: $above"
done
[[ "$(find_windows "^Kestrava$" | head -n 1)" == "$first_win" ]] || fail "the window was re-created"
stop_app TERM

pass
