#!/usr/bin/env python3
"""Draws the wizard's pictures into a folder: the two animations of the search and the
assignment pages (uncompressed 8-bit AVI, as the animation control plays them without a
codec), the watermark of the welcome and last pages, the header picture of the other pages
and the program icon.

Usage: make_pictures.py OUTPUT_FOLDER"""
import os
import struct
import sys

# Index 0 is the background: the animations are drawn transparent on it.
PALETTE = [
    (0xF0, 0xF0, 0xF0),  # 0 background
    (0x33, 0x4E, 0x8C),  # 1 dark blue
    (0x5B, 0x82, 0xC8),  # 2 blue
    (0xB9, 0xCD, 0xEE),  # 3 light blue
    (0x40, 0x40, 0x40),  # 4 dark grey
    (0x90, 0x90, 0x90),  # 5 grey
    (0xFF, 0xFF, 0xFF),  # 6 white
    (0x3C, 0xA0, 0x46),  # 7 green
    (0xE8, 0xB4, 0x1E),  # 8 gold
    (0xA8, 0x7A, 0x10),  # 9 dark gold
    (0xD8, 0xD8, 0xD8),  # 10 light grey
]
PALETTE += [(0, 0, 0)] * (256 - len(PALETTE))


class Canvas:
    def __init__(self, width, height, colour=0):
        self.width, self.height = width, height
        self.pixels = bytearray([colour]) * (width * height)

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y * self.width + x] = colour

    def rect(self, x, y, w, h, colour):
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                self.put(xx, yy, colour)

    def frame(self, x, y, w, h, colour):
        self.rect(x, y, w, 1, colour)
        self.rect(x, y + h - 1, w, 1, colour)
        self.rect(x, y, 1, h, colour)
        self.rect(x + w - 1, y, 1, h, colour)

    def disk(self, cx, cy, r, colour):
        for yy in range(cy - r, cy + r + 1):
            for xx in range(cx - r, cx + r + 1):
                if (xx - cx) ** 2 + (yy - cy) ** 2 <= r * r:
                    self.put(xx, yy, colour)

    def rows_bottom_up(self):
        """The rows as a DIB holds them: bottom row first, each padded to 4 bytes."""
        stride = (self.width + 3) & ~3
        out = bytearray()
        for y in range(self.height - 1, -1, -1):
            row = self.pixels[y * self.width:(y + 1) * self.width]
            out += row + bytes(stride - self.width)
        return bytes(out)


def computer(c, x, y):
    c.rect(x, y, 30, 22, 4)
    c.rect(x + 2, y + 2, 26, 18, 3)
    c.rect(x + 12, y + 22, 6, 4, 5)
    c.rect(x + 6, y + 26, 18, 3, 4)


def adapter(c, x, y, lit, s=1):
    c.rect(x, y, 18 * s, 24 * s, 10)
    c.frame(x, y, 18 * s, 24 * s, 5)
    c.rect(x + 4 * s, y + 4 * s, 10 * s, 3 * s, 2)
    c.disk(x + 9 * s, y + 16 * s, 2 * s, 7 if lit else 5)


def key(c, x, y, s=1, hole=0):
    c.disk(x + 4 * s, y + 4 * s, 4 * s, 8)
    c.disk(x + 4 * s, y + 4 * s, s, hole)
    c.rect(x + 8 * s, y + 3 * s, 10 * s, 3 * s, 8)
    c.rect(x + 14 * s, y + 6 * s, 2 * s, 3 * s, 9)
    c.rect(x + 17 * s, y + 6 * s, 2 * s, 3 * s, 9)


def search_frames(count=16, width=180, height=48):
    frames = []
    for i in range(count):
        c = Canvas(width, height)
        computer(c, 6, 8)
        c.rect(36, 30, 100, 2, 5)  # the network cable
        adapter(c, 140, 14, i % 8 >= 6)
        # Pulses travel from the computer to the adapter.
        for pulse in range(3):
            at = (i * 6 + pulse * 32) % 96
            c.disk(40 + at, 31, 3 if pulse == 0 else 2, 2)
        frames.append(c)
    return frames


