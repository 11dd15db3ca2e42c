#!/usr/bin/python3
"""Draws lines of text with the glyph sheet the way the on-screen display
does (same pen steps, quads, texture coordinates and two blending passes,
with the textured shader taken as texture colour times vertex colour), so the
sheet can be judged by eye.

    /usr/bin/python3 tools/fontgen/preview_text.py [out.png] [viewport height]

Writes the top-left part of a 16:9 viewport over a striped background.
"""

import math
import os
import sys

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from advance_widths import WIDTHS  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SHEET = os.path.join(HERE, "..", "..", "content", "builtin", "font.png")

LINES = [
    ("The quick brown fox jumps over the lazy dog. 0123456789", (1, 1, 1)),
    ("Vortalis needs OpenGL's GLSL support to work", (1, 0, 0)),
    ("WAVE Tiling: AVAVA LTYT ff fi rrr ||| iiiii mmmmm", (1, 1, 0)),
    ('Symbols: !"#$%&\'()*+,-./:;<=>?@[\\]^_`{|}~', (0, 1, 1)),
    ("Latin-1: \xc0\xc9\xce\xd5\xdc \xe0\xe9\xee\xf5\xfc \xc6\xe6\xdf\xd8\xf8 \xa9\xae\xb0\xb1\xbd\xbc\xbf\xa1", (0, 1, 0)),
    ("Control \x01\x02 tab\there DEL\x7f end", (0.5, 0.5, 0.5)),
    ("Scene changed: metaballs / tunnel [theme: classic]", (1, 1, 1)),
]


class Sheet:
    def __init__(self, path):
        img = Image.open(path).convert("RGBA")
        self.w, self.h = img.size
        self.px = img.load()

    def sample(self, u, v):
        """Bilinear filtering with clamped edges, like GL_LINEAR."""
        x = u * self.w - 0.5
        y = v * self.h - 0.5
        x0, y0 = math.floor(x), math.floor(y)
        fx, fy = x - x0, y - y0
        out = [0.0] * 4
        for dx, dy, wgt in ((0, 0, (1 - fx) * (1 - fy)), (1, 0, fx * (1 - fy)),
                            (0, 1, (1 - fx) * fy), (1, 1, fx * fy)):
            if wgt == 0:
                continue
            xi = min(max(x0 + dx, 0), self.w - 1)
            yi = min(max(y0 + dy, 0), self.h - 1)
            p = self.px[xi, yi]
            for i in range(4):
                out[i] += p[i] / 255 * wgt
        return out


def draw_text(canvas, sheet, text, pen_x, pen_y, colour, sx, sy, width, height):
    """One line, both passes, glyph by glyph (each glyph's passes finish before
    the next, which matches drawing the whole line twice unless glyphs
    overlap; overlap is what we look for anyway)."""
    p = 0.0
    buf = canvas.load()
    for c in text.encode("latin-1"):
        p += WIDTHS[c] / 32 * 0.75
        x0, y0 = pen_x + p - 0.1, pen_y - 0.1
        x1, y1 = pen_x + p + 1.1, pen_y + 1.1
        u0 = (c % 16) / 16
        v_top = (c // 16) / 16
        # Screen pixel bounds of the quad.
        px0 = (x0 * sx + 1) / 2 * width
        px1 = (x1 * sx + 1) / 2 * width
        py0 = (1 - y1 * sy) / 2 * height  # top row (upper edge)
        py1 = (1 - y0 * sy) / 2 * height
        for row in range(max(0, math.floor(py0)), min(height, math.ceil(py1))):
            cy = row + 0.5
            if cy < py0 or cy >= py1:
                continue
            v = v_top + (cy - py0) / (py1 - py0) / 16
            for col in range(max(0, math.floor(px0)), min(canvas.width, math.ceil(px1))):
                cx = col + 0.5
                if cx < px0 or cx >= px1:
                    continue
                u = u0 + (cx - px0) / (px1 - px0) / 16
                r, g, b, a = sheet.sample(u, v)
                d = buf[col, row]
                # Pass 1: zero, one minus source alpha.
                dst = [d[i] / 255 * (1 - a) for i in range(3)]
                # Pass 2: one, one with the colour.
                src = (r * colour[0], g * colour[1], b * colour[2])
                dst = [min(1.0, dst[i] + src[i]) for i in range(3)]
                buf[col, row] = tuple(round(255 * x) for x in dst)
        p += WIDTHS[c] / 32 * 0.75


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "/tmp/osd_preview.png"
    height = int(sys.argv[2]) if len(sys.argv) > 2 else 1080
    width = height * 16 // 9
    aspect = width / height
    sx, sy = (1 / 30) / aspect, 1 / 30
    cell = height / 60
    crop_w = min(width, int(cell * 48))
    crop_h = int(cell * (len(LINES) + 2.5))
    canvas = Image.new("RGB", (crop_w, crop_h))
    bg = canvas.load()
    for yy in range(crop_h):
        for xx in range(crop_w):
            stripe = ((xx + yy) // 24) % 2
            bg[xx, yy] = (70, 90, 120) if stripe else (25, 25, 35)
    sheet = Sheet(SHEET)
    pen_x = -1 / sx + 0.5
    pen_y = 1 / sy - 1.5
    for text, colour in LINES:
        draw_text(canvas, sheet, text, pen_x, pen_y, colour, sx, sy, width, height)
        pen_y -= 1
    canvas.save(out)
    print(out)


if __name__ == "__main__":
    main()
