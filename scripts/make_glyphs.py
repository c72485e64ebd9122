#!/usr/bin/env python3
"""Draw Kestrava's small button glyphs and write them as PNG files.

Every glyph is described once on a 15 x 15 design grid (pixel i covers
[i, i+1)) using signed distance functions, then rasterised with
supersampling at 1x (15 x 15) and 2x (30 x 30).

The images are 24-bit RGB without alpha.  Pure magenta (#FF00FF) marks the
transparent background: the loader keys it out.  Edge pixels are therefore
anti-aliased against the dark grey of the panels the buttons sit on, never
against magenta, so no pinkish fringe survives the colour keying.

Usage: python3 scripts/make_glyphs.py [output_dir]
(default output directory: resources/glyphs next to this script's parent)
"""

import math
import os
import struct
import sys
import zlib

GRID = 15
SUPERSAMPLE = 8
MAGENTA = (255, 0, 255)
PANEL = (0x4B, 0x4B, 0x4B)
# Pixels covered less than this are left transparent.
MIN_COVERAGE = 0.12


# --------------------------------------------------------------------------
# Signed distance primitives (negative inside)
# --------------------------------------------------------------------------

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx, cy, r_out, r_in):
    def sd(x, y):
        d = math.hypot(x - cx, y - cy)
        return max(d - r_out, r_in - d)
    return sd


def box(x0, y0, x1, y1):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0, (y1 - y0) / 2.0

    def sd(x, y):
        dx = abs(x - cx) - hx
        dy = abs(y - cy) - hy
        outside = math.hypot(max(dx, 0.0), max(dy, 0.0))
        return outside + min(max(dx, dy), 0.0)
    return sd


def segment(ax, ay, bx, by, r):
    """Capsule of radius r around the segment a-b."""
    vx, vy = bx - ax, by - ay
    vv = vx * vx + vy * vy

    def sd(x, y):
        wx, wy = x - ax, y - ay
        t = 0.0 if vv == 0 else max(0.0, min(1.0, (wx * vx + wy * vy) / vv))
        return math.hypot(wx - vx * t, wy - vy * t) - r
    return sd


