#!/usr/bin/env python3
"""Draws tandem's pictures and its chat sound at build time: the program icon, the toolbar
strip (24 x 24), the tree and list images (16 x 16), the header sort arrows, the splash
picture, the wizard's watermark and header, and a short two-tone chime (PCM wave).

Usage: make_resources.py OUTPUT_FOLDER"""
import math
import os
import struct
import sys

MAGENTA = (255, 0, 255)  # transparent in the image lists
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
GREY = (128, 128, 128)
LIGHT = (212, 208, 200)
NAVY = (20, 50, 130)
BLUE = (50, 110, 210)
SKY = (150, 190, 240)
YELLOW = (250, 210, 80)
GOLD = (210, 160, 40)
GREEN = (40, 160, 70)
RED = (200, 50, 40)
TEAL = (30, 140, 140)


class Canvas:
    def __init__(self, w, h, fill=MAGENTA):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, fill=None, edge=None):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                border = x in (x0, x1) or y in (y0, y1)
                if border and edge:
                    self.put(x, y, edge)
                elif fill:
                    self.put(x, y, fill)

    def blit(self, other, dx, dy):
        for y in range(other.h):
            for x in range(other.w):
                self.put(dx + x, dy + y, other.px[y][x])

    def gradient(self, top, bottom):
        for y in range(self.h):
            t = y / max(1, self.h - 1)
            c = tuple(int(a + (b - a) * t) for a, b in zip(top, bottom))
            for x in range(self.w):
                self.px[y][x] = c


