#!/usr/bin/env python3
"""Checks that a 32-bit Windows executable imports known DLLs only.

usage: check_imports.py EXE

Windows takes a known DLL from the system folder whatever else lies beside
the program; any other DLL the loader resolves before the program's first
instruction is looked for in the program's own folder first. repair.exe
runs with administrator rights from folders others can write to, so every
DLL in its import table (and in its delay-import table, which a helper
loads by name later) must be a known DLL; the others are loaded at run time
from the system folder alone (basekit/win/system_library.h).

KNOWN_DLLS is the part of the known-DLL list (registry key
HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs) that
every Windows the program supports, 7 to 11, carries; ntdll is added, as
the system maps it into every process itself. gdiplus became a known DLL
only in later versions, so it is not one here.

Prints each imported DLL with its verdict; exits 1 when one is not known or
the table cannot be read (a reader that finds no KERNEL32 is broken).
"""
import struct
import sys

KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "imm32.dll",
    "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ntdll.dll", "ole32.dll",
    "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shell32.dll",
    "shlwapi.dll", "user32.dll", "ws2_32.dll",
}

IMPORT_DIRECTORY = 1
DELAY_IMPORT_DIRECTORY = 13


class PeError(Exception):
    pass


def u16(data, offset):
    return struct.unpack_from("<H", data, offset)[0]


def u32(data, offset):
    return struct.unpack_from("<I", data, offset)[0]


class Image:
    def __init__(self, data):
        if data[:2] != b"MZ":
            raise PeError("not an MZ executable")
        pe = u32(data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE header")
        self.data = data
        sections, optional_size = u16(data, pe + 6), u16(data, pe + 20)
        self.optional = pe + 24
        if u16(data, self.optional) != 0x10B:
            raise PeError("not a 32-bit image")
        table = self.optional + optional_size
        self.sections = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(sections)]

    def directory(self, index):
        return u32(self.data, self.optional + 96 + 8 * index)

    def offset(self, rva):
        for virtual_size, start, raw_size, raw_offset in self.sections:
            if start <= rva < start + max(virtual_size, raw_size):
                return raw_offset + (rva - start)
        raise PeError("address 0x%x outside every section" % rva)

    def text(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def dll_names(self, index, entry_size, name_field):
        """Names in an import-style table of entry_size-byte entries that
        ends with an all-zero entry; name_field is the name's RVA offset."""
        rva = self.directory(index)
        if rva == 0:
            return []
        names, at = [], self.offset(rva)
        while any(self.data[at:at + entry_size]):
            names.append(self.text(u32(self.data, at + name_field)))
            at += entry_size
        return names


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    try:
        with open(sys.argv[1], "rb") as f:
            image = Image(f.read())
        imports = [(name, "import") for name in image.dll_names(IMPORT_DIRECTORY, 20, 12)]
        imports += [(name, "delay import") for name in image.dll_names(DELAY_IMPORT_DIRECTORY, 32, 4)]
    except (OSError, PeError, ValueError, struct.error) as e:
        print("check_imports: %s: %s" % (sys.argv[1], e), file=sys.stderr)
        return 1
    unknown = [name for name, _ in imports if name.lower() not in KNOWN_DLLS]
    for name, kind in imports:
        print("%-14s %-12s %s" % (name, kind, "not a known DLL" if name in unknown else "known"))
    if "kernel32.dll" not in (name.lower() for name, _ in imports):
        print("check_imports: no KERNEL32 among the imports: the table was not read", file=sys.stderr)
        return 1
    if unknown:
        print("check_imports: %d DLL(s) would be looked for beside the program: %s" %
              (len(unknown), ", ".join(unknown)), file=sys.stderr)
        return 1
    print("check_imports: %d DLLs, all known" % len(imports))
    return 0


if __name__ == "__main__":
    sys.exit(main())
