#!/usr/bin/env python3
"""Writes the module-definition file of a DLL that stands in for another.

usage: forwarding_def.py DLL TARGET OUT [NAME=SYMBOL...]
Every function DLL (a 32-bit PE file) exports by name is exported again,
forwarded to the module TARGET (TARGET.name), except the NAMEs given, which
are exported from the stand-in's own SYMBOLs. Exits 1 with a message when
DLL is not a 32-bit PE image with exports, or lacks a NAME.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from pe_resource import PeError, image_headers, u32  # noqa: E402


def exported_names(data):
    optional, sections = image_headers(data)

    def offset(rva):
        for virtual_size, start, raw_size, raw_offset in sections:
            if start <= rva < start + max(virtual_size, raw_size):
                return raw_offset + rva - start
        raise PeError(f"RVA {rva:#x} outside every section")

    export_rva = u32(data, optional + 96)
    if export_rva == 0:
        raise PeError("no exports")
    directory = offset(export_rva)
    count, names = u32(data, directory + 24), offset(u32(data, directory + 32))
    result = []
    for i in range(count):
        at = offset(u32(data, names + 4 * i))
        result.append(data[at:data.index(b"\0", at)].decode("ascii"))
    return result


def main(argv):
    if len(argv) < 4:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    dll, target, out = argv[1:4]
    own = dict(arg.split("=", 1) for arg in argv[4:])
    try:
        with open(dll, "rb") as f:
            names = exported_names(f.read())
        missing = sorted(set(own) - set(names))
        if missing:
            raise PeError(f"exports no {', '.join(missing)}")
    except (OSError, PeError, ValueError, IndexError) as e:
        print(f"forwarding_def: {dll}: {e}", file=sys.stderr)
        return 1
    with open(out, "w") as f:
        f.write("EXPORTS\n")
        for name in names:
            f.write(f"  {name} = {own[name]}\n" if name in own else f"  {name} = {target}.{name}\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
