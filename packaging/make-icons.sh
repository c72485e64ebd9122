#!/bin/sh
# Draws resources/icons/kestrava-SIZE.png from resources/kestrava.svg at every size the tray and
# the desktop's icon theme ask for. The PNGs are kept in the repository, so a build needs no SVG
# renderer; run this after changing the SVG (rsvg-convert comes with librsvg2-bin).
set -eu
root=$(cd -- "$(dirname -- "$0")/.." && pwd)
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --output "$root/resources/icons/kestrava-$size.png" \
        "$root/resources/kestrava.svg"
done
