#!/usr/bin/env python3
"""Packs files into a ZIP archive that is the same bytes on every build.

usage: pack_zip.py OUT.zip [--dir DIR] ENTRY...
ENTRY is NAME (the file DIR/NAME) or NAME=FILE. Entries are stored in the
order given, all with the same time stamp, no owner, permissions or other
extra fields, deflated (or stored when deflating does not make them
smaller). A name outside ASCII is written in code page 936, which the
archive tools of Chinese Windows read, with its UTF-8 spelling beside it in
an Info-ZIP Unicode Path field for the tools that know one.
"""
import os
import struct
import sys
import zlib

# 2024-01-01 00:00:00 as MS-DOS date and time (local time, no zone).
DOS_TIME = 0
DOS_DATE = ((2024 - 1980) << 9) | (1 << 5) | 1
VERSION = 20  # 2.0: deflate; "made by" MS-DOS, so no Unix attributes
UNICODE_PATH = 0x7075
LIMIT = 0xFFFFFFFF  # no ZIP64


class PackError(Exception):
    pass


def encode_name(name):
    """The header's name bytes and the extra field that goes with them."""
    if "\\" in name or name.startswith("/") or not name:
        raise PackError(f"bad entry name {name!r}")
    try:
        return name.encode("ascii"), b""
    except UnicodeEncodeError:
        pass
    try:
        legacy = name.encode("cp936")
    except UnicodeEncodeError as e:
        raise PackError(f"entry name {name!r} has no code page 936 spelling") from e
    field = struct.pack("<BI", 1, zlib.crc32(legacy)) + name.encode("utf-8")
    return legacy, struct.pack("<HH", UNICODE_PATH, len(field)) + field


def compress(data):
    packer = zlib.compressobj(9, zlib.DEFLATED, -15, 9)
    deflated = packer.compress(data) + packer.flush()
    return (8, deflated) if len(deflated) < len(data) else (0, data)


def pack(entries):
    """entries: (name, bytes) pairs in order; returns the archive's bytes."""
    out = bytearray()
    directory = bytearray()
    seen = set()
    for name, data in entries:
        if name in seen:
            raise PackError(f"entry {name!r} given twice")
        seen.add(name)
        raw_name, extra = encode_name(name)
        method, payload = compress(data)
        if len(data) > LIMIT or len(out) + len(payload) > LIMIT:
            raise PackError(f"entry {name!r}: the archive would pass 4 GB")
        crc = zlib.crc32(data)
        common = struct.pack("<HHHHHIIIHH", VERSION, 0, method, DOS_TIME, DOS_DATE, crc, len(payload), len(data),
                             len(raw_name), len(extra))
        directory += (struct.pack("<IH", 0x02014B50, VERSION) + common +
                      struct.pack("<HHHII", 0, 0, 0, 0, len(out)) + raw_name + extra)
        out += struct.pack("<I", 0x04034B50) + common + raw_name + extra + payload
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(seen), len(seen), len(directory), len(out), 0)
    return bytes(out + directory + end)


def parse(argv):
    if len(argv) < 2 or argv[0].startswith("-"):
        raise PackError("usage: pack_zip.py OUT.zip [--dir DIR] ENTRY...")
    out, rest, base = argv[0], argv[1:], "."
    if rest[:1] == ["--dir"]:
        if len(rest) < 2:
            raise PackError("--dir needs a folder")
        base, rest = rest[1], rest[2:]
    if not rest:
        raise PackError("no entries")
    pairs = []
    for entry in rest:
        name, _, path = entry.partition("=")
        pairs.append((name, path or os.path.join(base, name)))
    return out, pairs


def main(argv):
    try:
        out, pairs = parse(argv[1:])
        entries = []
        for name, path in pairs:
            with open(path, "rb") as f:
                entries.append((name, f.read()))
        archive = pack(entries)
    except (OSError, PackError) as e:
        print(f"pack_zip: {e}", file=sys.stderr)
        return 1
    # Written beside and renamed, so that a failed run leaves no half archive.
    with open(out + ".part", "wb") as f:
        f.write(archive)
    os.replace(out + ".part", out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
