#!/usr/bin/env python3
"""Copies one resource out of a 32-bit Windows executable.

usage: pe_resource.py EXE TYPE ID OUT
TYPE is a resource type name ("FIRMWARE") or number, ID a number; the first
language found is taken. Exits 1 with a message when the file is not a PE
image or holds no such resource.
"""
import struct
import sys


class PeError(Exception):
    pass


def u16(data, offset):
    return struct.unpack_from("<H", data, offset)[0]


def u32(data, offset):
    return struct.unpack_from("<I", data, offset)[0]


def image_headers(data):
    """The optional header's offset and the sections, (virtual size, RVA,
    raw size, raw offset) each, of a 32-bit PE image."""
    if data[:2] != b"MZ":
        raise PeError("not an MZ executable")
    pe = u32(data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise PeError("no PE header")
    sections, optional_size = u16(data, pe + 6), u16(data, pe + 20)
    optional = pe + 24
    if u16(data, optional) != 0x10B:
        raise PeError("not a 32-bit image")
    table = optional + optional_size
    return optional, [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(sections)]


def resource_section(data):
    optional, sections = image_headers(data)
    rsrc_rva = u32(data, optional + 96 + 2 * 8)
    if rsrc_rva == 0:
        raise PeError("no resources")
    for virtual_size, rva, raw_size, raw_offset in sections:
        if rva <= rsrc_rva < rva + max(virtual_size, raw_size):
            base = raw_offset + (rsrc_rva - rva)
            return base, lambda r: raw_offset + (r - rva)
    raise PeError("resource directory outside every section")


def entries(data, base, directory):
    named, numbered = u16(data, base + directory + 12), u16(data, base + directory + 14)
    for i in range(named + numbered):
        name, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
        if name & 0x80000000:
            at = base + (name & 0x7FFFFFFF)
            key = data[at + 2:at + 2 + 2 * u16(data, at)].decode("utf-16-le")
        else:
            key = name
        yield key, target


def find(data, base, directory, key):
    for name, target in entries(data, base, directory):
        if name == key or (isinstance(name, str) and isinstance(key, str) and name.upper() == key.upper()):
            return target
    raise PeError(f"no resource entry {key!r}")


def extract(data, type_key, id_key):
    base, to_offset = resource_section(data)
    level = find(data, base, 0, type_key)
    level = find(data, base, level & 0x7FFFFFFF, id_key)
    if level & 0x80000000:  # languages: the first one
        level = next(entries(data, base, level & 0x7FFFFFFF))[1]
    rva, size = struct.unpack_from("<II", data, base + level)
    start = to_offset(rva)
    if start + size > len(data):
        raise PeError("resource data beyond the end of the file")
    return data[start:start + size]


def main(argv):
    if len(argv) != 5:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    exe, type_arg, id_arg, out = argv[1:]
    type_key = int(type_arg) if type_arg.isdigit() else type_arg
    try:
        with open(exe, "rb") as f:
            payload = extract(f.read(), type_key, int(id_arg))
    except (OSError, PeError, struct.error) as e:
        print(f"pe_resource: {exe}: {e}", file=sys.stderr)
        return 1
    with open(out, "wb") as f:
        f.write(payload)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