def assign_frames(count=24, width=220, height=48):
    frames = []
    targets = [96, 142, 188]
    for i in range(count):
        c = Canvas(width, height)
        adapter(c, 6, 12, True)
        c.rect(24, 32, 190, 2, 4)  # the mains
        at = 26 + (i * 190) // count
        for t in targets:
            adapter(c, t, 6, at >= t)
        key(c, at - 10, 36)
        frames.append(c)
    return frames


def chunk(fourcc, data):
    pad = b"\0" if len(data) % 2 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad


def riff_list(kind, fourcc, payload):
    return kind + struct.pack("<I", len(payload) + 4) + fourcc + payload


def bitmap_info(width, height, image_size):
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, image_size, 2835, 2835, 256, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette


def avi(frames, fps):
    width, height = frames[0].width, frames[0].height
    images = [f.rows_bottom_up() for f in frames]
    size = len(images[0])
    avih = struct.pack("<IIIIIIIIII16x", 1000000 // fps, size * fps, 0, 0x10, len(frames), 0, 1, size, width, height)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"DIB ", 0, 0, 0, 0, 1, fps, 0, len(frames), size,
                       0xFFFFFFFF, 0, 0, 0, width, height)
    strl = riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", bitmap_info(width, height, size)))
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) + strl)
    movi_payload = b""
    index = b""
    for image in images:
        offset = 4 + len(movi_payload)  # from the "movi" fourcc
        movi_payload += chunk(b"00db", image)
        index += struct.pack("<4sIII", b"00db", 0x10, offset, len(image))
    movi = riff_list(b"LIST", b"movi", movi_payload)
    return riff_list(b"RIFF", b"AVI ", hdrl + movi + chunk(b"idx1", index))


def bmp(canvas):
    image = canvas.rows_bottom_up()
    info = bitmap_info(canvas.width, canvas.height, len(image))
    offset = 14 + len(info)
    return b"BM" + struct.pack("<IHHI", offset + len(image), 0, 0, offset) + info + image


def watermark(width=164, height=314):
    c = Canvas(width, height, 1)
    for y in range(height):  # a band of lighter blue towards the bottom
        if y > 180:
            c.rect(0, y, width, 1, 2)
    c.rect(0, 282, width, 3, 3)  # the mains
    adapter(c, 24, 214, True, 2)
    adapter(c, 100, 234, True, 2)
    c.disk(82, 100, 46, 2)
    c.disk(82, 100, 38, 3)
    key(c, 60, 88, 2, 3)
    return c


def header(size=49):
    c = Canvas(size, size, 3)
    c.disk(size // 2, size // 2, 22, 6)
    adapter(c, 8, 10, True)
    key(c, 22, 28, 1, 6)
    return c


def icon():
    """A 32 x 32 icon of 32-bit pixels: an adapter with a key."""
    c = Canvas(32, 32, 255)
    adapter(c, 2, 2, True)
    c.rect(2, 2, 1, 1, 5)
    key(c, 12, 20)
    rgba = bytearray()
    for y in range(31, -1, -1):
        for x in range(32):
            index = c.pixels[y * 32 + x]
            if index == 255:
                rgba += bytes((0, 0, 0, 0))
            else:
                r, g, b = PALETTE[index]
                rgba += bytes((b, g, r, 255))
    mask = bytes(4 * 32)  # the alpha channel decides
    image = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 32, 0, len(rgba) + len(mask), 0, 0, 0, 0) + bytes(rgba) + mask
    return struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 32, 32, 0, 0, 1, 32, len(image), 22) + image


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    files = {
        "search.avi": avi(search_frames(), 10),
        "assign.avi": avi(assign_frames(), 12),
        "watermark.bmp": bmp(watermark()),
        "header.bmp": bmp(header()),
        "plexaconf.ico": icon(),
    }
    for name, data in files.items():
        path = os.path.join(out, name)
        with open(path + ".tmp", "wb") as f:
            f.write(data)
        os.replace(path + ".tmp", path)


if __name__ == "__main__":
    main()