def bmp(canvas):
    """A 24-bit bottom-up BMP file."""
    row = (canvas.w * 3 + 3) & ~3
    data = bytearray()
    for y in range(canvas.h - 1, -1, -1):
        line = bytearray()
        for x in range(canvas.w):
            r, g, b = canvas.px[y][x]
            line += bytes((b, g, r))
        line += b"\0" * (row - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + bytes(data)


def ico(canvases):
    """An icon file with 32-bit images (alpha from the magenta key)."""
    entries, images = b"", b""
    offset = 6 + 16 * len(canvases)
    for c in canvases:
        pixels = bytearray()
        for y in range(c.h - 1, -1, -1):
            for x in range(c.w):
                r, g, b = c.px[y][x]
                a = 0 if (r, g, b) == MAGENTA else 255
                pixels += bytes((b, g, r, a))
        mask_row = ((c.w + 31) // 32) * 4
        mask = b"\0" * (mask_row * c.h)
        info = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
        image = info + bytes(pixels) + mask
        entries += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(image), offset)
        images += image
        offset += len(image)
    return struct.pack("<HHH", 0, 1, len(canvases)) + entries + images


def folder(c, x, y, s, open_=False, color=YELLOW):
    k = s / 16
    c.rect(x + int(1 * k), y + int(3 * k), x + int(6 * k), y + int(5 * k), fill=color, edge=GOLD)
    c.rect(x + int(1 * k), y + int(5 * k), x + int(14 * k), y + int(13 * k), fill=color, edge=GOLD)
    if open_:
        c.rect(x + int(3 * k), y + int(7 * k), x + int(15 * k), y + int(13 * k), fill=(255, 235, 150), edge=GOLD)


def computer(c, x, y, s, screen=SKY):
    k = s / 16
    c.rect(x + int(2 * k), y + int(2 * k), x + int(13 * k), y + int(10 * k), fill=screen, edge=BLACK)
    c.rect(x + int(6 * k), y + int(11 * k), x + int(9 * k), y + int(12 * k), fill=GREY)
    c.rect(x + int(3 * k), y + int(13 * k), x + int(12 * k), y + int(14 * k), fill=LIGHT, edge=GREY)


def tree_images():
    """0 folder (new), 1 folder, 2 open folder, 3 file, 4 announced host, 5 local host, 6 share,
    7 and 8 spare, 9 host added by hand."""
    strip = Canvas(16 * 10, 16)
    icons = []
    for i in range(10):
        icons.append(Canvas(16, 16))
    folder(icons[0], 0, 0, 16, color=(230, 220, 170))
    folder(icons[1], 0, 0, 16)
    folder(icons[2], 0, 0, 16, open_=True)
    f = icons[3]
    f.rect(3, 1, 12, 14, fill=WHITE, edge=GREY)
    for y in (4, 6, 8, 10):
        f.rect(5, y, 10, y, fill=BLUE)
    computer(icons[4], 0, 0, 16)
    computer(icons[5], 0, 0, 16, screen=GREEN)
    folder(icons[6], 0, 0, 16)
    icons[6].rect(1, 12, 6, 15, fill=BLUE, edge=NAVY)  # the hand under a shared folder
    computer(icons[7], 0, 0, 16, screen=LIGHT)
    folder(icons[8], 0, 0, 16, color=LIGHT)
    computer(icons[9], 0, 0, 16, screen=YELLOW)
    for i, icon in enumerate(icons):
        strip.blit(icon, 16 * i, 0)
    return strip


def toolbar():
    """Add share, Options, Up; 24 x 24 each."""
    strip = Canvas(72, 24)
    add = Canvas(24, 24)
    folder(add, 0, 2, 22)
    add.rect(15, 1, 17, 11, fill=GREEN)
    add.rect(11, 5, 21, 7, fill=GREEN)
    options = Canvas(24, 24)
    cx, cy = 12, 12
    for y in range(24):
        for x in range(24):
            d = math.hypot(x - cx, y - cy)
            a = math.atan2(y - cy, x - cx)
            tooth = 9 + (2 if math.cos(8 * a) > 0 else 0)
            if 3.5 < d < tooth:
                options.put(x, y, GREY if d > 7 else LIGHT)
    up = Canvas(24, 24)
    folder(up, 0, 4, 22)
    for i in range(7):
        up.rect(12 - i, 4 + i, 12 + i, 4 + i, fill=GREEN)
    up.rect(10, 11, 14, 18, fill=GREEN)
    for i, icon in enumerate((add, options, up)):
        strip.blit(icon, 24 * i, 0)
    return strip


def sort_arrows():
    strip = Canvas(16, 8)
    for i in range(4):
        strip.rect(4 - i, 2 + i, 4 + i, 2 + i, fill=GREY)        # up
        strip.rect(12 - i, 5 - i, 12 + i, 5 - i, fill=GREY)      # down
    return strip


def banner(w, h, title_band=True):
    c = Canvas(w, h)
    c.gradient(NAVY, BLUE)
    # two computers joined by a link: the program's picture
    big = max(16, min(w, h) // 3)
    computer(c, w // 2 - big - 4, h // 2 - big // 2, big)
    computer(c, w // 2 + 4, h // 2 - big // 2, big, screen=GREEN)
    c.rect(w // 2 - 6, h // 2, w // 2 + 6, h // 2 + 1, fill=YELLOW)
    if title_band:
        c.rect(0, h - 8, w - 1, h - 1, fill=TEAL)
    return c


def chime(rate=22050):
    """Two soft tones, 8-bit mono PCM in a RIFF wave."""
    samples = bytearray()
    for freq, length in ((880, 0.12), (1320, 0.18)):
        n = int(rate * length)
        for i in range(n):
            fade = min(1.0, i / (rate * 0.01)) * (1 - i / n)
            v = math.sin(2 * math.pi * freq * i / rate) * fade * 0.6
            samples.append(int(128 + 127 * v))
    fmt = struct.pack("<HHIIHH", 1, 1, rate, rate, 1, 8)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(samples)) + samples
    return b"RIFF" + struct.pack("<I", len(body)) + body


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    icon32, icon16 = Canvas(32, 32), Canvas(16, 16)
    computer(icon32, 0, 2, 20)
    computer(icon32, 12, 10, 20, screen=GREEN)
    computer(icon16, 0, 0, 16, screen=GREEN)
    files = {
        "tandem.ico": ico([icon32, icon16]),
        "tree.bmp": bmp(tree_images()),
        "toolbar.bmp": bmp(toolbar()),
        "sort.bmp": bmp(sort_arrows()),
        "splash.bmp": bmp(banner(360, 200)),
        "watermark.bmp": bmp(banner(164, 314, title_band=False)),
        "header.bmp": bmp(banner(49, 49, title_band=False)),
        "chime.wav": chime(),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
