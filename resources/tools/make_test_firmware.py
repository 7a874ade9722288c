#!/usr/bin/env python3
"""Writes the test firmware image that the build embeds when no real image
is given.

    python3 make_test_firmware.py OUTPUT [--size BYTES]

The image is BYTES long (5,628,964 by default, the size of the shipped
image) and is the same on every run:
  - it starts with the marker line MARKER (ASCII, ending in a line feed),
    so that anyone looking at the bytes sees what they are;
  - the rest is SHA-256 in counter mode: block n (n = 0, 1, 2, ...) is
    SHA-256(SEED + n as 4 bytes big-endian), the 32-byte blocks follow
    each other, and the last one is cut to length.
Every 512-byte TFTP block of it is different, so a lost, repeated or
misplaced block shows in a byte-for-byte comparison.
"""

import argparse
import hashlib
import os
import struct
import sys

DEFAULT_SIZE = 5628964
SEED = b"DEzed repair test firmware"
MARKER = b"TEST FIRMWARE IMAGE - NOT A REAL FIRMWARE - DEzed repair build\n"


def image(size):
    out = bytearray(MARKER[:size])
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(SEED + struct.pack(">I", counter)).digest()
        counter += 1
    return bytes(out[:size])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--size", type=int, default=DEFAULT_SIZE)
    args = parser.parse_args()
    data = image(args.size)
    # Written beside the target and renamed, so that an interrupted build
    # never leaves a short image behind.
    temporary = args.output + ".part"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
