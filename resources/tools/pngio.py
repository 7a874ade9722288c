"""PNG and ICO files with the standard library only (zlib + struct).

Images are handled as Canvas objects: float RGBA pixels with premultiplied
alpha, top row first. Writing is deterministic (no time stamps, fixed zlib
level), so rebuilding unchanged drawings gives identical files.
"""

import struct
import zlib

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


class Canvas:
    """A width x height picture; pixels are [r, g, b, a] premultiplied, 0..1."""

    def __init__(self, width, height, fill=(0.0, 0.0, 0.0, 0.0)):
        self.width = width
        self.height = height
        r, g, b, a = fill
        self.pixels = [[r * a, g * a, b * a, a] for _ in range(width * height)]

    def blend(self, x, y, rgb, alpha):
        """Source-over blend of a straight colour with the given alpha."""
        if alpha <= 0.0 or not (0 <= x < self.width and 0 <= y < self.height):
            return
        if alpha > 1.0:
            alpha = 1.0
        p = self.pixels[y * self.width + x]
        keep = 1.0 - alpha
        p[0] = rgb[0] * alpha + p[0] * keep
        p[1] = rgb[1] * alpha + p[1] * keep
        p[2] = rgb[2] * alpha + p[2] * keep
        p[3] = alpha + p[3] * keep

    def blend_premultiplied(self, x, y, src):
        if src[3] <= 0.0 or not (0 <= x < self.width and 0 <= y < self.height):
            return
        p = self.pixels[y * self.width + x]
        keep = 1.0 - src[3]
        for i in range(4):
            p[i] = src[i] + p[i] * keep

    def get(self, x, y):
        return self.pixels[y * self.width + x]

    def to_rgba_bytes(self):
        out = bytearray()
        for r, g, b, a in self.pixels:
            if a <= 0.0:
                out += b"\0\0\0\0"
                continue
            out += bytes((_byte(r / a), _byte(g / a), _byte(b / a), _byte(a)))
        return bytes(out)

    def is_opaque(self):
        return all(p[3] >= 1.0 - 0.5 / 255 for p in self.pixels)


def _byte(value):
    return max(0, min(255, int(value * 255.0 + 0.5)))


def hex_rgb(text):
    """'#RRGGBB' or 'RRGGBB' to floats."""
    text = text.lstrip("#")
    return tuple(int(text[i:i + 2], 16) / 255.0 for i in (0, 2, 4))


def _chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def _filter_rows(raw, stride, height, bpp):
    """Per row, the filter with the smallest sum of absolute differences."""
    out = bytearray()
    prior = bytes(stride)
    for y in range(height):
        row = raw[y * stride:(y + 1) * stride]
        best = None
        for kind in range(5):
            f = bytearray(stride)
            for i in range(stride):
                left = row[i - bpp] if i >= bpp else 0
                up = prior[i]
                up_left = prior[i - bpp] if i >= bpp else 0
                if kind == 0:
                    v = row[i]
                elif kind == 1:
                    v = row[i] - left
                elif kind == 2:
                    v = row[i] - up
                elif kind == 3:
                    v = row[i] - ((left + up) >> 1)
                else:
                    v = row[i] - _paeth(left, up, up_left)
                f[i] = v & 0xFF
            score = sum(v if v < 128 else 256 - v for v in f)
            if best is None or score < best[0]:
                best = (score, kind, f)
        out.append(best[1])
        out += best[2]
        prior = row
    return bytes(out)


def encode_png(canvas):
    """PNG bytes: RGB when every pixel is opaque, else RGBA; 8 bits a channel."""
    rgba = canvas.to_rgba_bytes()
    if canvas.is_opaque():
        raw = bytes(b for i, b in enumerate(rgba) if i % 4 != 3)
        colour_type, bpp = 2, 3
    else:
        raw = rgba
        colour_type, bpp = 6, 4
    stride = canvas.width * bpp
    header = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, colour_type, 0, 0, 0)
    data = zlib.compress(_filter_rows(raw, stride, canvas.height, bpp), 9)
    return PNG_SIGNATURE + _chunk(b"IHDR", header) + _chunk(b"IDAT", data) + _chunk(b"IEND", b"")


def decode_png(data):
    """A Canvas from 8-bit, non-interlaced grey, RGB or RGBA PNG bytes."""
    if data[:8] != PNG_SIGNATURE:
        raise ValueError("not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour_type, _, _, interlace = header
    channels = {0: 1, 2: 3, 4: 2, 6: 4}.get(colour_type)
    if depth != 8 or channels is None or interlace:
        raise ValueError("unsupported PNG layout")
    stride = width * channels
    raw = zlib.decompress(idat)
    rows, prior = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = row[i - channels] if i >= channels else 0
            up = prior[i]
            up_left = prior[i - channels] if i >= channels else 0
            if kind == 1:
                row[i] = (row[i] + left) & 0xFF
            elif kind == 2:
                row[i] = (row[i] + up) & 0xFF
            elif kind == 3:
                row[i] = (row[i] + ((left + up) >> 1)) & 0xFF
            elif kind == 4:
                row[i] = (row[i] + _paeth(left, up, up_left)) & 0xFF
        rows.append(row)
        prior = row
    canvas = Canvas(width, height)
    for y, row in enumerate(rows):
        for x in range(width):
            px = row[x * channels:(x + 1) * channels]
            if channels == 1:
                r = g = b = px[0]; a = 255
            elif channels == 2:
                r = g = b = px[0]; a = px[1]
            elif channels == 3:
                r, g, b = px; a = 255
            else:
                r, g, b, a = px
            af = a / 255.0
            canvas.pixels[y * width + x] = [r / 255.0 * af, g / 255.0 * af, b / 255.0 * af, af]
    return canvas


def encode_ico(canvases):
    """An icon file: sizes below 256 as 32-bit DIBs with an AND mask (every
    Windows version reads those), 256 as PNG."""
    images = []
    for canvas in canvases:
        if canvas.width >= 256:
            images.append(encode_png(canvas))
        else:
            images.append(_ico_dib(canvas))
    out = struct.pack("<HHH", 0, 1, len(canvases))
    offset = 6 + 16 * len(canvases)
    for canvas, image in zip(canvases, images):
        side = canvas.width if canvas.width < 256 else 0
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def _ico_dib(canvas):
    w, h = canvas.width, canvas.height
    rgba = canvas.to_rgba_bytes()
    mask_stride = ((w + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, w * h * 4 + mask_stride * h, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    for y in range(h - 1, -1, -1):  # bottom-up
        bits = bytearray(mask_stride)
        for x in range(w):
            i = (y * w + x) * 4
            r, g, b, a = rgba[i:i + 4]
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)
