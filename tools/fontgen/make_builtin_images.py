#!/usr/bin/python3
"""Writes the two images the program carries inside itself:

    content/builtin/font.png   512 x 512 RGBA glyph sheet for the on-screen display
    content/builtin/logo.png   256 x 256 RGBA Vortalis logo

Run it by hand (see README.md); the build only embeds the committed PNGs.
Needs Debian's python3-pil and fonts-dejavu-core, nothing else.

Where a glyph sits in its cell
------------------------------
The sheet is 16 x 16 cells of 32 x 32 pixels; code c is in column c % 16 and
row c // 16, row 0 at the top of the file (the first row of image data is
the texture's v = 0 edge).

The text drawer works in cell units. For each byte c with table width w it
adds w/32 * 0.75 to the pen, draws the whole 32-pixel cell as a quad from
(pen - 0.1, y - 0.1) to (pen + 1.1, y + 1.1), then adds w/32 * 0.75 again.
From that:

  * one texture pixel covers 1.2 / 32 cell units, so one unit is 80/3 pixels;
  * a character's advance, 1.5 * w/32 units, is 1.25 * w pixels of the sheet;
  * the quad's left edge is pinned to the *middle* of the character's advance
    span, 0.1 units (8/3 pixels) to the left of it. Centring each glyph's
    advance box on any fixed column u of the cell therefore lines it up with
    the middle of its span; the whole line just moves by u * 1.2/32 - 0.1
    units. Neighbouring glyphs then keep the gaps their own side bearings
    give, whatever the widths, which is what makes the text look even.
    We take u = 16, the cell's centre: the widest advance in the table
    (24 -> 30 pixels) still fits, and the line moves half a cell right.
  * vertically the quad spans y - 0.1 .. y + 1.1 with the cell's top row at
    y + 1.1, so the line's own band y .. y + 1 (lines are one unit apart) is
    pixel rows 8/3 .. 88/3. The baseline starts where capitals and
    descenders are centred in that band and is then lowered just enough for
    accented capitals to stay a pixel clear of the cell's top (about two
    pixels at this size); no ink touches a cell border, so linear filtering
    never picks up the neighbouring cell.

DejaVu Sans is slightly wider than the table assumes at the height that
leaves air between lines, so glyphs are stretched horizontally by a common
factor, and a glyph whose ink would still reach past its own advance span
(less half a pixel each side) is narrowed on its own until it fits, which
keeps neighbours from touching.

Codes without a glyph: 9, 10 and 13 advance by 0 and stay empty, so a tab
or line break in a message draws nothing. The other control codes and
127-159 advance like a wide letter (18); they get a small hollow box, so a
stray byte in a message is visible rather than a silent gap. 160 (no-break
space) is empty like the space; 173 (soft hyphen) is drawn as a hyphen,
which is how the table sizes it.

Colour of the sheet: coverage is in alpha, and the colour channels hold
white multiplied by that coverage (255 inside a glyph, the coverage value on
its anti-aliased edge, 0 where the cell is empty, which is fully
transparent). The text is drawn in two passes: zero / one-minus-source-alpha
darkens the background by the coverage, then one / one adds texture colour
times the message colour. With colour premultiplied that sum is exactly
"message colour over background"; with plain white colour channels the
second pass would add the message colour over the whole 1.2-cell quad and
light up a box around every character. Premultiplied texels also filter
without fringes. Coverage comes from rendering eight times larger and
averaging.
"""

import math
import os
import sys

from PIL import Image, ImageDraw, ImageFont

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from advance_widths import WIDTHS  # noqa: E402

FONT_DIR = "/usr/share/fonts/truetype/dejavu"
FONT_FILE = os.path.join(FONT_DIR, "DejaVuSans.ttf")
BOLD_FILE = os.path.join(FONT_DIR, "DejaVuSans-Bold.ttf")

CELL = 32
GRID = 16
SUPER = 8  # supersampling factor for coverage
PIXELS_PER_UNIT = CELL / 1.2
CENTRE_X = 16.0

EM = 25.0  # font size in sheet pixels
STRETCH = 1.07  # common horizontal stretch
EDGE = 1.0  # ink keeps this far from the cell border
SIDE_CLEARANCE = 0.5  # ink keeps this far inside its own advance span

