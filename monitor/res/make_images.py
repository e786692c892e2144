#!/usr/bin/env python3
"""Draws the monitor's pictures: the 21 status images (16 x 16) as strips of 4, 8 and 32 bits
per pixel, the program icon and the about-box picture. Run it to regenerate the files beside
it; the build uses the committed files."""
import math
import os
import struct

W = H = 16
COUNT = 21
OUT = os.path.dirname(os.path.abspath(__file__))

# colours (r, g, b)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
GREY = (128, 128, 128)
LIGHT = (200, 200, 200)
SILVER = (224, 224, 224)
DARK = (64, 64, 64)
BLUE = (32, 80, 200)
NAVY = (0, 0, 128)
SKY = (96, 160, 240)
GREEN = (0, 160, 0)
LIME = (64, 220, 64)
DGREEN = (0, 100, 0)
RED = (210, 30, 30)
ORANGE = (240, 140, 0)
YELLOW = (250, 220, 0)
GOLD = (200, 160, 40)
TEAL = (0, 128, 128)


class Canvas:
    def __init__(self, w=W, h=H):
        self.w, self.h = w, h
        self.px = [[None] * w for _ in range(h)]  # None = transparent

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

    def line(self, x0, y0, x1, y1, c):
        n = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(n + 1):
            self.put(round(x0 + (x1 - x0) * i / n), round(y0 + (y1 - y0) * i / n), c)

    def disc(self, cx, cy, r, fill, edge=None):
        for y in range(self.h):
            for x in range(self.w):
                d = math.hypot(x - cx, y - cy)
                if d <= r + 0.3:
                    self.put(x, y, edge if edge and d > r - 0.8 else fill)

    def arc(self, cx, cy, r, a0, a1, c):
        steps = int(abs(a1 - a0) * r / 10) + 8
        for i in range(steps + 1):
            a = math.radians(a0 + (a1 - a0) * i / steps)
            self.put(round(cx + r * math.cos(a)), round(cy - r * math.sin(a)), c)


def plug(c, led, band=None):
    """A powerline adapter: a wall-plug block with prongs and a status light."""
    c.rect(3, 2, 12, 13, fill=WHITE, edge=GREY)
    c.rect(4, 14, 5, 15, fill=DARK)
    c.rect(10, 14, 11, 15, fill=DARK)
    if band:
        c.rect(4, 9, 11, 10, fill=band)
    c.rect(5, 4, 6, 5, fill=led)
    c.line(8, 5, 10, 5, LIGHT)


def wave(c):
    c.arc(13, 3, 2, 200, 340, ORANGE)
    c.arc(13, 3, 4, 200, 340, ORANGE)


