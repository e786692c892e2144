#!/usr/bin/env python3
"""Appends the integrity seal to a plug-in DLL (see monitor/plugin_seal.h): "VLMSEAL1", the
image length as 64-bit little endian, and HMAC-SHA-256 of the image under the seal key. A file
that already carries a valid seal is left alone, so the step may run twice."""
import hashlib
import hmac
import struct
import sys

KEY = bytes([0x5c, 0x1e, 0x93, 0x0b, 0xa7, 0x42, 0xd8, 0x6f, 0x21, 0xc4, 0x7e, 0x09, 0xb3, 0x58,
             0xe6, 0x14, 0x8a, 0x3d, 0xf0, 0x67, 0x2b, 0x91, 0xce, 0x05, 0x76, 0xaf, 0x13, 0xd2,
             0x4c, 0x88, 0xe1, 0x3a])
MAGIC = b"VLMSEAL1"
SEAL = 8 + 8 + 32


def seal(image):
    return MAGIC + struct.pack("<Q", len(image)) + hmac.new(KEY, image, hashlib.sha256).digest()


def main(path):
    data = open(path, "rb").read()
    if len(data) >= SEAL and data[-SEAL:] == seal(data[:-SEAL]):
        return 0
    with open(path, "ab") as f:
        f.write(seal(data))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
