#!/usr/bin/env bash
# With Auto Mode, Auto-Alpha and Mouse-Over Section Resize, the pointer moved by xdotool fades the
# window in and out and opens the category it is over (a click on the link that the opening shows
# launches it), and closes it again once it has left. Once everything has settled the program is
# idle: it wakes about once a second, for the clock.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

export KESTRAVA_HOME_URL=http://127.0.0.1:1/
use_private_applications
add_handler web x-scheme-handler/https x-scheme-handler/http

create_default_config
cfg="$KV_APPDIR/$KV_CONFIG"
write_u8 "$cfg" "$KV_OFF_AUTO_MODE" 1
write_u8 "$cfg" "$KV_OFF_AUTO_ALPHA" 1
write_u8 "$cfg" "$KV_OFF_MOUSE_OVER_RESIZE" 1
write_u8 "$cfg" "$KV_OFF_DOCK_WINDOW" 0
write_u8 "$cfg" "$KV_OFF_ALWAYS_ON_TOP" 0
write_i32 "$cfg" "$KV_OFF_LEFT" 300
write_i32 "$cfg" "$KV_OFF_TOP" 200
set_link "$cfg" 0 0 "$KV_LINK_TYPE_WEBSITE" "A page to open" https://example.invalid/hovered
expanded=$((KV_OFF_CATEGORIES + KV_CATEGORY_OFF_EXPANDED))
write_u8 "$cfg" "$expanded" 0

opacity() { xprop -id "$APP_WIN" -notype _NET_WM_WINDOW_OPACITY | sed -n 's/^_NET_WM_WINDOW_OPACITY = //p'; }
faded_out() { [[ "$(opacity)" == 1010580540 ]]; } # 60/255 of 0xffffffff
opaque() { [[ "$(opacity)" == "" || "$(opacity)" == 4294967295 ]]; }

xdotool mousemove 5 5
start_app_and_wait
read -r wx wy _ _ < <(client_rect "$APP_WIN")
poll_until 10 faded_out || fail "with the pointer away the window did not fade out (opacity $(opacity))"

# Onto the header of the first category: the window fades in and the category opens.
pointer_to $((wx + 30)) $((wy + 42))
poll_until 10 opaque || fail "with the pointer over the window it did not fade in (opacity $(opacity))"
read -r lx ly < <(link_label_point 0 0 1 1)
pointer_to $((wx + lx)) $((wy + ly - 3)) # down the open panel to its link
sleep 1 # the next ticks open the panel under the pointer
xdotool click 1
wait_for_call web 10 || fail "the first category did not open under the pointer: its link was not there to click"
[[ "$(call_lines web)" == https://example.invalid/hovered ]] || fail "the click opened $(call_lines web)"

# Away again: it fades out and the category shuts.
xdotool mousemove 5 5
poll_until 10 faded_out || fail "after the pointer left the window did not fade out (opacity $(opacity))"

# Settled: about one wake-up a second for the clock, not the hundred of a running tick.
sleep 1
before=$(wakeups)
sleep 3
after=$(wakeups)
(( after - before <= 12 )) || fail "not at rest: $((after - before)) wake-ups in 3 s"

stop_app TERM
[[ "$(od -An -t u1 -j "$expanded" -N 1 "$cfg" | tr -d ' ')" == 0 ]] ||
    fail "the category stayed open after the pointer left"
pass
