#!/usr/bin/env python3
"""Draws the PinPrint wordmark (a padlock and the word "PinPrint") into package/logo.png, the
sample brand's logo.

The About page draws a 123 x 32 bitmap with 0xFF00FF as its transparent colour; the build makes
it from the brand's PNG (scripts/brand.py), which keeps a PNG of exactly that size pixel for
pixel. So the image is an indexed PNG of 123 x 32 pixels whose entry 0 is transparent.
Shapes are sampled 4 x 4 times per pixel and each pixel takes the colour that covers most of
it, or stays transparent: there is no anti-aliasing, so no pixel blends into magenta.

Standard library only; the output is byte-for-byte the same on every run.
Usage: make_logo.py [output path]   (default: package/logo.png)
"""

import math
import os
import struct
import sys
import zlib

WIDTH, HEIGHT = 123, 32
SUBSAMPLES = 4

# Palette: entry 0 must be exactly the transparent colour.
TRANSPARENT = 0
NAVY = 1  # "Pin" and the padlock body
SLATE = 2  # "Print"
STEEL = 3  # padlock shackle
WHITE = 4  # keyhole
PALETTE = [
    (0xFF, 0x00, 0xFF),
    (0x1A, 0x35, 0x5E),
    (0x3C, 0x6E, 0xA8),
    (0x7D, 0x89, 0x99),
    (0xFF, 0xFF, 0xFF),
]

# Type metrics in pixels.
BASELINE = 28.0
CAP_TOP = 5.0
X_TOP = 12.0
STROKE = 3.4
LETTER_GAP = 1.9


class Shape:
    """A region of the plane in pixel coordinates, with the colour it is painted in."""

    def __init__(self, colour, test):
        self.colour = colour
        self.test = test


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_out, r_in, keep=lambda dx, dy: True):
    """Annulus around (cx, cy); keep(dx, dy) selects the part of it that is drawn."""

    def test(x, y):
        dx, dy = x - cx, y - cy
        d2 = dx * dx + dy * dy
        return r_in * r_in <= d2 <= r_out * r_out and keep(dx, dy)

    return test


