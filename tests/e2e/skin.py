#!/usr/bin/env python3
"""Where the wizard's windows put things, and what a screenshot shows,
read from the skin files (resources/skin) at run time.

    skin.py points        "KEY X Y" lines: window sizes and click points
    skin.py look SHOT [CACHE]
                          "PAGE BAR": page1, page2, failed (page 2's failure
                          face), page3 or other, and the progress bar's value
                          (0..kProgressMax) in a shot of the wizard
    skin.py hot SHOT I    exit 0 when picker entry I shows its hot text colour
    skin.py text SHOT NAME
                          exit 0 when the wizard's page-1 control NAME shows
                          text in its colour

Click points are the centres of the controls as the framework lays the skins
out. The picker's entries, the bar's range and the entries' hot colour are
the program's own (forms/, repair/): read from its source, by the constants'
names.
Screenshots are read through ImageMagick's convert.

On a screen of another DPI (the environment's WIZ_DPI, default 96) every
rectangle and size is the 96-DPI one scaled the framework's way, edge by
edge: floor(v * dpi / 96 + 1/2).
"""

import glob
import json
import os
import re
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "resources", "tools"))
from pngio import decode_png  # noqa: E402
from skin_layout import SKIN_DIR, find, layout, numbers  # noqa: E402

WIZARD, PICKER, ALERT = "repair.xml", "adapter.xml", "common_alert_box.xml"
DPI = int(os.environ.get("WIZ_DPI") or 96)
PICKER_ENTRIES = 8  # the most the picker lists
TOLERANCE = 24      # per channel: the window system's colours are exact, text edges are not


class SkinError(Exception):
    pass


def px(value):
    """A 96-DPI length or coordinate in pixels at DPI."""
    return (value * DPI + 48) // 96 if value >= 0 else -((-value * DPI + 48) // 96)


def scaled(window):
    """WINDOW (laid out at 96 DPI) with every rectangle and its size at DPI."""
    def walk(node):
        node.rect = tuple(px(v) for v in node.rect)
        for child in node.children:
            walk(child)
    walk(window.root)
    window.size = tuple(px(v) for v in window.size)
    return window


def laid_out(skin, setup=None):
    return scaled(layout(skin, setup))


def program_constant(name):
    """The value of `constexpr ... NAME = VALUE;` in forms/ or repair/."""
    pattern = re.compile(r"constexpr\s+[\w:]+\s+" + name + r"\s*=\s*(0x[0-9A-Fa-f]+|\d+)\s*;")
    for path in sorted(glob.glob(os.path.join(ROOT, "forms", "*.[ch]*")) +
                       glob.glob(os.path.join(ROOT, "repair", "*.h"))):
        with open(path, encoding="utf-8") as f:
            match = pattern.search(f.read())
        if match:
            return int(match.group(1), 0)
    raise SkinError(f"no constant {name} in forms/ or repair/")


def page(number):
    def show(root):
        for i in (1, 2, 3):
            find(root, f"repair_step{i}").attrs["visible"] = "true" if i == number else "false"
    return show


def failure_face(root):
    """Page 2 as the window shows it when the repair failed."""
    page(2)(root)
    for name, visible in (("repair_status_row", "false"), ("repair_progress", "false"),
                          ("repair_failure", "true"), ("repair_failure_buttons", "true")):
        find(root, name).attrs["visible"] = visible


def control(window, name):
    node = find(window.root, name)
    if node is None:
        raise SkinError(f"no control {name}")
    return node


