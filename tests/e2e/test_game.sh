#!/usr/bin/env bash
# A click on the thin strip under the categories opens the game's section: its balls are drawn
# there and fly, frame after frame. Shut again, the section stops and the program goes back to
# sleep.
#
# With KV_E2E_SHOTS naming a folder, the window is photographed there with the balls in flight.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

export KESTRAVA_HOME_URL=http://127.0.0.1:1/
command -v import >/dev/null && command -v convert >/dev/null || skip "ImageMagick is not installed"
SHOTS=${KV_E2E_SHOTS:-}
[[ -z "$SHOTS" ]] || mkdir -p "$SHOTS"

create_default_config
cfg="$KV_APPDIR/$KV_CONFIG"
write_u8 "$cfg" "$KV_OFF_DOCK_WINDOW" 0
write_u8 "$cfg" "$KV_OFF_ALWAYS_ON_TOP" 0
write_i32 "$cfg" "$KV_OFF_LEFT" 300
write_i32 "$cfg" "$KV_OFF_TOP" 100
write_i32 "$cfg" "$KV_OFF_HEIGHT" 520

xdotool mousemove 5 5
start_app_and_wait
read -r wx wy ww wh < <(client_rect "$APP_WIN")

# The window from the bottom up: 60 pixels of margin, the button section (30 pixels open, as on a
# first start), a pixel, the game section's 6-pixel strip while it is shut, and a pixel.
strip_y=$((wh - 60 - 30 - 1 - 6 + 3))
# Open, the section is 150 pixels tall and its playing field sits 5 pixels in and 11 down.
field_x=$((wx + 10 + 5)) field_y=$((wy + wh - 60 - 30 - 1 - 150 + 11))
field_w=$((ww - 10 - 7 - 10)) field_h=134
field() { import -window root -crop "${field_w}x${field_h}+${field_x}+${field_y}" +repage "$1"; }
colours() { convert "$1" -unique-colors -format '%w' info:; }

field "$KV_TMP/shut.png"
click_in_window "$APP_WIN" $((ww / 2)) "$strip_y"
xdotool mousemove 5 5
sleep 0.5 # an eighth of a second to open, then the balls fly

field "$KV_TMP/a.png"
sleep 0.3
field "$KV_TMP/b.png"
[[ -z "$SHOTS" ]] || screenshot "$SHOTS/game.png"
(( $(colours "$KV_TMP/a.png") >= 4 )) ||
    fail "no balls in the open section: $(colours "$KV_TMP/a.png") colours in its field"
! cmp -s "$KV_TMP/a.png" "$KV_TMP/b.png" || fail "the balls did not move in 0.3 s"

# A second click on its strip, which is now the section's top, shuts it again.
click_in_window "$APP_WIN" $((ww / 2)) $((wh - 60 - 30 - 1 - 150 + 3))
xdotool mousemove 5 5
sleep 1
field "$KV_TMP/shut2.png"
field "$KV_TMP/shut3.png"
cmp -s "$KV_TMP/shut2.png" "$KV_TMP/shut3.png" || fail "the field kept changing after the section shut"
before=$(wakeups)
sleep 3
after=$(wakeups)
(( after - before <= 12 )) || fail "not at rest with the section shut: $((after - before)) wake-ups in 3 s"

stop_app TERM
[[ "$(od -An -t u1 -j 2067369 -N 1 "$cfg" | tr -d ' ')" == 0 ]] || fail "the section was saved open"
pass
