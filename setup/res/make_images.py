#!/usr/bin/env python3
"""Draws the setup wizard's pictures: the Wizard97 watermark (164 x 314) and header (49 x 49)
bitmaps in 16 colours and in true colour, the two header icons of classic pages (install,
remove; a 64 x 32 strip, magenta is transparent) and the program icon. Run it to regenerate
the files beside it; the build uses the committed files."""
import math
import os
import struct

OUT = os.path.dirname(os.path.abspath(__file__))

# The 16 colours every screen has.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
       (255, 0, 255), (0, 255, 255), (255, 255, 255)]
MAGENTA = (255, 0, 255)


class Picture:
    def __init__(self, w, h, fill=None):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]  # None: transparent

    def put(self, x, y, c):
        x, y = int(round(x)), int(round(y))
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def box(self, x0, y0, x1, y1, fill=None, edge=None):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                border = x in (x0, x1) or y in (y0, y1)
                if border and edge:
                    self.put(x, y, edge)
                elif fill:
                    self.put(x, y, fill)

    def poly(self, points, fill):
        """Fills a convex or simple polygon by scanlines."""
        ys = [p[1] for p in points]
        for y in range(int(min(ys)), int(max(ys)) + 1):
            xs = []
            for (xa, ya), (xb, yb) in zip(points, points[1:] + points[:1]):
                if (ya <= y < yb) or (yb <= y < ya):
                    xs.append(xa + (y - ya) * (xb - xa) / (yb - ya))
            xs.sort()
            for a, b in zip(xs[::2], xs[1::2]):
                for x in range(int(math.ceil(a)), int(math.floor(b)) + 1):
                    self.put(x, y, fill)

    def line(self, x0, y0, x1, y1, c, width=1):
        n = int(max(abs(x1 - x0), abs(y1 - y0), 1))
        for i in range(n + 1):
            x, y = x0 + (x1 - x0) * i / n, y0 + (y1 - y0) * i / n
            for dx in range(width):
                for dy in range(width):
                    self.put(x + dx, y + dy, c)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def house(p, x, y, s, wall, roof, door):
    """A house of size s with its lower left corner at (x, y)."""
    p.poly([(x - s * 0.1, y - s * 0.6), (x + s * 0.5, y - s * 1.1), (x + s * 1.1, y - s * 0.6)], roof)
    p.box(int(x), int(y - s * 0.6), int(x + s), int(y), fill=wall)
    p.box(int(x + s * 0.4), int(y - s * 0.35), int(x + s * 0.6), int(y), fill=door)


def wave(p, x0, x1, y, amplitude, period, colour, width=2):
    last = None
    for x in range(x0, x1):
        point = (x, y + amplitude * math.sin(2 * math.pi * (x - x0) / period))
        if last:
            p.line(last[0], last[1], point[0], point[1], colour, width)
        last = point


def watermark():
    p = Picture(164, 314)
    top, bottom = (16, 40, 110), (20, 120, 140)
    for y in range(p.h):
        c = mix(top, bottom, y / (p.h - 1))
        for x in range(p.w):
            p.px[y][x] = c
    # powerline waves across the wall sockets of two houses
    for i, colour in enumerate([(120, 200, 255), (90, 170, 230), (60, 140, 210)]):
        wave(p, 0, 164, 150 + i * 14, 6, 48, colour)
    house(p, 22, 250, 52, (235, 235, 225), (190, 60, 40), (90, 60, 40))
    house(p, 96, 262, 40, (225, 225, 215), (160, 50, 35), (90, 60, 40))
    for x in (48, 116):  # the adapters in the houses, with their lights
        p.box(x - 4, 226, x + 4, 238, fill=(250, 250, 250), edge=(120, 120, 120))
        p.box(x - 1, 229, x + 1, 231, fill=(40, 200, 60))
    p.box(0, 300, 163, 313, fill=(12, 30, 80))
    return p


def header():
    p = Picture(49, 49, (255, 255, 255))
    house(p, 8, 40, 30, (230, 230, 220), (190, 60, 40), (90, 60, 40))
    wave(p, 2, 47, 8, 2, 15, (60, 140, 210), 1)
    p.box(31, 28, 37, 38, fill=(250, 250, 250), edge=(110, 110, 110))
    p.box(33, 30, 35, 31, fill=(40, 200, 60))
    return p