def centre(rect):
    return (rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2


def picker_entries():
    """The rectangles of the entries the program adds to the picker's list,
    at DPI."""
    window = layout(PICKER)
    box = control(window, "adapter_list")
    inset = numbers(box.get("inset"), 4)
    top = max([c.rect[3] for c in box.children if c.visible], default=box.rect[1] + inset[1])
    height, gap = program_constant("kEntryHeight"), program_constant("kEntryGap")
    left, right = box.rect[0] + inset[0], box.rect[2] - inset[2]
    rects = []
    for _ in range(PICKER_ENTRIES):
        rects.append(tuple(px(v) for v in (left, top + gap, right, top + gap + height)))
        top += gap + height
    return rects


def points():
    lines = []
    wizard = laid_out(WIZARD, page(1))
    lines.append(("wizard.size",) + wizard.size)
    lines.append(("wizard.start",) + centre(control(wizard, "repair_btn_step1").rect))
    lines.append(("wizard.close",) + centre(control(wizard, "repair_btn_close").rect))
    lines.append(("wizard.done",) + centre(control(laid_out(WIZARD, page(3)), "repair_btn_step3").rect))
    failed = laid_out(WIZARD, failure_face)
    lines.append(("wizard.retry",) + centre(control(failed, "repair_btn_retry").rect))
    lines.append(("wizard.quit",) + centre(control(failed, "repair_btn_quit").rect))
    lines.append(("picker.size",) + laid_out(PICKER).size)
    for i, rect in enumerate(picker_entries()):
        lines.append((f"picker.entry.{i}",) + centre(rect))
    alert = laid_out(ALERT)
    lines.append(("alert.size",) + alert.size)
    lines.append(("alert.close",) + centre(control(alert, "bt_close_down").rect))
    for line in lines:
        print(*line)


# --- pictures -------------------------------------------------------------------


class Picture:
    """8-bit RGB pixels of a screenshot."""

    def __init__(self, path):
        with open(path, "rb") as f:
            header = f.read(24)
        if header[:8] != b"\x89PNG\r\n\x1a\n":
            raise SkinError(f"{path}: not a PNG file")
        self.width, self.height = struct.unpack(">II", header[16:24])
        self.data = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True,
                                   capture_output=True).stdout
        if len(self.data) != 3 * self.width * self.height:
            raise SkinError(f"{path}: unreadable")

    def get(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            return None
        i = 3 * (y * self.width + x)
        return tuple(self.data[i:i + 3])


def near(a, b, tolerance=TOLERANCE):
    return a is not None and all(abs(p - q) <= tolerance for p, q in zip(a, b))


def skin_image(name):
    """A skin picture as rows of (r, g, b, opaque) in 0..255."""
    name = re.sub(r"^file='([^']*)'.*$", r"\1", name)
    with open(os.path.join(SKIN_DIR, name.replace("\\", "/")), "rb") as f:
        canvas = decode_png(f.read())
    rows = []
    for y in range(canvas.height):
        row = []
        for x in range(canvas.width):
            r, g, b, a = canvas.get(x, y)
            straight = [round(255 * c / a) if a > 0 else 0 for c in (r, g, b)]
            row.append((*straight, a >= 0.99))
        rows.append(row)
    return rows


def argb(text):
    value = int(text.lstrip("#"), 16)
    return (value >> 16) & 255, (value >> 8) & 255, value & 255


def image_pixels(rect, image, step=2):
    """(x, y, r, g, b) of IMAGE's opaque pixels stretched to RECT, every
    STEP-th row and column."""
    w, h = rect[2] - rect[0], rect[3] - rect[1]
    pixels = []
    for y in range(0, h, step):
        row = image[y * len(image) // h]
        for x in range(0, w, step):
            r, g, b, solid = row[x * len(row) // w]
            if solid:
                pixels.append((rect[0] + x, rect[1] + y, r, g, b))
    return pixels


def colour_count(picture, rect, colours, tolerance=TOLERANCE):
    return sum(any(near(picture.get(x, y), c, tolerance) for c in colours)
               for y in range(rect[1], rect[3]) for x in range(rect[0], rect[2]))


def references():
    """What the pages look like where they differ, from the skin: the start
    button's images (page 1), the bar's fore and back images (pages 2 and 3),
    the done button's text colours (page 3)."""
    start = control(laid_out(WIZARD, page(1)), "repair_btn_step1")
    retry = control(laid_out(WIZARD, failure_face), "repair_btn_retry")
    bar = control(laid_out(WIZARD, page(2)), "repair_progress")
    done = control(laid_out(WIZARD, page(3)), "repair_btn_step3")
    width = bar.rect[2] - bar.rect[0]
    # The bar's middle row: its ends are rounded, its top row partly clear.
    middle = (bar.rect[3] - bar.rect[1]) // 2
    fore_image, back_image = skin_image(bar.get("foreimage")), skin_image(bar.get("bkimage"))
    fore = fore_image[middle * len(fore_image) // max(1, bar.rect[3] - bar.rect[1])]
    back = back_image[middle * len(back_image) // max(1, bar.rect[3] - bar.rect[1])]
    return {
        "start": [image_pixels(start.rect, skin_image(start.get(state)))
                  for state in ("normalimage", "hotimage", "pushedimage") if start.get(state)],
        "retry": [image_pixels(retry.rect, skin_image(retry.get(state)))
                  for state in ("normalimage", "hotimage", "pushedimage") if retry.get(state)],
        "bar": [bar.rect[0], bar.rect[1] + middle,
                [fore[x * len(fore) // width][:3] for x in range(width)],
                [back[x * len(back) // width][:3] for x in range(width)]],
        "done": [done.rect, [argb(done.get(a)) for a in ("textcolor", "hottextcolor", "pushedtextcolor")
                             if done.get(a)]],
        "max": program_constant("kProgressMax"),
    }


def cached_references(cache):
    """The references, kept in CACHE (a file of the caller's) between calls:
    a screenshot is looked at several times a second."""
    if cache and os.path.exists(cache):
        with open(cache, encoding="utf-8") as f:
            return json.load(f)
    found = references()
    if cache:
        with open(cache + ".tmp", "w", encoding="utf-8") as f:
            json.dump(found, f)
        os.replace(cache + ".tmp", cache)
    return found


def look(path, cache=None):
    picture = Picture(path)
    ref = cached_references(cache)
    def share(images):
        """The best share of an image's pixels found in place."""
        return max(sum(near(picture.get(x, y), (r, g, b)) for x, y, r, g, b in pixels) / max(1, len(pixels))
                   for pixels in images)

    start_shown = share(ref["start"])
    retry_shown = share(ref["retry"])
    left, top, fore, back = ref["bar"]
    filled = drawn = 0
    for x, (f, b) in enumerate(zip(fore, back)):
        pixel = picture.get(left + x, top)
        filled += near(pixel, f)
        drawn += near(pixel, f) or near(pixel, b)
    rect, colours = ref["done"]
    width = len(fore)
    if start_shown >= 0.5:
        shown = "page1"
    elif retry_shown >= 0.5:
        shown = "failed"
    elif drawn >= width - 4 and colour_count(picture, rect, colours) >= 20:
        shown = "page3"
    elif drawn >= width - 4:
        shown = "page2"
    else:
        shown = "other"
    print(shown, f"{filled * ref['max'] / width:g}")


def entry_hot(path, index):
    picture = Picture(path)
    hot = argb("%08X" % program_constant("kEntryHotColor"))
    # Text edges blend the colour with the background: a wider tolerance.
    return colour_count(picture, picker_entries()[index], [hot], 48) >= 10


def page1_text(path, name):
    def shown(root):
        page(1)(root)
        find(root, name).attrs["visible"] = "true"
    label = control(laid_out(WIZARD, shown), name)
    return colour_count(Picture(path), label.rect, [argb(label.get("textcolor"))], 48) >= 10


def main(argv):
    try:
        if argv[1:] == ["points"]:
            points()
            return 0
        if len(argv) in (3, 4) and argv[1] == "look":
            look(argv[2], argv[3] if len(argv) == 4 else None)
            return 0
        if len(argv) == 4 and argv[1] == "hot":
            return 0 if entry_hot(argv[2], int(argv[3])) else 1
        if len(argv) == 4 and argv[1] == "text":
            return 0 if page1_text(argv[2], argv[3]) else 1
    except (OSError, SkinError, json.JSONDecodeError, subprocess.CalledProcessError, ValueError) as e:
        print(f"skin.py: {e}", file=sys.stderr)
        return 2
    print(__doc__.strip(), file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