BAND_TOP = 0.1 * PIXELS_PER_UNIT
BAND_BOTTOM = 1.1 * PIXELS_PER_UNIT


def advance_pixels(code):
    return 1.5 * WIDTHS[code] / 32 * PIXELS_PER_UNIT


def character_for(code):
    """The text to draw for a code, or None for an empty cell, or "box"."""
    if code in (9, 10, 13, 32, 160):
        return None
    if code < 32 or 127 <= code <= 159:
        return "box"
    if code == 173:
        return "-"
    return bytes([code]).decode("latin-1")


def ink_box(font, text):
    """Ink bounds of text at the font's size, origin at the baseline start."""
    return font.getbbox(text, anchor="ls")


def choose_baseline(font):
    """Baseline row so capitals plus descenders sit centred in the line band,
    moved only as far as needed to keep every glyph inside the cell."""
    cap_top = ink_box(font, "H")[1] / SUPER
    desc_bottom = ink_box(font, "g")[3] / SUPER
    baseline = (BAND_TOP + BAND_BOTTOM) / 2 - (cap_top + desc_bottom) / 2
    highest, lowest = 0.0, 0.0
    for code in range(256):
        ch = character_for(code)
        if ch is None or ch == "box":
            continue
        box = ink_box(font, ch)
        highest = min(highest, box[1] / SUPER)
        lowest = max(lowest, box[3] / SUPER)
    if baseline + highest < EDGE:
        baseline = EDGE - highest
    if baseline + lowest > CELL - EDGE:
        baseline = CELL - EDGE - lowest
    assert baseline + highest >= EDGE - 1e-6, "font too tall for the cell"
    return baseline


def render_glyph(font, ch, code, baseline):
    """Coverage of one cell as an 'L' image of CELL x CELL."""
    advance = font.getlength(ch) / SUPER
    box = ink_box(font, ch)
    ink_left, ink_right = box[0] / SUPER, box[2] / SUPER

    # Centre the stretched advance box on the cell's centre column.
    stretch = STRETCH
    span = advance_pixels(code) / 2 - SIDE_CLEARANCE
    span = min(span, CENTRE_X - EDGE)
    # Ink extents relative to the advance box centre, before stretching.
    left = ink_left - advance / 2
    right = ink_right - advance / 2
    reach = max(-left, right)
    if reach * stretch > span:
        stretch = span / reach

    # Render unstretched at SUPER resolution on a canvas whose width maps
    # onto CELL pixels with the wanted stretch, then average down.
    wide = max(1, round(CELL * SUPER / stretch))
    actual = CELL * SUPER / wide  # real stretch after rounding
    canvas = Image.new("L", (wide, CELL * SUPER), 0)
    draw = ImageDraw.Draw(canvas)
    origin_x = (CENTRE_X / actual - advance / 2) * SUPER
    draw.text((origin_x, baseline * SUPER), ch, font=font, fill=255, anchor="ls")
    return canvas.resize((CELL, CELL), Image.BOX)


def render_box(code, baseline, font):
    """A small hollow box standing on the baseline, x-height tall."""
    half = min(advance_pixels(code) / 2 - 2.5, 7.0)
    top = baseline + ink_box(font, "x")[1] / SUPER
    canvas = Image.new("L", (CELL * SUPER, CELL * SUPER), 0)
    draw = ImageDraw.Draw(canvas)
    stroke = 1.5
    draw.rectangle(
        [(CENTRE_X - half) * SUPER, top * SUPER, (CENTRE_X + half) * SUPER, baseline * SUPER],
        outline=255,
        width=round(stroke * SUPER),
    )
    return canvas.resize((CELL, CELL), Image.BOX)


