#!/usr/bin/env python3
"""Draws the skin images and the application icon.

    python3 resources/tools/draw_skin.py            # rewrite everything
    python3 resources/tools/draw_skin.py --check    # fail if a file differs

Every shape is a signed distance function (negative inside, in pixels);
coverage is 0.5 - distance clamped to 0..1, which gives one pixel of
anti-aliasing on every edge at any scale. Sizes follow the skins: images
drawn into a control of fixed size have that size, nine-grid images keep
their borders inside the skin's "corner" widths.

Each picture is drawn three times: as the skins name it (96 DPI) and as
its variants for 144 and 192 DPI ("name@1.5x.png", "name@2x.png"), which
windows on scaled screens draw instead. A variant is the same drawing at
that scale (every coordinate stays in 96-DPI pixels), as large as the
framework scales the picture's size: floor(length * dpi / 96 + 1/2).
"""

import argparse
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pngio import Canvas, decode_png, encode_ico, encode_png, hex_rgb  # noqa: E402

RESOURCES = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
IMAGE_DIR = os.path.join(RESOURCES, "skin", "skin")
ICON_PATH = os.path.join(RESOURCES, "repair.ico")

# Palette. The text colours of the skins are white, #D6D6E6 and #6F799D;
# the done button's teal is #00DCC8 (normal), #1AFEE9 (hot), #00B6A5 (pushed).
BG_TOP = hex_rgb("#2B3147")
BG_BOTTOM = hex_rgb("#1B1F2D")
BORDER = hex_rgb("#3C4460")
TEXT_LIGHT = hex_rgb("#D6D6E6")
TEAL = hex_rgb("#00DCC8")
TEAL_HOT = hex_rgb("#1AFEE9")
TEAL_DEEP = hex_rgb("#00B6A5")
WHITE = (1.0, 1.0, 1.0)

MAIN_W, MAIN_H = 580, 374

BASE_DPI = 96
VARIANTS = ((BASE_DPI, ""), (144, "@1.5x"), (192, "@2x"))
# The icon's sizes: 16, 32 and 48 at 1x, 1.5x and 2x, and 256.
ICON_SIZES = (16, 24, 32, 48, 64, 72, 96, 256)