def carton(p, x, y):
    """A software box, 22 x 18, with its lid."""
    p.poly([(x, y + 5), (x + 11, y), (x + 22, y + 5), (x + 11, y + 10)], (230, 200, 120))
    p.poly([(x, y + 5), (x + 11, y + 10), (x + 11, y + 24), (x, y + 19)], (200, 160, 80))
    p.poly([(x + 11, y + 10), (x + 22, y + 5), (x + 22, y + 19), (x + 11, y + 24)], (170, 130, 60))


def arrow_down(p, x, y, colour):
    p.box(x + 3, y, x + 7, y + 8, fill=colour)
    p.poly([(x - 1, y + 8), (x + 11, y + 8), (x + 5, y + 14)], colour)


def header_icons():
    p = Picture(64, 32, MAGENTA)
    carton(p, 2, 6)
    arrow_down(p, 19, 1, (30, 160, 40))
    carton(p, 34, 6)
    # removal: a red cross over the box
    for d in range(-1, 2):
        p.line(48 + d, 2, 60 + d, 14, (210, 30, 30))
        p.line(60 + d, 2, 48 + d, 14, (210, 30, 30))
    return p


def icon_picture(size):
    p = Picture(size, size)
    s = size / 32.0
    sub = Picture(32, 32)
    carton(sub, 4, 6)
    arrow_down(sub, 21, 1, (30, 160, 40))
    for y in range(size):
        for x in range(size):
            p.px[y][x] = sub.px[int(y / s)][int(x / s)]
    return p


def nearest(c):
    return min(range(16), key=lambda i: sum((VGA[i][k] - c[k]) ** 2 for k in range(3)))


def write_bmp(path, p, bits):
    """A bottom-up Windows bitmap of 4 bits (the VGA colours) or 24 bits per pixel."""
    rows = []
    for y in reversed(range(p.h)):
        colours = [c if c is not None else MAGENTA for c in p.px[y]]
        if bits == 24:
            row = b"".join(struct.pack("<BBB", c[2], c[1], c[0]) for c in colours)
        else:
            idx = [nearest(c) for c in colours] + [0]
            row = bytes((idx[i] << 4) | idx[i + 1] for i in range(0, p.w, 2))
        rows.append(row + b"\0" * ((4 - len(row) % 4) % 4))
    data = b"".join(rows)
    palette = b"".join(struct.pack("<BBBB", c[2], c[1], c[0], 0) for c in VGA) if bits == 4 else b""
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, p.w, p.h, 1, bits, 0, len(data), 2835, 2835,
                       16 if bits == 4 else 0, 0)
    with open(path, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset) + info + palette + data)


def write_ico(path, pictures):
    images = []
    for p in pictures:
        pixels = b""
        mask = b""
        for y in reversed(range(p.h)):
            bits = 0
            line = b""
            for x in range(p.w):
                c = p.px[y][x]
                pixels += struct.pack("<BBBB", *(reversed(c) if c else (0, 0, 0)), 255 if c else 0)
                bits = (bits << 1) | (0 if c else 1)
                if x % 8 == 7:
                    line += bytes([bits])
                    bits = 0
            mask += line + b"\0" * ((4 - len(line) % 4) % 4)
        info = struct.pack("<IiiHHIIiiII", 40, p.w, p.h * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
        images.append((p, info + pixels + mask))
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for p, blob in images:
        entries += struct.pack("<BBBBHHII", p.w % 256, p.h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(head + entries + b"".join(blob for _, blob in images))


def main():
    mark = watermark()
    write_bmp(os.path.join(OUT, "watermark.bmp"), mark, 24)
    write_bmp(os.path.join(OUT, "watermark16.bmp"), mark, 4)
    head = header()
    write_bmp(os.path.join(OUT, "header.bmp"), head, 24)
    write_bmp(os.path.join(OUT, "header16.bmp"), head, 4)
    write_bmp(os.path.join(OUT, "header_icons.bmp"), header_icons(), 24)
    write_ico(os.path.join(OUT, "setup.ico"), [icon_picture(32), icon_picture(16)])


if __name__ == "__main__":
    main()
