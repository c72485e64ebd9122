#!/usr/bin/env bash
# With "Show icons" on (Kestrava.ini: [Preferences] LinkIcons=1) every link label has a 16 x 16
# icon before its text, whatever kind of link it is: a program named by a desktop entry, a
# program found by its name, a web page, a folder, a file and a game. The icons come after the
# first frame; with the preference off the same window shows none.
#
# With KV_SCREENSHOT_OUT naming a file, the window with its icons is saved there as a PNG.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

export KESTRAVA_HOME_URL=http://127.0.0.1:1/
command -v import >/dev/null && command -v convert >/dev/null || skip "ImageMagick is not installed"
[[ -f /usr/share/icons/Tango/index.theme ]] || fail "the Tango icon theme is not installed"

# What the links name: all of it exists, so that the window looks as in daily use.
mkdir -p "$KV_TMP/Projects" "$KV_TMP/bin" "$KV_TMP/games" "$KV_TMP/applications"
printf 'shopping list\n' >"$KV_TMP/Projects/notes.txt"
printf '#!/bin/sh\n' >"$KV_TMP/bin/gnome-calculator"
printf '#!/bin/sh\n' >"$KV_TMP/games/starfield"
chmod +x "$KV_TMP/bin/gnome-calculator" "$KV_TMP/games/starfield"
entry="$KV_TMP/applications/text-editor.desktop"
cat >"$entry" <<EOF
[Desktop Entry]
Type=Application
Name=Text Editor
Exec=$KV_TMP/bin/gnome-calculator %F
Icon=accessories-text-editor
EOF

create_default_config
cfg="$KV_APPDIR/$KV_CONFIG"
write_u8 "$cfg" "$KV_OFF_AUTO_MODE" 0
write_u8 "$cfg" "$KV_OFF_DOCK_WINDOW" 0
write_u8 "$cfg" "$KV_OFF_ALWAYS_ON_TOP" 0
write_i32 "$cfg" "$KV_OFF_LEFT" 300
write_i32 "$cfg" "$KV_OFF_TOP" 100
write_i32 "$cfg" "$KV_OFF_WIDTH" 260
write_i32 "$cfg" "$KV_OFF_HEIGHT" 330

# Category 0 holds links of several types, open; category 1 stays shut.
cat0=$KV_OFF_CATEGORIES
write_text "$cfg" $(( cat0 + 103000 )) 50 "Everyday"
write_i32 "$cfg" $(( cat0 + 103300 )) 5 # several types
for i in 0 1 2; do write_i32 "$cfg" $(( cat0 + 103316 + 4 * i )) "$(( i == 0 ? 255 : i == 1 ? 156 : 0 ))"; done
write_u8 "$cfg" $(( cat0 + KV_CATEGORY_OFF_EXPANDED )) 1
write_u8 "$cfg" $(( cat0 + KV_CATEGORY_SIZE + KV_CATEGORY_OFF_EXPANDED )) 0
KV_LINK_TYPE_GAME=4
links=(
    "$KV_LINK_TYPE_APPLICATION|Text Editor|$entry"
    "$KV_LINK_TYPE_APPLICATION|Calculator|$KV_TMP/bin/gnome-calculator"
    "$KV_LINK_TYPE_WEBSITE|Example Web Site|https://example.org/"
    "$KV_LINK_TYPE_FOLDER|Projects|$KV_TMP/Projects"
    "$KV_LINK_TYPE_FILE|Shopping list|$KV_TMP/Projects/notes.txt"
    "$KV_LINK_TYPE_GAME|Starfield|$KV_TMP/games/starfield"
)
for i in "${!links[@]}"; do
    IFS='|' read -r type name target <<<"${links[i]}"
    set_link "$cfg" 0 "$i" "$type" "$name" "$target"
done