def make_font_sheet():
    font = ImageFont.truetype(FONT_FILE, round(EM * SUPER))
    baseline = choose_baseline(font)
    alpha = Image.new("L", (CELL * GRID, CELL * GRID), 0)
    for code in range(256):
        ch = character_for(code)
        if ch is None:
            continue
        if ch == "box":
            cell = render_box(code, baseline, font)
        else:
            cell = render_glyph(font, ch, code, baseline)
        alpha.paste(cell, ((code % GRID) * CELL, (code // GRID) * CELL))
    # Colour premultiplied by coverage: white where the glyph is solid,
    # black where it is absent (see the module comment).
    return Image.merge("RGBA", (alpha, alpha, alpha, alpha))


# ---------------------------------------------------------------- logo

LOGO = 256
LOGO_SUPER = 4


def lerp(a, b, t):
    return a + (b - a) * t


def blend(c0, c1, t):
    return tuple(round(lerp(x, y, t)) for x, y in zip(c0, c1))


DEEP = (110, 50, 210)  # arms start violet at the rim
BRIGHT = (90, 230, 255)  # and turn bright cyan toward the eye


def make_logo():
    """A five-armed vortex whose arms taper into a bright eye, above the
    wordmark. Drawn four times larger and reduced for smooth edges."""
    size = LOGO * LOGO_SUPER
    img = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    draw = ImageDraw.Draw(img)
    s = LOGO_SUPER
    cx, cy = 128 * s, 104 * s
    outer = 92 * s
    inner = 7 * s
    arms = 5
    turns = 1.1  # how far each arm winds from rim to eye
    steps = 160
    growth = math.log(outer / inner) / (turns * 2 * math.pi)

    def point(theta, r):
        return (cx + r * math.cos(theta), cy + r * math.sin(theta))

    # Soft disc behind the arms so the motif reads on dark and light ground.
    for i in range(40, 0, -1):
        r = outer * (0.55 + 0.5 * i / 40)
        a = round(70 * (1 - i / 40) ** 1.5)
        draw.ellipse([cx - r, cy - r, cx + r, cy + r], fill=(20, 16, 70, a))

    for arm in range(arms):
        base = arm * 2 * math.pi / arms
        prev = None
        for k in range(steps + 1):
            t = k / steps  # 0 at the rim, 1 at the eye
            theta = base + t * turns * 2 * math.pi
            r = outer * math.exp(-growth * t * turns * 2 * math.pi)
            # Arm thickness as an angle: a thin tail at the rim, widest
            # half way in, narrowing again into the eye.
            width = 0.04 + 0.62 * math.sin(math.pi * t) ** 0.7
            lead = point(theta, r)
            trail = point(theta - width, r * math.exp(-growth * width * 0.6))
            if prev is not None:
                colour = blend(DEEP, BRIGHT, t**0.8)
                a = round(255 * min(1.0, 0.1 + 1.6 * t))
                draw.polygon([prev[0], lead, trail, prev[1]], fill=colour + (a,))
            prev = (lead, trail)

    # The eye.
    for i in range(12, 0, -1):
        r = inner * (0.6 + 1.4 * i / 12)
        a = round(255 * (1 - i / 12) ** 0.7)
        draw.ellipse([cx - r, cy - r, cx + r, cy + r], fill=(235, 255, 255, a))

    # Wordmark.
    font = ImageFont.truetype(BOLD_FILE, 34 * s)
    text = "VORTALIS"
    tracking = 3 * s
    widths = [font.getlength(ch) for ch in text]
    total = sum(widths) + tracking * (len(text) - 1)
    x = (size - total) / 2
    y = 236 * s
    for ch, w in zip(text, widths):
        draw.text(
            (x, y),
            ch,
            font=font,
            fill=(225, 245, 255, 255),
            anchor="ls",
            stroke_width=2 * s,
            stroke_fill=(20, 16, 70, 255),
        )
        x += w + tracking

    # Reduce with premultiplied colour so transparent pixels do not bleed.
    return img.convert("RGBa").resize((LOGO, LOGO), Image.LANCZOS).convert("RGBA")


def main():
    root = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
    out_dir = os.path.join(root, "content", "builtin")
    os.makedirs(out_dir, exist_ok=True)
    for name, image in (("font.png", make_font_sheet()), ("logo.png", make_logo())):
        path = os.path.join(out_dir, name)
        image.save(path, optimize=True)
        print("%s: %dx%d %s, %d bytes" % (path, *image.size, image.mode, os.path.getsize(path)))


if __name__ == "__main__":
    main()