def scaled(length, dpi):
    """A 96-DPI length in pixels at DPI, rounded as the framework does."""
    return (length * dpi + BASE_DPI // 2) // BASE_DPI


def new_canvas(width, height, dpi=BASE_DPI):
    """A canvas for a picture of WIDTH x HEIGHT 96-DPI pixels drawn at DPI:
    shapes and boxes stay in 96-DPI pixels, fill() scales them."""
    canvas = Canvas(scaled(width, dpi), scaled(height, dpi))
    canvas.scale = dpi / BASE_DPI
    return canvas


# --- shapes -----------------------------------------------------------------

def rounded_rect(x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0 - r, (y1 - y0) / 2.0 - r

    def sdf(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return sdf


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ellipse(cx, cy, rx, ry):
    # Not an exact distance, but close enough near the edge for soft shadows.
    return lambda x, y: (math.hypot((x - cx) / rx, (y - cy) / ry) - 1.0) * min(rx, ry)


def capsule(ax, ay, bx, by, r):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def sdf(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        return math.hypot(x - ax - t * dx, y - ay - t * dy) - r
    return sdf


def polygon(points):
    """A convex polygon; exact distance near its edges."""
    edges = []
    n = len(points)
    area = sum(points[i][0] * points[(i + 1) % n][1] - points[(i + 1) % n][0] * points[i][1] for i in range(n))
    sign = 1.0 if area > 0 else -1.0
    for i in range(n):
        (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
        length = math.hypot(bx - ax, by - ay)
        # Outward normal for either winding.
        edges.append((ax, ay, sign * (by - ay) / length, -sign * (bx - ax) / length))

    def sdf(x, y):
        return max((x - ax) * nx + (y - ay) * ny for ax, ay, nx, ny in edges)
    return sdf


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def subtract(shape, cut):
    return lambda x, y: max(shape(x, y), -cut(x, y))


def intersect(a, b):
    return lambda x, y: max(a(x, y), b(x, y))


def outline(shape, width):
    """A band of the given width centred on the shape's edge."""
    return lambda x, y: abs(shape(x, y)) - width / 2.0


def inset(shape, amount):
    return lambda x, y: shape(x, y) + amount


# --- paints -----------------------------------------------------------------

def solid(rgb):
    return lambda x, y: rgb


def lerp(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def vertical(y0, c0, y1, c1):
    return lambda x, y: lerp(c0, c1, (y - y0) / float(y1 - y0))


def horizontal(x0, c0, x1, c1):
    return lambda x, y: lerp(c0, c1, (x - x0) / float(x1 - x0))


def fill(canvas, shape, paint, alpha=1.0, box=None, feather=0.0):
    """Blends paint where shape is inside. feather > 0 softens the edge over
    that many pixels (shadows, glows). Shapes, boxes and feathers are in
    96-DPI pixels; on a canvas drawn at a larger scale every pixel is
    sampled at its centre in those units, and the edge keeps one pixel of
    the canvas's own anti-aliasing."""
    s = getattr(canvas, "scale", 1.0)
    x0, y0, x1, y1 = box if box else (0, 0, canvas.width / s, canvas.height / s)
    x0, y0 = max(0, int(x0 * s)), max(0, int(y0 * s))
    x1, y1 = min(canvas.width, int(math.ceil(x1 * s))), min(canvas.height, int(math.ceil(y1 * s)))
    for y in range(y0, y1):
        py = (y + 0.5) / s
        for x in range(x0, x1):
            px = (x + 0.5) / s
            d = shape(px, py) * s
            if feather > 0.0:
                cover = max(0.0, min(1.0, 0.5 - d / (feather * s)))
                cover = cover * cover * (3.0 - 2.0 * cover)
            else:
                cover = max(0.0, min(1.0, 0.5 - d))
            if cover > 0.0:
                canvas.blend(x, y, paint(px, py), cover * alpha)


# --- the skin's pictures ------------------------------------------------------

def background(width, height, dpi=BASE_DPI):
    """The window background: a calm vertical gradient with a one-pixel
    border (at a larger scale as wide as the framework scales a pixel).
    Opaque, so that nothing shows through at the corners (the window's
    region does the rounding)."""
    canvas = new_canvas(width, height, dpi)
    w, h, s = canvas.width, canvas.height, canvas.scale
    paint = vertical(0, BG_TOP, height, BG_BOTTOM)
    for y in range(h):
        rgb = paint(0, (y + 0.5) / s)
        for x in range(w):
            canvas.pixels[y * w + x] = [rgb[0], rgb[1], rgb[2], 1.0]
    line = scaled(1, dpi)
    for i in range(line):
        for x in range(w):
            canvas.blend(x, i, BORDER, 1.0)
            canvas.blend(x, h - 1 - i, BORDER, 1.0)
        for y in range(line, h - line):
            canvas.blend(i, y, BORDER, 1.0)
            canvas.blend(w - 1 - i, y, BORDER, 1.0)
    # A faint top light, one pixel inside the border.
    for y in range(line, 2 * line):
        for x in range(line, w - line):
            canvas.blend(x, y, WHITE, 0.04)
    return canvas


def wrench(cx, cy, size):
    """A wrench pointing up-right, about 2 * size across."""
    ux, uy = math.cos(math.radians(-45)), math.sin(math.radians(-45))

    def at(t):
        return cx + ux * t * size, cy + uy * t * size
    head_x, head_y = at(0.42)
    handle = capsule(*at(-0.78), *at(0.3), 0.2 * size)
    head = circle(head_x, head_y, 0.44 * size)
    jaw = union(circle(*at(0.78), 0.25 * size), capsule(*at(0.52), *at(1.1), 0.17 * size))
    return union(handle, subtract(head, jaw))


class IsoBox:
    """The appliance as an isometric box; (cx, cy) is the centre of its
    outline, edge the length of its edges."""

    def __init__(self, cx, cy, edge):
        hw = edge * math.cos(math.radians(30))
        hh = edge * 0.5
        self.cx, self.edge, self.hw = cx, edge, hw
        self.top = (cx, cy - hh - edge / 2.0)
        self.left_top = (cx - hw, cy - edge / 2.0)
        self.right_top = (cx + hw, cy - edge / 2.0)
        self.mid = (cx, cy + hh - edge / 2.0)
        self.left_bottom = (self.left_top[0], self.left_top[1] + edge)
        self.right_bottom = (self.right_top[0], self.right_top[1] + edge)
        self.bottom = (self.mid[0], self.mid[1] + edge)
        self.bound = (cx - hw - 2, self.top[1] - 2, cx + hw + 2, self.bottom[1] + 2)

    def on_left(self, u, v):
        """A point of the front-left face: u from its left edge (0) to the
        middle edge (1), v from its top (0) to its bottom (1)."""
        return (self.left_top[0] + (self.mid[0] - self.left_top[0]) * u,
                self.left_top[1] + (self.mid[1] - self.left_top[1]) * u + self.edge * v)

    def on_right(self, u, v):
        return (self.mid[0] + (self.right_top[0] - self.mid[0]) * u,
                self.mid[1] + (self.right_top[1] - self.mid[1]) * u + self.edge * v)

    # Face colours: silhouette (top, bottom), front (top, bottom), lid
    # (back, front), lit edge, front corner.
    DARK = ("#303852", "#232839", "#3C4562", "#2E3550", "#5E6A8E", "#4A5474", "#7E8AB0", "#5A6588")
    # Lighter, for the icon, which must also stand out on dark task bars.
    LIGHT = ("#4E5A7E", "#3A4466", "#6C79A0", "#56628A", "#A4B0D4", "#8894BA", "#C4CEEC", "#8E9ABF")

    def draw(self, canvas, detail=True, shadow=True, tones=DARK):
        edge, bound = self.edge, self.bound
        t = [hex_rgb(c) for c in tones]
        if shadow:
            fill(canvas, ellipse(self.cx, self.bottom[1] - edge * 0.1, self.hw * 1.05, edge * 0.22),
                 solid((0.04, 0.05, 0.08)), alpha=0.55, feather=edge * 0.3,
                 box=(self.cx - self.hw * 1.6, self.bottom[1] - edge * 0.6,
                      self.cx + self.hw * 1.6, self.bottom[1] + edge * 0.5))
        silhouette = polygon([self.top, self.right_top, self.right_bottom, self.bottom,
                              self.left_bottom, self.left_top])
        top_face = polygon([self.top, self.right_top, self.mid, self.left_top])
        left_face = polygon([self.left_top, self.mid, self.bottom, self.left_bottom])
        # The silhouette first in the darkest tone, so that the faces meet
        # without a seam of background between them.
        fill(canvas, silhouette, vertical(self.top[1], t[0], self.bottom[1], t[1]), box=bound)
        fill(canvas, left_face, vertical(self.left_top[1], t[2], self.bottom[1], t[3]), box=bound)
        fill(canvas, top_face, vertical(self.top[1], t[4], self.mid[1], t[5]), box=bound)
        # Lit edges of the lid and the front corner.
        width = max(1.0, edge / 70.0) / 2.0
        light = solid(t[6])
        fill(canvas, capsule(*self.left_top, *self.mid, width), light, alpha=0.8, box=bound)
        fill(canvas, capsule(*self.mid, *self.right_top, width), light, alpha=0.45, box=bound)
        fill(canvas, capsule(*self.mid, *self.bottom, width), solid(t[7]), alpha=0.5, box=bound)
        if not detail:
            return
        # Status light on the front, with a glow.
        a, b = self.on_left(0.4, 0.76), self.on_left(0.8, 0.76)
        fill(canvas, capsule(*a, *b, edge * 0.05), solid(TEAL), alpha=0.22, feather=edge * 0.12, box=bound)
        fill(canvas, capsule(*a, *b, edge * 0.022), horizontal(a[0], TEAL_DEEP, b[0], TEAL_HOT), box=bound)
        # Two network ports on the side.
        for u in (0.14, 0.42):
            port = polygon([self.on_right(u, 0.42), self.on_right(u + 0.21, 0.42),
                            self.on_right(u + 0.21, 0.55), self.on_right(u, 0.55)])
            fill(canvas, port, solid(hex_rgb("#151825")), box=bound)
            lip = capsule(*self.on_right(u + 0.02, 0.55), *self.on_right(u + 0.19, 0.55), max(0.5, edge / 160.0))
            fill(canvas, lip, solid(hex_rgb("#48526F")), alpha=0.7, box=bound)


def repair_badge(canvas, bx, by, r, glow=True):
    """A teal disc with a wrench, ringed by the background colour."""
    reach = r * 1.8
    box = (bx - reach, by - reach, bx + reach, by + reach)
    if glow:
        fill(canvas, circle(bx, by, r), solid(TEAL), alpha=0.35, feather=r * 0.75, box=box)
    fill(canvas, circle(bx, by, r + max(1.0, r * 0.13)), solid(hex_rgb("#1B1F2D")), box=box)
    fill(canvas, circle(bx, by, r), vertical(by - r, TEAL_HOT, by + r, TEAL_DEEP), box=box)
    fill(canvas, wrench(bx, by, r * 0.68), solid(hex_rgb("#0E2F33")), box=box)


def halo(canvas, cx, cy, core, spread, box):
    fill(canvas, circle(cx, cy, core), solid(TEAL), alpha=0.07, feather=spread, box=box)


def logo(dpi=BASE_DPI):
    """The page picture of the second and third wizard pages. Rows 30 and
    below lie under the page, so it carries the window background and its
    border exactly as bk.png does, with the illustration on the left."""
    canvas = background(MAIN_W, MAIN_H, dpi)
    halo(canvas, 150, 200, 70, 150, (1, 30, 300, MAIN_H - 1))
    box = IsoBox(150, 196, 78)
    box.draw(canvas)
    repair_badge(canvas, box.right_bottom[0] + 2, box.right_bottom[1] - 6, 25)
    return canvas


def monitor(canvas, cx, cy, w, h):
    """A PC screen on a stand; (cx, cy) is the centre of the screen."""
    x0, y0, x1, y1 = cx - w / 2.0, cy - h / 2.0, cx + w / 2.0, cy + h / 2.0
    base_y = y1 + h * 0.32
    bound = (x0 - 2, y0 - 2, x1 + 2, base_y + 8)
    fill(canvas, ellipse(cx, base_y + 3, w * 0.42, 7), solid((0.04, 0.05, 0.08)), alpha=0.5, feather=16,
         box=(x0 - 30, base_y - 20, x1 + 30, base_y + 30))
    neck = polygon([(cx - 7, y1 - 2), (cx + 7, y1 - 2), (cx + 10, base_y - 2), (cx - 10, base_y - 2)])
    fill(canvas, neck, vertical(y1, hex_rgb("#2A3047"), base_y, hex_rgb("#38405C")), box=bound)
    fill(canvas, rounded_rect(cx - w * 0.24, base_y - 3, cx + w * 0.24, base_y + 3, 3),
         vertical(base_y - 3, hex_rgb("#5A6588"), base_y + 3, hex_rgb("#3C4562")), box=bound)
    frame = rounded_rect(x0, y0, x1, y1, 6)
    fill(canvas, frame, vertical(y0, hex_rgb("#4A5474"), y1, hex_rgb("#353D58")), box=bound)
    fill(canvas, outline(inset(frame, 0.5), 1.0), solid(hex_rgb("#6A769C")), alpha=0.5, box=bound)
    screen = rounded_rect(x0 + 5, y0 + 5, x1 - 5, y1 - 5, 2)
    fill(canvas, screen, vertical(y0, hex_rgb("#1A1F2E"), y1, hex_rgb("#141824")), box=bound)
    # A few lines of "text" on the screen, the last one in the accent.
    for i, (length, colour) in enumerate([(0.62, "#3A4262"), (0.44, "#3A4262"), (0.3, None)]):
        y = y0 + 18 + i * 11
        paint = solid(hex_rgb(colour)) if colour else horizontal(x0, TEAL_DEEP, x0 + w * 0.6, TEAL_HOT)
        fill(canvas, capsule(x0 + 16, y, x0 + 16 + (w - 32) * length, y, 2), paint, box=bound)


def cable(canvas, points, radius, paint, box):
    """A cable along a cubic curve through four control points; returns
    points along it."""
    (ax, ay), (bx, by), (cx, cy), (dx, dy) = points
    samples = []
    for i in range(33):
        t = i / 32.0
        m = 1 - t
        samples.append((m * m * m * ax + 3 * m * m * t * bx + 3 * m * t * t * cx + t * t * t * dx,
                        m * m * m * ay + 3 * m * m * t * by + 3 * m * t * t * cy + t * t * t * dy))
    pieces = [capsule(*samples[i], *samples[i + 1], radius) for i in range(len(samples) - 1)]
    fill(canvas, union(*pieces), paint, box=box)
    return samples


def connect_picture(dpi=BASE_DPI):
    """The first wizard page's picture: a PC joined to the box by a cable.
    Like logo.png it is the window background with a drawing on it, and
    the page shows it from row 30 down."""
    canvas = background(MAIN_W, MAIN_H, dpi)
    halo(canvas, 290, 150, 80, 170, (1, 30, MAIN_W - 1, 265))
    box = IsoBox(392, 146, 64)
    screen_cx, screen_cy = 188, 130
    plug = box.on_left(0.21, 0.5)
    # The cable leaves from behind the screen, runs along the desk and
    # meets the plug square to the box's front.
    route = [(screen_cx + 48, screen_cy + 30), (screen_cx + 70, plug[1] + 62),
             (plug[0] - 60, plug[1] + 40), (plug[0] - 2, plug[1] + 1)]
    box.draw(canvas)
    region = (screen_cx, screen_cy, plug[0] + 4, plug[1] + 70)
    samples = cable(canvas, route, 2.2, solid(hex_rgb("#56607F")), region)
    monitor(canvas, screen_cx, screen_cy, 128, 84)
    head = polygon([box.on_left(0.1, 0.43), box.on_left(0.32, 0.43), box.on_left(0.32, 0.57),
                    box.on_left(0.1, 0.57)])
    fill(canvas, head, solid(hex_rgb("#1A1E2C")), box=box.bound)
    fill(canvas, inset(head, 1.2), solid(hex_rgb("#6A769C")), box=box.bound)
    # A pulse of light on the cable.
    px, py = samples[21]
    fill(canvas, circle(px, py, 3), solid(TEAL), alpha=0.5, feather=9, box=(px - 16, py - 16, px + 16, py + 16))
    fill(canvas, circle(px, py, 2.6), solid(TEAL_HOT), box=(px - 4, py - 4, px + 4, py + 4))
    return canvas


def close_button(pushed, dpi=BASE_DPI):
    """20 x 20: a thin cross; pushed (also shown while hot) on a soft disc."""
    canvas = new_canvas(20, 20, dpi)
    if pushed:
        fill(canvas, circle(10, 10, 9.5), solid(WHITE), alpha=0.14)
    colour, alpha = (WHITE, 1.0) if pushed else (TEXT_LIGHT, 0.85)
    arm = 4.2
    cross = union(capsule(10 - arm, 10 - arm, 10 + arm, 10 + arm, 0.75),
                  capsule(10 - arm, 10 + arm, 10 + arm, 10 - arm, 0.75))
    fill(canvas, cross, solid(colour), alpha=alpha)
    return canvas


def accent_button(state, width=120, height=36, radius=5, dpi=BASE_DPI):
    """The teal button: 120 x 36 for the start button, 100 x 32 for "重试";
    drawn unscaled into a button of that size."""
    top, bottom, edge = {
        "normal": ("#00AE9F", "#009589", "#00C9B8"),
        "hover": ("#0BC2B2", "#00A798", "#1AFEE9"),
        "pushed": ("#00897D", "#007D72", "#00A294"),
        "disabled": ("#2F6F6B", "#2A615D", "#3A807A"),
    }[state]
    canvas = new_canvas(width, height, dpi)
    body = rounded_rect(0.5, 0.5, width - 0.5, height - 0.5, radius)
    fill(canvas, body, vertical(0, hex_rgb(top), height, hex_rgb(bottom)))
    # A light inner line along the top edge gives the face some depth.
    rim = intersect(outline(inset(body, 0.5), 1.0), lambda x, y: y - 6.0)
    fill(canvas, rim, solid(hex_rgb(edge)), alpha=0.6 if state not in ("pushed", "disabled") else 0.3)
    return canvas


def ghost_button(state, dpi=BASE_DPI):
    """100 x 32, the quiet button beside "重试": an outline on a faint face."""
    face, border, alpha = {
        "normal": ("#2C3249", "#4B5575", 0.55),
        "hover": ("#343B55", "#00B6A5", 0.8),
        "pushed": ("#242A3C", "#00B6A5", 0.9),
    }[state]
    canvas = new_canvas(100, 32, dpi)
    body = rounded_rect(0.5, 0.5, 99.5, 31.5, 5)
    fill(canvas, body, solid(hex_rgb(face)), alpha=alpha)
    fill(canvas, outline(inset(body, 0.5), 1.0), solid(hex_rgb(border)))
    return canvas


def dialog_button(state, dpi=BASE_DPI):
    """62 x 34, a nine-grid picture with corner 20,0,20,0: the middle
    columns are stretched sideways, so they do not vary along x."""
    fill_top, fill_bottom, border, alpha = {
        "normal": ("#343B55", "#2C3249", "#4B5575", 1.0),
        "hover": ("#3A4461", "#313950", "#00B6A5", 1.0),
        "pushed": ("#272D41", "#242A3C", "#00B6A5", 1.0),
        "disable": ("#2A2F42", "#262B3C", "#363C52", 0.7),
    }[state]
    canvas = new_canvas(62, 34, dpi)
    body = rounded_rect(0.5, 0.5, 61.5, 33.5, 5)
    fill(canvas, body, vertical(0, hex_rgb(fill_top), 34, hex_rgb(fill_bottom)), alpha=alpha)
    fill(canvas, outline(inset(body, 0.5), 1.0), solid(hex_rgb(border)), alpha=alpha)
    return canvas


def progress_bar(fore, dpi=BASE_DPI):
    """240 x 6, the size of the progress bar: a rounded track, and the fill
    in the same shape. The fill is revealed, not squeezed, so its gradient
    stays put while the bar grows."""
    canvas = new_canvas(240, 6, dpi)
    track = rounded_rect(0.0, 0.0, 240.0, 6.0, 3.0)
    if fore:
        fill(canvas, track, horizontal(0, TEAL_DEEP, 239, TEAL_HOT))
        # A lighter top line, so the fill reads as raised above the track.
        fill(canvas, intersect(track, lambda x, y: y - 1.5), solid(WHITE), alpha=0.18)
    else:
        fill(canvas, track, solid(hex_rgb("#3A4262")))
    return canvas


def icon(size):
    """The application icon: the box with the repair badge. The small sizes
    leave out the fine detail and enlarge the badge."""
    canvas = Canvas(size, size)
    k = size / 256.0
    small = size <= 32
    edge = (112 if small else 104) * k
    box = IsoBox(112 * k, 122 * k, edge)
    box.draw(canvas, detail=not small, shadow=not small, tones=IsoBox.LIGHT)
    r = (70 if small else 52) * k
    repair_badge(canvas, box.right_bottom[0] - 8 * k, box.right_bottom[1] + 4 * k, r, glow=not small)
    return canvas


def pictures(dpi=BASE_DPI):
    """File name -> canvas, every image the skins name, drawn at DPI."""
    return {
        "bk.png": background(MAIN_W, MAIN_H, dpi),
        "logo.png": logo(dpi),
        "connect.png": connect_picture(dpi),
        "close-normal.png": close_button(False, dpi),
        "close-pushed.png": close_button(True, dpi),
        "btn-bk-normal.png": accent_button("normal", dpi=dpi),
        "btn-bk-hover.png": accent_button("hover", dpi=dpi),
        "btn-bk-pushed.png": accent_button("pushed", dpi=dpi),
        "btn-bk-disabled.png": accent_button("disabled", dpi=dpi),
        "btn-small-normal.png": accent_button("normal", 100, 32, dpi=dpi),
        "btn-small-hover.png": accent_button("hover", 100, 32, dpi=dpi),
        "btn-small-pushed.png": accent_button("pushed", 100, 32, dpi=dpi),
        "btn-ghost-normal.png": ghost_button("normal", dpi),
        "btn-ghost-hover.png": ghost_button("hover", dpi),
        "btn-ghost-pushed.png": ghost_button("pushed", dpi),
        "btn-normal2.png": dialog_button("normal", dpi),
        "btn-hover2.png": dialog_button("hover", dpi),
        "btn-pushed2.png": dialog_button("pushed", dpi),
        "btn-disable2.png": dialog_button("disable", dpi),
        "progress_bk.png": progress_bar(False, dpi),
        "progress_fore.png": progress_bar(True, dpi),
    }


def variant_name(name, suffix):
    """"bk.png" with "@2x" -> "bk@2x.png"."""
    stem, dot, extension = name.rpartition(".")
    return stem + suffix + dot + extension


def outputs():
    """(path, file bytes, canvas or None) for every file the script makes."""
    files = []
    for dpi, suffix in VARIANTS:
        for name, canvas in pictures(dpi).items():
            files.append((os.path.join(IMAGE_DIR, variant_name(name, suffix)), encode_png(canvas), canvas))
    files.append((ICON_PATH, encode_ico([icon(s) for s in ICON_SIZES]), None))
    return files


def unchanged(path, data, canvas):
    """True when the file holds these bytes, or, for a PNG, these pixels
    (another zlib may compress the same pixels differently)."""
    if not os.path.exists(path):
        return False
    with open(path, "rb") as f:
        old = f.read()
    if old == data:
        return True
    if canvas is None:
        return False
    try:
        return decode_png(old).to_rgba_bytes() == canvas.to_rgba_bytes()
    except ValueError:
        return False


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="report files that differ, write nothing")
    args = parser.parse_args()
    stale = []
    for path, data, canvas in sorted(outputs(), key=lambda f: f[0]):
        if unchanged(path, data, canvas):
            continue
        stale.append(os.path.relpath(path, RESOURCES))
        if not args.check:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
            print("wrote %s (%d bytes)" % (stale[-1], len(data)))
    if args.check and stale:
        print("out of date: " + ", ".join(stale))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
