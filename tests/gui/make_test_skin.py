#!/usr/bin/env python3
"""Packs the GUI tests' skin archive: the layouts in skins/ and test images
drawn here in flat colours, so that a sampled screen pixel tells which image
piece landed where.

    make_test_skin.py OUTPUT.zip

The colours are repeated in run-gui-tests.sh; change both together.
"""

import os
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "resources", "tools"))
from pngio import Canvas, encode_png  # noqa: E402

# grid.png: a 30 x 30 nine-grid with 10-pixel borders, one colour a piece.
GRID_PIECES = [
    [(200, 40, 40), (40, 160, 40), (40, 40, 200)],
    [(200, 200, 40), (230, 230, 230), (40, 200, 200)],
    [(200, 40, 200), (240, 140, 20), (110, 60, 20)],
]


def rgb(colour):
    return tuple(c / 255.0 for c in colour)


def fill(canvas, x0, y0, x1, y1, colour, alpha=1.0):
    for y in range(y0, y1):
        for x in range(x0, x1):
            canvas.blend(x, y, rgb(colour), alpha)


def grid():
    c = Canvas(30, 30)
    for row in range(3):
        for col in range(3):
            fill(c, col * 10, row * 10, col * 10 + 10, row * 10 + 10, GRID_PIECES[row][col])
    return c


def button(edge, middle):
    """30 x 40, nine-grid corner 10,0,10,0: edges and middle apart."""
    c = Canvas(30, 40)
    fill(c, 0, 0, 10, 40, edge)
    fill(c, 10, 0, 20, 40, middle)
    fill(c, 20, 0, 30, 40, edge)
    return c


def half_alpha():
    """Left half opaque blue, right half red at alpha 128."""
    c = Canvas(40, 20)
    fill(c, 0, 0, 20, 20, (0, 0, 255))
    fill(c, 20, 0, 40, 20, (255, 0, 0), 128 / 255.0)
    return c


def hole():
    """160 x 100 opaque teal with a fully transparent middle (60..100, 30..70)."""
    c = Canvas(160, 100)
    fill(c, 0, 0, 160, 100, (0, 128, 128))
    for y in range(30, 70):
        for x in range(60, 100):
            c.pixels[y * 160 + x] = [0.0, 0.0, 0.0, 0.0]
    return c


IMAGES = {
    "grid.png": grid,
    "btn.png": lambda: button((20, 100, 60), (30, 150, 90)),
    "btn_hot.png": lambda: button((20, 60, 140), (40, 110, 220)),
    "alpha.png": half_alpha,
    "hole.png": hole,
}


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_test_skin.py OUTPUT.zip")
    out = sys.argv[1]
    skins = os.path.join(HERE, "skins")
    tmp = out + ".tmp"
    # Fixed dates and order: the same inputs give the same archive.
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as archive:
        for name in sorted(os.listdir(skins)):
            with open(os.path.join(skins, name), "rb") as f:
                archive.writestr(zipfile.ZipInfo(name, (2024, 1, 1, 0, 0, 0)), f.read(), zipfile.ZIP_DEFLATED)
        for name, draw in sorted(IMAGES.items()):
            archive.writestr(zipfile.ZipInfo(name, (2024, 1, 1, 0, 0, 0)), encode_png(draw()), zipfile.ZIP_DEFLATED)
    os.replace(tmp, out)


if __name__ == "__main__":
    main()
