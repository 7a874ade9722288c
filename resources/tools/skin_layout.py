"""The skin layouts laid out by the framework's rules, standard library only.

Vertical, horizontal and plain containers, child layouts, floating controls,
paddings and insets, as uiframework/layout/box_layout.cpp and
uiframework/core/container.cpp place them. A label or button without a
height is as high as its font's text plus 4 (label) or 8 (button); the text
height is that of the face the test prefixes draw the skin's fonts with
(WenQuanYi Micro Hei, see tests/e2e/lib/wine-gui.sh), read from the font
file.

    window = layout("repair.xml", setup)   # setup(root) may change the tree first
    find(window.root, "repair_btn_step1").rect   -> (left, top, right, bottom)
"""

import functools
import os
import struct
import xml.etree.ElementTree as ET

RESOURCES = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SKIN_DIR = os.path.join(RESOURCES, "skin")
CONTAINERS = {"verticallayout", "horizontallayout", "container", "childlayout"}
LEAVES = {"label", "text", "button", "progress"}
EXTRA_HEIGHT = {"label": 4, "text": 4, "progress": 4, "button": 8}
TEXT_FACE = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"


def numbers(text, count):
    parts = [int(p) for p in text.split(",")] if text else []
    return (parts + [0] * count)[:count]


@functools.lru_cache(maxsize=None)
def face_metrics(path=TEXT_FACE):
    """(units per em, Windows ascent, Windows descent) of the first face of a
    TrueType file or collection, or None when it cannot be read."""
    try:
        with open(path, "rb") as f:
            data = f.read()
        base = struct.unpack_from(">I", data, 12)[0] if data[:4] == b"ttcf" else 0
        tables = {}
        for i in range(struct.unpack_from(">H", data, base + 4)[0]):
            tag, _, offset, _ = struct.unpack_from(">4sIII", data, base + 12 + 16 * i)
            tables[tag] = offset
        units = struct.unpack_from(">H", data, tables[b"head"] + 18)[0]
        ascent, descent = struct.unpack_from(">HH", data, tables[b"OS/2"] + 74)
        return units, ascent, descent
    except (OSError, KeyError, struct.error):
        return None


def text_height(size):
    """The cell height (GDI's tmHeight) of a font whose characters are SIZE
    pixels high."""
    metrics = face_metrics()
    if metrics is None:
        return round(size * 7 / 6)  # about what the test face gives
    units, ascent, descent = metrics
    return round(size * ascent / units) + round(size * descent / units)


class Node:
    def __init__(self, element, fonts):
        self.kind = element.tag.lower()
        self.attrs = dict(element.attrib)
        self.fonts = fonts
        self.rect = (0, 0, 0, 0)
        self.state = "normal"
        if self.kind == "childlayout" and self.attrs.get("xmlfile"):
            self.children = load(self.attrs["xmlfile"], fonts)[0][:1]
        else:
            self.children = [Node(c, fonts) for c in element if c.tag.lower() in CONTAINERS | LEAVES]

    def get(self, name, default=""):
        return self.attrs.get(name, default)

    @property
    def visible(self):
        return self.get("visible", "true") == "true"

    @property
    def floating(self):
        return self.get("float") == "true"

    def padding(self):
        return numbers(self.get("padding"), 4)

    def fixed(self):
        if "pos" in self.attrs:
            l, t, r, b = numbers(self.get("pos"), 4)
            return r - l, b - t
        return int(self.get("width", 0)), int(self.get("height", 0))

    def desired(self):
        w, h = self.fixed()
        if h == 0 and self.kind in LEAVES:
            size, _ = self.fonts.get(self.get("font", "-1"), self.fonts["default"])
            h = text_height(size) + EXTRA_HEIGHT[self.kind]
        return w, h


def load(name, fonts):
    """The top-level nodes of a layout file and its Window attributes."""
    element = ET.parse(os.path.join(SKIN_DIR, name)).getroot()
    window = {}
    if element.tag.lower() == "window":
        window = dict(element.attrib)
        for font in element.iter("Font"):
            entry = (int(font.get("size", "12")), font.get("bold") == "true")
            fonts[font.get("id")] = entry
            if font.get("default") == "true":
                fonts["default"] = entry
    return [Node(c, fonts) for c in element if c.tag.lower() in CONTAINERS | LEAVES], window


def place(node, rect):
    node.rect = rect
    if node.kind not in CONTAINERS:
        return
    inset = numbers(node.get("inset"), 4)
    inner = (rect[0] + inset[0], rect[1] + inset[1], rect[2] - inset[2], rect[3] - inset[3])
    shown = [c for c in node.children if c.visible]
    for child in shown:
        if child.floating:
            l, t, r, b = numbers(child.get("pos"), 4)
            place(child, (rect[0] + l, rect[1] + t, rect[0] + r, rect[1] + b))
    stacked = [c for c in shown if not c.floating]
    if node.kind in ("container", "childlayout"):
        # A plain container ignores the child's padding and fixed size.
        for child in stacked:
            place(child, inner)
    else:
        stack(stacked, inner, node.kind == "verticallayout", int(node.get("childpadding", 0)))


def stack(children, inner, vertical, gap):
    """The layouts' two passes along one axis: fixed sizes and paddings
    first, then the rest shared by the children without a fixed size."""
    a0, a1 = (1, 3) if vertical else (0, 2)  # primary axis: top/bottom or left/right
    b0, b1 = (0, 2) if vertical else (1, 3)
    available = inner[a1] - inner[a0]
    cross = inner[b1] - inner[b0]
    fixed_total, stretchable = 0, 0
    for child in children:
        size = child.desired()[1 if vertical else 0]
        pad = child.padding()
        fixed_total += size + pad[a0] + pad[a1]
        stretchable += size == 0
    fixed_total += gap * max(0, len(children) - 1)
    share = max(0, (available - fixed_total) // stretchable) if stretchable else 0
    pos, remaining, remaining_fixed, left = inner[a0], available, fixed_total, stretchable
    for child in children:
        pad = child.padding()
        remaining -= pad[a0]
        size = child.desired()[1 if vertical else 0]
        if size:
            remaining_fixed -= size
        else:
            left -= 1
            size = share if left else max(0, remaining - pad[a1] - remaining_fixed)
        other = child.desired()[0 if vertical else 1] or max(0, cross - pad[b0] - pad[b1])
        start = pos + pad[a0]
        if vertical:
            place(child, (inner[0] + pad[0], start, inner[0] + pad[0] + other, start + size + pad[3]))
        else:
            place(child, (start, inner[1] + pad[1], start + size + pad[2], inner[1] + pad[1] + other))
        pos += size + gap + pad[a0] + pad[a1]
        remaining -= size + gap + pad[a1]


class Window:
    def __init__(self, root, attrs):
        self.root = root
        self.attrs = attrs
        self.size = tuple(numbers(attrs["size"], 2))


def layout(skin, setup=None):
    """Window SKIN laid out at its size; SETUP(root) runs before the layout."""
    fonts = {"default": (12, False)}
    roots, attrs = load(skin, fonts)
    if setup:
        setup(roots[0])
    window = Window(roots[0], attrs)
    place(roots[0], (0, 0) + window.size)
    return window


def find(node, name):
    if node.get("name") == name:
        return node
    for child in node.children:
        found = find(child, name)
        if found:
            return found
    return None