def polygon(pts):
    n = len(pts)

    def sd(x, y):
        d = float("inf")
        inside = False
        j = n - 1
        for i in range(n):
            xi, yi = pts[i]
            xj, yj = pts[j]
            ex, ey = xj - xi, yj - yi
            wx, wy = x - xi, y - yi
            ee = ex * ex + ey * ey
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / ee)) if ee else 0.0
            d = min(d, math.hypot(wx - ex * t, wy - ey * t))
            if (yi > y) != (yj > y):
                xc = xi + (y - yi) * (xj - xi) / (yj - yi)
                if x < xc:
                    inside = not inside
            j = i
        return -d if inside else d
    return sd


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def subtract(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


def intersect(a, b):
    return lambda x, y: max(a(x, y), b(x, y))


def grow(shape, r):
    return lambda x, y: shape(x, y) - r


# --------------------------------------------------------------------------
# Colours
# --------------------------------------------------------------------------

def hexrgb(h):
    h = h.lstrip("#")
    return tuple(int(h[i:i + 2], 16) for i in (0, 2, 4))


def flat(c):
    c = hexrgb(c) if isinstance(c, str) else c
    return lambda x, y: c


def vgrad(top, bottom, y0=1.0, y1=14.0):
    """Vertical gradient: gives the glyphs a little light from above."""
    a, b = hexrgb(top), hexrgb(bottom)

    def col(x, y):
        t = max(0.0, min(1.0, (y - y0) / (y1 - y0)))
        return tuple(a[k] + (b[k] - a[k]) * t for k in range(3))
    return col


# Outline drawn under each glyph so it separates cleanly from the panel.
OUTLINE = "#1C1C1C"


def with_outline(shape, fill, width=0.75):
    return [(grow(shape, width), flat(OUTLINE)), (shape, fill)]


# --------------------------------------------------------------------------
# Glyphs
# --------------------------------------------------------------------------

def arrow_up_shape():
    head = polygon([(7.5, 1.5), (13.5, 7.5), (1.5, 7.5)])
    shaft = box(5.0, 7.0, 10.0, 13.5)
    return union(head, shaft)


def flip_v(shape):
    return lambda x, y: shape(x, GRID - y)


def arrow_up(top, bottom):
    return with_outline(arrow_up_shape(), vgrad(top, bottom))


def arrow_down(top, bottom):
    return with_outline(flip_v(arrow_up_shape()), vgrad(top, bottom))


def cross():
    s = union(segment(3.5, 3.5, 11.5, 11.5, 1.6),
              segment(11.5, 3.5, 3.5, 11.5, 1.6))
    return with_outline(s, vgrad("#FF6A5E", "#C81E1E"))


def plus():
    s = union(box(6.0, 2.0, 9.0, 13.0), box(2.0, 6.0, 13.0, 9.0))
    return with_outline(s, vgrad("#7CEB6A", "#23A02A"))


def config_ring():
    s = ring(7.5, 7.5, 6.0, 3.0)
    return with_outline(s, vgrad("#8CC4FF", "#2466D0"))


def power():
    cx, cy = 7.5, 8.0
    arc = ring(cx, cy, 5.6, 3.6)
    # Open the circle at the top with a wedge.
    gap = polygon([(cx, cy), (cx - 6.5, cy - 8.5), (cx + 6.5, cy - 8.5)])
    arc = subtract(arc, gap)
    # Round the arc ends.
    ang = math.atan2(6.5, 8.5)
    rm = 4.6
    ends = []
    for sgn in (-1, 1):
        ex = cx + sgn * rm * math.sin(ang)
        ey = cy - rm * math.cos(ang)
        ends.append(circle(ex, ey, 1.0))
    arc = union(arc, *ends)
    bar = segment(7.5, 1.5, 7.5, 7.5, 1.25)
    s = union(arc, bar)
    return with_outline(s, vgrad("#FF6A5E", "#C81E1E"))


def burst():
    # Eight-pointed sun: long points on the axes, shorter on the diagonals.
    cx, cy = 7.5, 7.5
    pts = []
    for k in range(16):
        a = k * math.pi / 8 - math.pi / 2
        if k % 2:
            r = 4.1
        else:
            r = 7.2 if k % 4 == 0 else 6.3
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    s = polygon(pts)
    return with_outline(s, vgrad("#9CF27E", "#25A32B")) + [
        (circle(cx, cy, 1.5), flat("#E6FFC8"))]


def key():
    bow = ring(4.5, 7.5, 3.6, 1.5)
    shaft = box(7.5, 6.5, 14.0, 8.5)
    tooth1 = box(10.0, 8.0, 11.5, 11.0)
    tooth2 = box(12.5, 8.0, 14.0, 12.0)
    s = union(bow, shaft, tooth1, tooth2)
    return with_outline(s, vgrad("#FFC45A", "#E06A00"))


def window():
    frame_outer = box(1.0, 2.0, 14.0, 13.0)
    frame = subtract(frame_outer, box(2.0, 5.0, 13.0, 12.0))
    inner = box(2.0, 5.0, 13.0, 12.0)
    blue = vgrad("#7FB6FF", "#1F5FC8")
    layers = [(grow(frame_outer, 0.75), flat(OUTLINE)),
              (frame, blue),
              (inner, vgrad("#E4EEFA", "#B8C8DC", 5.0, 12.0)),
              # close box on the title bar
              (box(10.0, 3.0, 12.0, 4.0), flat("#EAF2FF"))]
    return layers


def letter_r():
    stem = box(3.0, 2.0, 6.0, 13.0)
    bowl_outer = union(box(3.0, 2.0, 8.0, 9.0), circle(8.0, 5.5, 3.5))
    bowl_hole = union(box(5.0, 4.0, 8.0, 7.0), circle(8.0, 5.5, 1.5))
    bowl = subtract(intersect(bowl_outer, box(3.0, 2.0, 12.0, 9.0)), bowl_hole)
    leg = polygon([(6.5, 8.0), (9.2, 8.0), (12.5, 13.0), (9.3, 13.0)])
    s = union(stem, bowl, leg)
    return with_outline(s, vgrad("#FF6A5E", "#C81E1E"))


def letter_i():
    s = union(box(6.0, 2.0, 9.0, 13.0),
              box(4.0, 2.0, 11.0, 4.0),
              box(4.0, 11.0, 11.0, 13.0))
    return with_outline(s, vgrad("#8CC4FF", "#2466D0"))


LIGHT_BLUE = ("#C4E6FF", "#5AAEF0")
GREY = ("#D2D2D2", "#8C8C8C")

GLYPHS = [
    lambda: arrow_up(*LIGHT_BLUE),    # 0
    lambda: arrow_down(*LIGHT_BLUE),  # 1
    lambda: arrow_up(*GREY),          # 2
    lambda: arrow_down(*GREY),        # 3
    cross,                            # 4
    plus,                             # 5
    config_ring,                      # 6
    power,                            # 7
    burst,                            # 8
    key,                              # 9
    window,                           # 10
    letter_r,                         # 11
    letter_i,                         # 12
]


# --------------------------------------------------------------------------
# Rasteriser and PNG writer
# --------------------------------------------------------------------------

def render(layers, scale):
    size = GRID * scale
    n = SUPERSAMPLE
    total = n * n
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(n):
                y = (py + (sy + 0.5) / n) / scale
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / scale
                    col = None
                    for shape, fill in reversed(layers):
                        if shape(x, y) <= 0.0:
                            col = fill(x, y)
                            break
                    if col is None:
                        col = PANEL
                    else:
                        covered += 1
                    acc[0] += col[0]
                    acc[1] += col[1]
                    acc[2] += col[2]
            if covered / total < MIN_COVERAGE:
                row.append(MAGENTA)
            else:
                pix = tuple(int(round(c / total)) for c in acc)
                if pix == MAGENTA:  # never let a real pixel become the key
                    pix = (254, 0, 254)
                row.append(pix)
        rows.append(row)
    return rows


def write_png(path, rows):
    height = len(rows)
    width = len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter: none
        for r, g, b in row:
            raw += bytes((r, g, b))

    def chunk(tag, data):
        c = struct.pack(">I", len(data)) + tag + data
        return c + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
           + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
           + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        here, os.pardir, "resources", "glyphs")
    out = os.path.normpath(out)
    os.makedirs(out, exist_ok=True)
    for i, make in enumerate(GLYPHS):
        layers = make()
        write_png(os.path.join(out, "glyph%d.png" % i), render(layers, 1))
        write_png(os.path.join(out, "glyph%d@2x.png" % i), render(layers, 2))
    print("wrote %d glyphs to %s" % (len(GLYPHS), out))


if __name__ == "__main__":
    main()
