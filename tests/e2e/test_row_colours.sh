#!/usr/bin/env bash
# The category editor's member rows read on any link colour: on a dark and on a light one, the
# text of the row's number, its captions and its edits stands out from what is behind it by a
# contrast ratio of at least 4.5, measured from the screen's pixels.
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

command -v import >/dev/null || fail "ImageMagick's 'import' is not installed"
export KESTRAVA_HOME_URL=http://127.0.0.1:1/
FORM_TITLE='^Kestrava Configuration$'
LINK_COLOUR=$((KV_OFF_CATEGORIES + 103316)) # the first category's link colour: R, G, B int32

create_default_config
cfg="$KV_APPDIR/$KV_CONFIG"
write_u8 "$cfg" "$KV_OFF_AUTO_MODE" 0
set_link "$cfg" 0 0 "$KV_LINK_TYPE_FOLDER" "Readable name" /usr/share/doc

# contrast PPM X Y W H: the contrast ratio between the most common colour of the area (its
# background) and the colour that stands out most from it (its text).
contrast() {
    /usr/bin/python3 - "$@" <<'EOF'
import sys
from collections import Counter
path, x0, y0, w, h = sys.argv[1], *map(int, sys.argv[2:])
data = open(path, "rb").read()
fields, pos = [], 0
while len(fields) < 4:  # P6, width, height, maximum
    while data[pos:pos + 1].isspace():
        pos += 1
    end = pos
    while not data[end:end + 1].isspace():
        end += 1
    fields.append(data[pos:end])
    pos = end
pos += 1
width = int(fields[1])
pixels = [tuple(data[pos + 3 * (y * width + x):pos + 3 * (y * width + x) + 3])
          for y in range(y0, y0 + h) for x in range(x0, x0 + w)]
def lum(c):
    def ch(v):
        s = v / 255
        return s / 12.92 if s <= 0.03928 else ((s + 0.055) / 1.055) ** 2.4
    return 0.2126 * ch(c[0]) + 0.7152 * ch(c[1]) + 0.0722 * ch(c[2])
def ratio(a, b):
    la, lb = lum(a), lum(b)
    return (max(la, lb) + 0.05) / (min(la, lb) + 0.05)
background = Counter(pixels).most_common(1)[0][0]
print(f"{max(ratio(background, p) for p in pixels):.2f}")
EOF
}

# Areas of the first row in the form's client area, on the Category Editor page: name|X Y W H
areas=(
    "the number|143 66 22 26"
    "the caption 'Short Name:'|168 60 72 14"
    "the caption 'Path/URL:'|168 102 60 14"
    "the name edit|171 80 94 16"
    "the path edit|171 122 200 16"
)
# colour name|R G B
for colour in "dark|20 24 70" "light|250 240 190" "middle|128 128 128"; do
    IFS='|' read -r cname rgb <<<"$colour"
    read -r r g b <<<"$rgb"
    write_i32 "$cfg" "$LINK_COLOUR" "$r"
    write_i32 "$cfg" $((LINK_COLOUR + 4)) "$g"
    write_i32 "$cfg" $((LINK_COLOUR + 8)) "$b"
    start_app_and_wait
    h=$(read -r _ _ _ hh < <(client_rect "$APP_WIN"); echo "$hh")
    click_in_window "$APP_WIN" 36 $((h - 49)) # "Add..." opens the Category Editor
    form=$(wait_for_window "$FORM_TITLE" 10) || fail "the 'Add...' label opened no settings form"
    pointer_to 1 1
    sleep 0.5
    read -r fx fy fw fh < <(client_rect "$form")
    import -window root -crop "${fw}x$fh+$fx+$fy" +repage -depth 8 "$KV_TMP/rows-$cname.ppm"
    for a in "${areas[@]}"; do
        IFS='|' read -r what box <<<"$a"
        # shellcheck disable=SC2086 # the area's four numbers
        c=$(contrast "$KV_TMP/rows-$cname.ppm" $box)
        /usr/bin/python3 -c "import sys; sys.exit(0 if float('$c') >= 4.5 else 1)" ||
            fail "on a $cname link colour ($rgb), $what reads at a contrast of $c, expected at least 4.5 (see $KV_TMP/rows-$cname.ppm)"
    done
    xdotool windowactivate --sync "$form" key Escape
    stop_app TERM
done
pass