def draw(index):
    c = Canvas()
    if index == 0:  # the monitor: a screen with a pulse
        c.rect(1, 2, 14, 11, fill=NAVY, edge=DARK)
        c.line(2, 7, 5, 7, LIME)
        c.line(5, 7, 7, 4, LIME)
        c.line(7, 4, 9, 10, LIME)
        c.line(9, 10, 10, 7, LIME)
        c.line(10, 7, 13, 7, LIME)
        c.rect(6, 12, 9, 13, fill=GREY)
        c.rect(4, 14, 11, 14, fill=DARK)
    elif index == 1:  # data: a blue bullet
        c.disc(7.5, 7.5, 3.5, SKY, BLUE)
        c.put(6, 6, WHITE)
    elif index == 2:  # plain grey bullet
        c.disc(7.5, 7.5, 3.5, LIGHT, GREY)
    elif index == 3:  # device status: a green light
        c.disc(7.5, 7.5, 5.5, LIME, DGREEN)
        c.disc(6, 6, 1.2, (190, 255, 190))
    elif index == 4:  # connection rate: a gauge
        c.disc(7.5, 10, 6.5, WHITE, DARK)
        c.rect(0, 11, 15, 15, fill=None)
        for y in range(11, 16):
            for x in range(16):
                c.px[y][x] = None
        c.line(1, 10, 14, 10, DARK)
        c.arc(7.5, 10, 5, 0, 180, LIGHT)
        c.line(7, 10, 11, 5, RED)
        c.rect(6, 9, 8, 10, fill=DARK)
    elif index in (5, 6):  # download / upload arrows
        col = GREEN if index == 5 else BLUE
        edge = DGREEN if index == 5 else NAVY
        pts = []
        for y in range(16):
            yy = y if index == 5 else 15 - y
            if 1 <= yy <= 8:
                pts += [(x, y) for x in range(5, 11)]
            elif 9 <= yy <= 14:
                half = 14 - yy
                pts += [(x, y) for x in range(7 - half, 9 + half)]
        for x, y in pts:
            c.put(x, y, col)
        for x, y in pts:
            if any((x + dx, y + dy) not in pts for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                c.put(x, y, edge)
    elif index in (7, 10):  # PCI cards: a board with gold contacts
        board = GREEN if index == 7 else BLUE
        c.rect(1, 3, 14, 11, fill=board, edge=DGREEN if index == 7 else NAVY)
        for x in range(3, 13, 2):
            c.rect(x, 12, x, 13, fill=GOLD)
        c.rect(3, 5, 6, 8, fill=DARK)
        c.rect(9, 5, 11, 6, fill=LIGHT)
        c.rect(0, 3, 0, 11, fill=LIGHT)
    elif index == 8:  # 56k USB modem: a grey box with its cable
        c.rect(2, 5, 12, 11, fill=LIGHT, edge=GREY)
        c.rect(4, 7, 4, 7, fill=LIME)
        c.rect(6, 7, 6, 7, fill=YELLOW)
        c.line(13, 8, 15, 8, DARK)
        c.rect(14, 7, 15, 9, fill=DARK)
    elif index == 9:  # 56k Pebble II: a dark rounded box with lights
        c.disc(7.5, 8, 6, DARK, BLACK)
        c.rect(4, 8, 4, 8, fill=LIME)
        c.rect(7, 8, 7, 8, fill=LIME)
        c.rect(10, 8, 10, 8, fill=ORANGE)
    elif index == 11:  # ADSL USB modem: a silver pebble with a blue light
        c.disc(7.5, 8, 6, SILVER, GREY)
        c.disc(7.5, 8, 2, SKY, BLUE)
        c.line(7, 1, 7, 2, DARK)
    elif index == 12:  # local powerline adapter
        plug(c, LIME)
    elif index == 13:  # remote powerline device
        plug(c, ORANGE)
        wave(c)
    elif index == 14:  # local HS adapter
        plug(c, LIME, band=BLUE)
    elif index == 15:  # remote HS device
        plug(c, ORANGE, band=BLUE)
        wave(c)
    elif index == 16:  # audio playing: speaker with waves
        c.rect(2, 6, 4, 9, fill=DARK)
        for i in range(4):
            c.line(5 + i, 6 - i, 5 + i, 9 + i, DARK)
        c.arc(8, 7.5, 4, -45, 45, BLUE)
        c.arc(8, 7.5, 6, -45, 45, BLUE)
    elif index == 17:  # audio recording: microphone with a red light
        c.rect(6, 1, 9, 8, fill=GREY, edge=DARK)
        c.arc(7.5, 7, 4, 180, 360, DARK)
        c.line(7, 11, 7, 13, DARK)
        c.line(8, 11, 8, 13, DARK)
        c.line(5, 14, 10, 14, DARK)
        c.disc(13, 2.5, 1.6, RED)
    elif index == 18:  # duration: a clock
        c.disc(7.5, 7.5, 6.5, WHITE, DARK)
        c.line(7, 3, 7, 7, BLACK)
        c.line(8, 8, 11, 8, BLACK)
        for a in range(0, 360, 90):
            c.put(round(7.5 + 5.5 * math.cos(math.radians(a))), round(7.5 - 5.5 * math.sin(math.radians(a))), GREY)
    elif index == 19:  # overview: a bar chart
        c.line(1, 14, 14, 14, DARK)
        c.line(1, 1, 1, 14, DARK)
        c.rect(3, 8, 5, 13, fill=BLUE)
        c.rect(7, 4, 9, 13, fill=GREEN)
        c.rect(11, 10, 13, 13, fill=ORANGE)
    elif index == 20:  # connection: two plugs meeting
        c.rect(1, 6, 5, 9, fill=GREY, edge=DARK)
        c.line(6, 7, 7, 7, GOLD)
        c.line(6, 8, 7, 8, GOLD)
        c.rect(8, 6, 12, 9, fill=GREY, edge=DARK)
        c.line(13, 7, 15, 7, DARK)
        c.line(0, 8, 0, 8, DARK)
    return c


# --- writers ---------------------------------------------------------------------------------

VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
         (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
         (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
MAGENTA = (255, 0, 255)


def palette256():
    pal = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    pal += [(i * 255 // 29, i * 255 // 29, i * 255 // 29) for i in range(30)]
    extra = [BLUE, NAVY, SKY, GREEN, LIME, DGREEN, RED, ORANGE, YELLOW, GOLD, GREY, LIGHT,
             SILVER, DARK, TEAL]
    pal += [c for c in extra if c not in pal]
    pal = pal[:256]
    while len(pal) < 256:
        pal.append((0, 0, 0))
    return pal


def nearest(pal, c, skip=None):
    best, bd = 0, None
    for i, p in enumerate(pal):
        if skip is not None and p == skip:
            continue
        d = sum((a - b) ** 2 for a, b in zip(p, c))
        if bd is None or d < bd:
            best, bd = i, d
    return best


def strip():
    img = [[None] * (W * COUNT) for _ in range(H)]
    for i in range(COUNT):
        c = draw(i)
        for y in range(H):
            for x in range(W):
                img[y][i * W + x] = c.px[y][x]
    return img


def bmp(path, img, bits):
    h, w = len(img), len(img[0])
    if bits == 32:
        rows = []
        for y in range(h - 1, -1, -1):
            row = b""
            for x in range(w):
                p = img[y][x]
                # premultiplied alpha, as image lists expect for 32-bit sections
                row += bytes((p[2], p[1], p[0], 255)) if p else b"\0\0\0\0"
            rows.append(row)
        palette = b""
    else:
        pal = VGA16 if bits == 4 else palette256()
        palette = b"".join(bytes((b, g, r, 0)) for r, g, b in pal)
        magenta = pal.index(MAGENTA)
        rows = []
        for y in range(h - 1, -1, -1):
            idx = [magenta if img[y][x] is None else nearest(pal, img[y][x], skip=MAGENTA)
                   for x in range(w)]
            if bits == 8:
                row = bytes(idx)
            else:
                row = bytes((idx[x] << 4) | idx[x + 1] for x in range(0, w, 2))
            rows.append(row)
    stride = (len(rows[0]) + 3) & ~3
    data = b"".join(r + b"\0" * (stride - len(r)) for r in rows)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 0, len(data), 2835, 2835,
                       len(palette) // 4, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + palette + data)


def scaled(c, factor):
    out = Canvas(c.w * factor, c.h * factor)
    for y in range(out.h):
        for x in range(out.w):
            out.px[y][x] = c.px[y // factor][x // factor]
    return out


def ico_entry(c):
    rows = b""
    for y in range(c.h - 1, -1, -1):
        for x in range(c.w):
            p = c.px[y][x]
            rows += bytes((p[2], p[1], p[0], 255)) if p else b"\0\0\0\0"
    mask_stride = ((c.w + 31) // 32) * 4
    mask = b""
    for y in range(c.h - 1, -1, -1):
        bits = 0
        row = bytearray(mask_stride)
        for x in range(c.w):
            if c.px[y][x] is None:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(row)
    info = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, len(rows) + len(mask), 0, 0, 0, 0)
    return info + rows + mask


def ico(path, canvases):
    entries = [ico_entry(c) for c in canvases]
    offset = 6 + 16 * len(entries)
    head = struct.pack("<HHH", 0, 1, len(entries))
    dirs = b""
    for c, e in zip(canvases, entries):
        dirs += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(e), offset)
        offset += len(e)
    with open(path, "wb") as f:
        f.write(head + dirs + b"".join(entries))


def main():
    img = strip()
    bmp(os.path.join(OUT, "status4.bmp"), img, 4)
    bmp(os.path.join(OUT, "status8.bmp"), img, 8)
    bmp(os.path.join(OUT, "status32.bmp"), img, 32)
    icon = draw(0)
    ico(os.path.join(OUT, "watchpost.ico"), [icon, scaled(icon, 2)])
    about = scaled(icon, 4)
    flat = [[p if p else (255, 255, 255) for p in row] for row in about.px]
    bmp(os.path.join(OUT, "about.bmp"), flat, 8)


if __name__ == "__main__":
    main()
