#!/usr/bin/env python3
"""Writes the package that is handed out: one ZIP archive with repair.exe,
the user guide in Chinese and a SHA-256 list of both, and beside it the
archive's own SHA-256.

usage: make_package.py --exe FILE --guide FILE --product NAME --version X.Y.Z
                       [--test-image] --out DIR

The archive is DIR/NAME-X.Y.Z.zip; with --test-image (repair.exe carries
the generated test firmware, which must never reach a box)
DIR/NAME-X.Y.Z-test-image.zip. The guide's text has @VERSION@ replaced and
is stored for Windows' own editor: UTF-8 with a byte order mark, CRLF line
ends. The archive is the same bytes for the same inputs.
"""
import argparse
import hashlib
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cmake"))
import pack_zip  # noqa: E402

EXE_NAME = "repair.exe"
GUIDE_NAME = "使用说明.txt"
SUMS_NAME = "SHA256SUMS.txt"


def windows_text(text):
    return b"\xef\xbb\xbf" + text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")


def sums(files):
    """sha256sum's format (which `sha256sum -c` reads), CRLF line ends."""
    return "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\r\n" for name, data in files).encode("utf-8")


def package_name(product, version, test_image):
    return f"{product}-{version}{'-test-image' if test_image else ''}.zip"


def contents(exe, guide_text, version):
    """The archive's entries, in order."""
    files = [(EXE_NAME, exe), (GUIDE_NAME, windows_text(guide_text.replace("@VERSION@", version)))]
    return files + [(SUMS_NAME, sums(files))]


def write(path, data):
    with open(path + ".part", "wb") as f:
        f.write(data)
    os.replace(path + ".part", path)


def main(argv):
    parser = argparse.ArgumentParser(description="Writes the package that is handed out.")
    for option in ("--exe", "--guide", "--product", "--version", "--out"):
        parser.add_argument(option, required=True)
    parser.add_argument("--test-image", action="store_true")
    args = parser.parse_args(argv[1:])
    try:
        with open(args.exe, "rb") as f:
            exe = f.read()
        with open(args.guide, encoding="utf-8") as f:
            guide = f.read()
        entries = contents(exe, guide, args.version)
        archive = pack_zip.pack(entries)
        os.makedirs(args.out, exist_ok=True)
        name = package_name(args.product, args.version, args.test_image)
        path = os.path.join(args.out, name)
        write(path, archive)
        write(path + ".sha256", f"{hashlib.sha256(archive).hexdigest()}  {name}\n".encode("utf-8"))
    except (OSError, UnicodeDecodeError, pack_zip.PackError) as e:
        print(f"make_package: {e}", file=sys.stderr)
        return 1
    print(f"package: {path} ({len(archive)} bytes, SHA-256 {hashlib.sha256(archive).hexdigest()})")
    for entry, data in entries:
        print(f"  {entry}: {len(data)} bytes, SHA-256 {hashlib.sha256(data).hexdigest()}")
    if args.test_image:
        print("package: repair.exe carries the generated TEST firmware image: not for users")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
