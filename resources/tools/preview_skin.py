#!/usr/bin/env python3
"""Composes preview pictures of the program's windows from the skin files.

    python3 resources/tools/preview_skin.py [OUTPUT_DIR]

Lays the skins out with the framework's rules (vertical, horizontal and
plain containers, child layouts, floating controls, paddings and insets),
draws the background, state and progress images with their descriptors
("file", "source", "dest", "corner"), and, when ImageMagick's convert is
installed, the texts in an approximation of the skin fonts. Previews are
for looking at; they are not part of the build.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pngio import Canvas, decode_png, encode_png  # noqa: E402
from skin_layout import LEAVES, RESOURCES, SKIN_DIR, Node, find, layout, numbers  # noqa: E402

PREVIEW_FONT = "WenQuanYi-Micro-Hei"


# --- painting ------------------------------------------------------------------

_images = {}


def image(name):
    if name not in _images:
        with open(os.path.join(SKIN_DIR, name.replace("\\", "/")), "rb") as f:
            _images[name] = decode_png(f.read())
    return _images[name]


def descriptor(text):
    if "='" not in text:
        return {"file": text}
    out = {}
    for part in text.split("' "):
        key, _, value = part.partition("='")
        out[key.strip()] = value.rstrip("'")
    return out


def draw(canvas, text, rect, extra_dest=None, extra_source=None):
    d = descriptor(text)
    img = image(d["file"])
    src = numbers(d.get("source"), 4)
    if src == [0, 0, 0, 0]:
        src = [0, 0, img.width, img.height]
    if extra_source:
        src = extra_source
    dst = list(rect)
    dest = extra_dest or (numbers(d["dest"], 4) if "dest" in d else None)
    if dest:
        dst = [rect[0] + dest[0], rect[1] + dest[1], min(rect[0] + dest[2], rect[2]), min(rect[1] + dest[3], rect[3])]
    cl, ct, cr, cb = numbers(d.get("corner"), 4)
    xs_src = [src[0], src[0] + cl, src[2] - cr, src[2]]
    ys_src = [src[1], src[1] + ct, src[3] - cb, src[3]]
    xs_dst = [dst[0], dst[0] + cl, dst[2] - cr, dst[2]]
    ys_dst = [dst[1], dst[1] + ct, dst[3] - cb, dst[3]]
    for j in range(3):
        for i in range(3):
            blit(canvas, img, (xs_src[i], ys_src[j], xs_src[i + 1], ys_src[j + 1]),
                 (xs_dst[i], ys_dst[j], xs_dst[i + 1], ys_dst[j + 1]))


def blit(canvas, img, src, dst):
    sw, sh = src[2] - src[0], src[3] - src[1]
    dw, dh = dst[2] - dst[0], dst[3] - dst[1]
    if min(sw, sh, dw, dh) <= 0:
        return
    for y in range(dh):
        sy = src[1] + y * sh // dh
        for x in range(dw):
            sx = src[0] + x * sw // dw
            canvas.blend_premultiplied(dst[0] + x, dst[1] + y, img.get(sx, sy))


def paint(canvas, node, texts, states):
    if not node.visible:
        return
    if node.get("bkimage"):
        draw(canvas, node.get("bkimage"), node.rect)
    if node.kind == "button":
        state = states.get(node.get("name"), "normal")
        attr = {"normal": "normalimage", "hot": "hotimage", "pushed": "pushedimage",
                "disabled": "disabledimage"}[state]
        picture = node.get(attr) or node.get("normalimage")
        if picture:
            draw(canvas, picture, node.rect)
        colour = node.get({"hot": "hottextcolor", "pushed": "pushedtextcolor"}.get(state, "textcolor"))
        node.attrs["_colour"] = colour or node.get("textcolor")
    if node.kind == "progress":
        low, high, value = int(node.get("min", 0)), int(node.get("max", 100)), int(node.get("value", 0))
        width = node.rect[2] - node.rect[0]
        part = width * (value - low) // max(1, high - low)
        height = node.rect[3] - node.rect[1]
        if node.get("foreimage") and part > 0:
            draw(canvas, node.get("foreimage"), node.rect, [0, 0, part, height], [0, 0, part, height])
    if node.kind in LEAVES and node.get("text"):
        texts.append(node)
    for child in node.children:
        paint(canvas, child, texts, states)


def render_texts(canvas, nodes):
    if not shutil.which("convert"):
        return
    with tempfile.TemporaryDirectory() as tmp:
        for i, node in enumerate(nodes):
            l, t, r, b = node.rect
            pad = numbers(node.get("textpadding", "2,0,2,0" if node.kind == "text" else "0,0,0,0"), 4)
            w, h = (r - l) - pad[0] - pad[2], (b - t) - pad[1] - pad[3]
            if w <= 0 or h <= 0:
                continue
            size, bold = node.fonts.get(node.get("font", "-1"), node.fonts["default"])
            colour = "#" + (node.attrs.get("_colour") or node.get("textcolor") or "#FF000000")[-6:]
            align = node.get("align")
            gravity = "Center" if "center" in align or node.kind == "progress" else (
                "East" if "right" in align else "West")
            out = os.path.join(tmp, "t%d.png" % i)
            command = ["convert", "-background", "none", "-fill", colour, "-font", PREVIEW_FONT,
                       "-pointsize", str(size), "-size", "%dx%d" % (w, h), "-gravity", gravity]
            if bold:
                command += ["-stroke", colour, "-strokewidth", "0.6"]
            command += ["label:" + node.get("text"), "PNG32:" + out]
            subprocess.run(command, check=True)
            with open(out, "rb") as f:
                text = decode_png(f.read())
            for y in range(min(h, text.height)):
                for x in range(min(w, text.width)):
                    canvas.blend_premultiplied(l + pad[0] + x, t + pad[1] + y, text.get(x, y))


def window(skin, setup=None, states=None):
    laid = layout(skin, setup)
    canvas = Canvas(*laid.size, (0, 0, 0, 1))
    texts = []
    paint(canvas, laid.root, texts, states or {})
    render_texts(canvas, texts)
    return canvas


def show_page(number, progress=None):
    def setup(root):
        for i in (1, 2, 3):
            find(root, "repair_step%d" % i).attrs["visible"] = "true" if i == number else "false"
        if progress is not None:
            bar = find(root, "repair_progress")
            bar.attrs["max"] = "600"
            bar.attrs["value"] = str(progress)
    return setup


def add_adapters(root):
    for i, text in enumerate(["Realtek PCIe GbE Family Controller", "Intel(R) Ethernet Connection I219-V"]):
        entry = ET.Element("button", {"name": "adapter", "text": text, "height": "16", "padding": "0,5,0,0",
                                      "textcolor": "#FF01D7C6" if i == 1 else "#FFFFFFFF", "align": "left"})
        root.children.append(Node(entry, root.fonts))


def set_alert(root):
    find(root, "lb_title").attrs["text"] = "瓦川RAvozoder"
    find(root, "lb_content").attrs["text"] = "修复程序正在运行"


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(RESOURCES, "tools", "preview")
    os.makedirs(out, exist_ok=True)
    previews = {
        "page1.png": window("repair.xml", show_page(1)),
        "page1-hot.png": window("repair.xml", show_page(1), {"repair_btn_step1": "hot",
                                                             "repair_btn_close": "hot"}),
        "page2.png": window("repair.xml", show_page(2, 400)),
        "page3.png": window("repair.xml", show_page(3), {"repair_btn_step3": "hot"}),
        "adapter.png": window("adapter.xml", add_adapters),
        "alert.png": window("common_alert_box.xml", set_alert),
        "alert-hot.png": window("common_alert_box.xml", set_alert, {"bt_close_down": "hot", "bt_close": "pushed"}),
    }
    for name, canvas in previews.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(encode_png(canvas))
        print("wrote", os.path.join(out, name))


if __name__ == "__main__":
    main()