# The window's client area as raw RGB, and the label rows and icons found in it.
shoot() { # shoot NAME: $KV_TMP/NAME.rgb and NAME.png
    local x y w h
    read -r x y w h < <(client_rect "$APP_WIN")
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$KV_TMP/$1.png"
    convert "$KV_TMP/$1.png" -depth 8 "rgb:$KV_TMP/$1.rgb"
    SHOT_W=$w SHOT_H=$h
}

# Prints one line per label row (text in the links' orange, found in the 50 pixels right of
# where an icon would be): "top bottom icon_pixels text_left", where icon_pixels counts the pixels of the 16-pixel
# column where icons go that are not the panel's background, and text_left is the first orange
# column of the row. Labels start 20 pixels into the window (the area's 10 and the label's 10).
rows() {
    /usr/bin/python3 - "$KV_TMP/$1.rgb" "$SHOT_W" "$SHOT_H" <<'EOF'
import sys
data, w, h = open(sys.argv[1], "rb").read(), int(sys.argv[2]), int(sys.argv[3])
px = lambda x, y: data[3 * (y * w + x):3 * (y * w + x) + 3]
orange = lambda p: p[0] > 200 and 110 < p[1] < 200 and p[2] < 80
rows, top = [], None
for y in range(h):
    hit = any(orange(px(x, y)) for x in range(40, 90))  # clear of the buttons at the right
    if hit and top is None:
        top = y
    if not hit and top is not None:
        rows.append((top, y - 1))
        top = None
# A line of antialiased tops apart from the rest of its text is part of it.
merged = []
for top, bottom in rows:
    if merged and top - merged[-1][1] <= 3:
        merged[-1] = (merged[-1][0], bottom)
    else:
        merged.append((top, bottom))
for top, bottom in merged:
    mid = (top + bottom) // 2
    band = range(max(0, mid - 8), min(h, mid + 8))
    background = px(w - 25, mid)  # right of every label, inside the panel
    marked = sum(1 for y in band for x in range(20, 36)
                 if sum(abs(a - b) for a, b in zip(px(x, y), background)) > 60)
    left = min((x for y in range(top, bottom + 1) for x in range(20, w - 20) if orange(px(x, y))), default=-1)
    print(top, bottom, marked, left)
EOF
}

# Icons on: six rows, each with an icon.
printf '; my own notes\r\n[Debug]\r\nDebugMode=0\r\n[Preferences]\r\nLinkIcons=1\r\n' >"$KV_APPDIR/Kestrava.ini"
ini_before=$(od -An -c "$KV_APPDIR/Kestrava.ini")
xdotool mousemove 5 5
start_app_and_wait
all_icons() {
    shoot on
    local n=0 bad=0 top bottom marked left
    while read -r top bottom marked left; do
        n=$((n + 1))
        (( marked >= 40 )) || bad=$((bad + 1))
    done < <(rows on)
    (( n == ${#links[@]} && bad == 0 ))
}
poll_until 10 all_icons ||
    fail "expected ${#links[@]} link rows each with an icon, found (top bottom icon-pixels text-left): $(rows on | tr '\n' ';')"
[[ -z "${KV_SCREENSHOT_OUT:-}" ]] || cp "$KV_TMP/on.png" "$KV_SCREENSHOT_OUT"
[[ "$(od -An -c "$KV_APPDIR/Kestrava.ini")" == "$ini_before" ]] || fail "Kestrava.ini changed without the settings form"
stop_app TERM

# Icons off: the same rows, no icons, the text further left.
printf '[Preferences]\nLinkIcons=0\n' >"$KV_APPDIR/Kestrava.ini"
start_app_and_wait
sleep 1 # well past the first frame, when icons would have come
shoot off
n=0
while read -r top bottom marked left; do
    n=$((n + 1))
    # The text itself starts where the icon would be.
    (( left >= 20 && left <= 24 )) || fail "the text of row $n starts at x $left with icons off, expected 20 to 24"
done < <(rows off)
(( n == ${#links[@]} )) || fail "expected ${#links[@]} link rows with icons off, found $n"
stop_app TERM
pass
