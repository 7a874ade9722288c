#!/usr/bin/env python3
"""Looks into a 32-bit Windows executable as it is handed out.

usage:
  release_exe.py check EXE [--version X.Y.Z] [--max-bytes N] [--absent TEXT]...
      the header as a release needs it: no link time stamp, ASLR
      (DYNAMIC_BASE, relocations kept) and DEP (NX_COMPAT), stripped (no
      symbol table, no debug sections); optionally the version resource's
      numbers, the file's size limit, and texts (narrow or UTF-16) that must
      not occur anywhere in the file, such as the build's folders.
      Prints one line per check; exit code 1 when one fails.
  release_exe.py version EXE
      prints the version resource's file version, X.Y.Z.W
  release_exe.py diff A B
      where two files differ: the count of differing bytes per section
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import pe_resource  # noqa: E402  (beside the wizard's roads)

DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
RELOCS_STRIPPED = 0x0001
RELOC_DIRECTORY = 5


class Pe:
    def __init__(self, data):
        if data[:2] != b"MZ":
            raise pe_resource.PeError("not an MZ executable")
        pe = pe_resource.u32(data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise pe_resource.PeError("no PE header")
        (self.machine, count, self.timestamp, self.symbols_at, self.symbols, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        if pe_resource.u16(data, optional) != 0x10B:
            raise pe_resource.PeError("not a 32-bit image")
        self.dll_characteristics = pe_resource.u16(data, optional + 70)
        self.directories = [struct.unpack_from("<II", data, optional + 96 + 8 * i) for i in range(16)]
        self.header_end = optional + optional_size + 40 * count
        self.sections = []
        for i in range(count):
            at = optional + optional_size + 40 * i
            name = data[at:at + 8].rstrip(b"\0").decode("latin-1")
            raw_size, raw_offset = struct.unpack_from("<II", data, at + 16)
            self.sections.append((name, raw_offset, raw_size))


def file_version(data):
    """The version resource's fixed file version as a tuple of four numbers."""
    info = pe_resource.extract(data, 16, 1)
    at = info.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        raise pe_resource.PeError("the version resource has no fixed file information")
    ms, ls = struct.unpack_from("<II", info, at + 8)
    return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def checks(data, version=None, max_bytes=None, absent=()):
    """(name, passed, detail) for each check of a release executable."""
    pe = Pe(data)
    reloc_size = pe.directories[RELOC_DIRECTORY][1]
    debug_sections = [name for name, _, _ in pe.sections if name.startswith((".debug", "/"))]
    found = [
        ("no link time stamp", pe.timestamp == 0, f"TimeDateStamp {pe.timestamp:#x}"),
        ("ASLR: DYNAMIC_BASE", bool(pe.dll_characteristics & DYNAMIC_BASE),
         f"DllCharacteristics {pe.dll_characteristics:#06x}"),
        ("ASLR: relocations kept", reloc_size > 0 and not pe.characteristics & RELOCS_STRIPPED,
         f"{reloc_size} bytes of base relocations, Characteristics {pe.characteristics:#06x}"),
        ("DEP: NX_COMPAT", bool(pe.dll_characteristics & NX_COMPAT),
         f"DllCharacteristics {pe.dll_characteristics:#06x}"),
        ("stripped", pe.symbols_at == 0 and pe.symbols == 0 and not debug_sections,
         f"{pe.symbols} symbols, debug sections {debug_sections or 'none'}"),
    ]
    if version is not None:
        wanted = tuple(int(n) for n in version.split(".")) + (0,)
        got = file_version(data)
        found.append(("version resource", got == wanted, ".".join(map(str, got))))
    if max_bytes is not None:
        found.append((f"at most {max_bytes} bytes", len(data) <= max_bytes, f"{len(data)} bytes"))
    for text in absent:
        places = [data.find(text.encode(encoding)) for encoding in ("utf-8", "utf-16-le")]
        found.append((f"no {text!r} inside", all(p < 0 for p in places),
                      ", ".join(f"at {p:#x}" for p in places if p >= 0) or "not found"))
    return found


def differences(a, b):
    """(part, differing bytes) of two executables of the same layout."""
    pe = Pe(a)
    parts = [("headers", 0, pe.header_end)] + [(n, o, o + s) for n, o, s in pe.sections]
    parts.append(("after the sections", max(end for _, _, end in parts), max(len(a), len(b))))
    counted = []
    for name, start, end in parts:
        n = sum(1 for x, y in zip(a[start:end], b[start:end]) if x != y) + abs(
            len(a[start:end]) - len(b[start:end]))
        if n:
            counted.append((name, n))
    return counted


def main(argv):
    if len(argv) < 3 or argv[1] not in ("check", "version", "diff"):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    command, exe = argv[1], argv[2]
    try:
        with open(exe, "rb") as f:
            data = f.read()
        if command == "version":
            print(".".join(map(str, file_version(data))))
            return 0
        if command == "diff":
            with open(argv[3], "rb") as f:
                other = f.read()
            print(f"{len(data)} and {len(other)} bytes")
            for name, n in differences(data, other):
                print(f"  {name}: {n} bytes differ")
            return 0
        options = {"--version": None, "--max-bytes": None}
        absent = []
        rest = argv[3:]
        while rest:
            if rest[0] == "--absent" and len(rest) > 1:
                absent.append(rest[1])
            elif rest[0] in options and len(rest) > 1:
                options[rest[0]] = rest[1]
            else:
                raise ValueError(f"bad argument {rest[0]!r}")
            rest = rest[2:]
        max_bytes = int(options["--max-bytes"]) if options["--max-bytes"] else None
        results = checks(data, options["--version"], max_bytes, absent)
    except (OSError, IndexError, ValueError, struct.error, pe_resource.PeError) as e:
        print(f"release_exe: {exe}: {e}", file=sys.stderr)
        return 1
    for name, passed, detail in results:
        print(f"{'ok  ' if passed else 'FAIL'} {name}: {detail}")
    return 0 if all(passed for _, passed, _ in results) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