def rounded_rect(x0, y0, x1, y1, r):
    def test(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    return test


def union(*tests):
    return lambda x, y: any(t(x, y) for t in tests)


# Glyphs: each returns (test, advance width) for a glyph whose left edge is at x0.
def glyph_P(x0):
    s = STROKE
    bowl_h = 13.4  # the bowl covers the upper part of the capital
    r = bowl_h / 2
    bx = x0 + 6.6  # where the straight bars end and the round part begins
    cy = CAP_TOP + r
    test = union(
        rect(x0, CAP_TOP, x0 + s, BASELINE),
        rect(x0, CAP_TOP, bx, CAP_TOP + s),
        rect(x0, CAP_TOP + bowl_h - s, bx, CAP_TOP + bowl_h),
        ring(bx, cy, r, r - s, keep=lambda dx, dy: dx >= 0),
    )
    return test, bx + r - x0


def glyph_i(x0):
    s = STROKE
    test = union(rect(x0, X_TOP, x0 + s, BASELINE), rect(x0, CAP_TOP, x0 + s, CAP_TOP + s))
    return test, s


def glyph_n(x0):
    s = STROKE
    w = 12.0
    r = w / 2
    cx, cy = x0 + r, X_TOP + r
    test = union(
        rect(x0, X_TOP, x0 + s, BASELINE),
        ring(cx, cy, r, r - s, keep=lambda dx, dy: dy <= 0),
        rect(x0 + w - s, cy, x0 + w, BASELINE),
    )
    return test, w


def glyph_r(x0):
    s = STROKE
    r = 6.0
    cx, cy = x0 + r, X_TOP + r
    test = union(
        rect(x0, X_TOP, x0 + s, BASELINE),
        # The arm: the upper-left quarter of the arch, ending a little past its top.
        ring(cx, cy, r, r - s, keep=lambda dx, dy: dy <= 0 and dx <= 2.2),
    )
    return test, r + 2.2


def glyph_t(x0):
    s = STROKE
    stem_x = x0 + 1.6
    r = 4.0
    cx, cy = stem_x + r, BASELINE - r
    test = union(
        rect(stem_x, CAP_TOP + 3.0, stem_x + s, cy),
        rect(x0, X_TOP, x0 + 8.4, X_TOP + 2.8),
        # A foot that turns to the right at the baseline.
        ring(cx, cy, r, r - s, keep=lambda dx, dy: dy >= 0 and dx <= 0),
        rect(cx, BASELINE - s, cx + 2.6, BASELINE),
    )
    return test, 8.4


GLYPHS = {"P": glyph_P, "i": glyph_i, "n": glyph_n, "r": glyph_r, "t": glyph_t}


def padlock(x0):
    """A closed padlock 22 px wide, standing from y 2 to y 30."""
    w = 22.0
    cx = x0 + w / 2
    body_top = 14.0
    shackle = union(
        ring(cx, 10.0, 7.4, 4.2, keep=lambda dx, dy: dy <= 0),
        rect(cx - 7.4, 10.0, cx - 4.2, body_top + 1),
        rect(cx + 4.2, 10.0, cx + 7.4, body_top + 1),
    )
    body = rounded_rect(x0, body_top, x0 + w, 30.0, 2.6)
    keyhole = union(disc(cx, 20.6, 2.3), rect(cx - 1.0, 20.6, cx + 1.0, 26.0))
    # Later shapes win: the keyhole is cut into the body, the body covers the shackle's feet.
    return [Shape(STEEL, shackle), Shape(NAVY, body), Shape(WHITE, keyhole)], w


def layout():
    shapes = []
    lock_shapes, lock_w = padlock(0.0)
    word = "PinPrint"
    # Measure the word first so that the whole mark can be centred.
    x = 0.0
    for i, ch in enumerate(word):
        _, adv = GLYPHS[ch](x)
        x += adv + (LETTER_GAP if i + 1 < len(word) else 0)
    word_w = x
    gap = 5.0
    total = lock_w + gap + word_w
    left = math.floor((WIDTH - total) / 2)

    lock_shapes, _ = padlock(float(left))
    shapes.extend(lock_shapes)
    x = left + lock_w + gap
    for i, ch in enumerate(word):
        test, adv = GLYPHS[ch](x)
        shapes.append(Shape(NAVY if i < 3 else SLATE, test))
        x += adv + LETTER_GAP
    return shapes


def render(shapes):
    pixels = [[TRANSPARENT] * WIDTH for _ in range(HEIGHT)]
    n = SUBSAMPLES
    for py in range(HEIGHT):
        for px in range(WIDTH):
            votes = {}
            for sy in range(n):
                for sx in range(n):
                    x = px + (sx + 0.5) / n
                    y = py + (sy + 0.5) / n
                    colour = TRANSPARENT
                    for shape in shapes:
                        if shape.test(x, y):
                            colour = shape.colour
                    votes[colour] = votes.get(colour, 0) + 1
            painted = {c: v for c, v in votes.items() if c != TRANSPARENT}
            if painted and sum(painted.values()) * 2 >= n * n:
                # Most-covering colour; ties go to the lower palette index for stability.
                pixels[py][px] = min(painted, key=lambda c: (-painted[c], c))
    return pixels


def png_bytes(pixels):
    """An indexed PNG whose entry 0 is fully transparent: the sample brand's logo, which the
    build turns into the About page's bitmap like any vendor's (scripts/brand.py)."""

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 3, 0, 0, 0)
    palette = b"".join(struct.pack("BBB", *colour) for colour in PALETTE)
    rows = b"".join(b"\0" + bytes(row) for row in pixels)  # filter 0 on every row
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"PLTE", palette) +
            chunk(b"tRNS", b"\0") + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "package", "logo.png")
    data = png_bytes(render(layout()))
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
