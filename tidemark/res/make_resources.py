#!/usr/bin/env python3
"""Draws tidemark's pictures: the program icon (4866), the icons of the two groups of the
main dialog (4867 Internet Explorer, 4868 file lists) and the progress animation, once with
16 flat colours for 8-bit screens (4864) and once shaded for deeper ones (4865). The build
runs it; nothing drawn here is kept in the tree.

Usage: make_resources.py OUTPUT_FOLDER"""
import math
import os
import struct
import sys

# ---------------------------------------------------------------- drawing

class Canvas:
    """RGBA pixels, shapes rendered with sub-pixel coverage (supersampling)."""

    def __init__(self, w, h, ss=4, bg=None):
        self.w, self.h, self.ss = w, h, ss
        self.px = [[bg for _ in range(w)] for _ in range(h)]

    def _blend(self, x, y, colour, cover):
        if cover <= 0:
            return
        old = self.px[y][x]
        r, g, b = colour[:3]
        a = (colour[3] if len(colour) > 3 else 1.0) * cover
        if old is None:
            self.px[y][x] = (r, g, b, a)
            return
        orr, og, ob = old[:3]
        oa = old[3] if len(old) > 3 else 1.0
        na = a + oa * (1 - a)
        if na <= 0:
            return
        mix = lambda c, o: (c * a + o * oa * (1 - a)) / na
        self.px[y][x] = (mix(r, orr), mix(g, og), mix(b, ob), na)

    def shape(self, inside, colour, box=None):
        """Fills the points where inside(x, y) holds; colour may be a function of (x, y)."""
        x0, y0, x1, y1 = box or (0, 0, self.w, self.h)
        x0, y0 = max(0, int(x0)), max(0, int(y0))
        x1, y1 = min(self.w, int(math.ceil(x1))), min(self.h, int(math.ceil(y1)))
        n = self.ss
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = 0
                for sy in range(n):
                    for sx in range(n):
                        if inside(x + (sx + 0.5) / n, y + (sy + 0.5) / n):
                            hits += 1
                if hits:
                    c = colour(x + 0.5, y + 0.5) if callable(colour) else colour
                    self._blend(x, y, c, hits / (n * n))

    def disc(self, cx, cy, r, colour):
        self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, colour,
                   (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1))

    def rect(self, x0, y0, x1, y1, colour):
        self.shape(lambda x, y: x0 <= x <= x1 and y0 <= y <= y1, colour, (x0 - 1, y0 - 1, x1 + 1, y1 + 1))

    def polygon(self, points, colour):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def inside(x, y):
            c = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    c = not c
                j = i
            return c
        self.shape(inside, colour, (min(xs) - 1, min(ys) - 1, max(xs) + 1, max(ys) + 1))

    def line(self, xa, ya, xb, yb, width, colour):
        dx, dy = xb - xa, yb - ya
        length = math.hypot(dx, dy) or 1.0
        nx, ny = -dy / length * width / 2, dx / length * width / 2
        self.polygon([(xa + nx, ya + ny), (xb + nx, yb + ny), (xb - nx, yb - ny), (xa - nx, ya - ny)], colour)

    def ring(self, cx, cy, r, width, colour, a0=0, a1=360):
        def inside(x, y):
            d = math.hypot(x - cx, y - cy)
            if abs(d - r) > width / 2:
                return False
            a = math.degrees(math.atan2(cy - y, x - cx)) % 360
            return a0 <= a <= a1 if a0 <= a1 else (a >= a0 or a <= a1)
        self.shape(inside, colour, (cx - r - width, cy - r - width, cx + r + width, cy + r + width))


def rgb(hex_text, alpha=1.0):
    v = int(hex_text, 16)
    return ((v >> 16) & 255, (v >> 8) & 255, v & 255, alpha)


def shade(base, light, x, y, cx, cy, r):
    """A sphere lit from the upper left."""
    d = max(0.0, min(1.0, math.hypot(x - (cx - r * 0.4), y - (cy - r * 0.4)) / (r * 1.6)))
    return tuple(int(light[i] * (1 - d) + base[i] * d) for i in range(3)) + (1.0,)

# ---------------------------------------------------------------- pictures

SEA, SEA_LIGHT = rgb("1f5fbf"), rgb("79b4ff")
LAND, LAND_LIGHT = rgb("2e8b3a"), rgb("8fd16b")


def globe(c, cx, cy, r, flat):
    sea = SEA if flat else (lambda x, y: shade(SEA, SEA_LIGHT, x, y, cx, cy, r))
    land = LAND if flat else (lambda x, y: shade(LAND, LAND_LIGHT, x, y, cx, cy, r))
    c.disc(cx, cy, r, sea)

    def on_globe(f):
        return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r and f((x - cx) / r, (y - cy) / r)
    # two continents as blobs clipped to the sphere
    c.shape(on_globe(lambda u, v: (u + 0.25) ** 2 / 0.16 + (v + 0.2) ** 2 / 0.28 <= 1), land,
            (cx - r, cy - r, cx + r, cy + r))
    c.shape(on_globe(lambda u, v: (u - 0.45) ** 2 / 0.09 + (v - 0.35) ** 2 / 0.12 <= 1), land,
            (cx - r, cy - r, cx + r, cy + r))
    grid = rgb("ffffff", 0.45 if not flat else 1.0) if not flat else rgb("00ffff")
    width = max(0.6, r / 14)
    c.ring(cx, cy, r - width / 2, width, rgb("0a2a6a"))
    c.shape(on_globe(lambda u, v: abs(v) < width / r / 2 or abs(u) < width / r / 2), grid,
            (cx - r, cy - r, cx + r, cy + r))
    c.shape(on_globe(lambda u, v: abs(u * u / 0.36 + v * v - 1) * 0.6 * r < width / 2), grid,
            (cx - r, cy - r, cx + r, cy + r))


def page(c, x, y, w, h, flat, lines=3, tilt=0.0):
    """A sheet with a folded corner, optionally sheared (turning in flight)."""
    fold = w * 0.3
    sx = lambda px, py: (px + (py - y) * tilt, py)
    outline = [sx(x, y), sx(x + w - fold, y), sx(x + w, y + fold), sx(x + w, y + h), sx(x, y + h)]
    c.polygon(outline, rgb("4a4a4a"))
    inner = [(px + dx, py + dy) for (px, py), (dx, dy) in zip(
        outline, [(0.8, 0.8), (-0.4, 0.8), (-0.8, 0.4), (-0.8, -0.8), (0.8, -0.8)])]
    c.polygon(inner, rgb("ffffff") if flat else (lambda px, py: (255, 255, int(250 - (py - y) * 3), 1.0)))
    c.polygon([sx(x + w - fold, y), sx(x + w - fold, y + fold), sx(x + w, y + fold)], rgb("c0c0c0"))
    for i in range(lines):
        ly = y + h * (0.4 + 0.5 * i / max(1, lines))
        a, b = sx(x + w * 0.2, ly), sx(x + w * 0.8, ly)
        c.line(a[0], a[1], b[0], b[1], max(0.7, h / 14), rgb("2060c0") if flat else rgb("5080c8"))


def bin_back(c, x, y, w, h, flat):
    c.polygon([(x, y), (x + w, y), (x + w * 0.88, y + h), (x + w * 0.12, y + h)], rgb("505050"))


def bin_front(c, x, y, w, h, flat):
    body = rgb("808080") if flat else (lambda px, py: (lambda t: (int(150 + 70 * t), int(150 + 70 * t), int(160 + 70 * t), 1.0))(
        1 - abs((px - x - w * 0.35) / w)))
    top = y + h * 0.18
    c.polygon([(x, top), (x + w, top), (x + w * 0.88, y + h), (x + w * 0.12, y + h)], body)
    for i in range(1, 4):
        fx = x + w * i / 4
        c.line(fx, top + 2, x + w / 2 + (fx - x - w / 2) * 0.78, y + h - 2, 1.0, rgb("404040"))
    c.rect(x - 1, y, x + w + 1, y + h * 0.12, rgb("404040"))


def broom(c, x0, y0, x1, y1, scale, flat):
    c.line(x0, y0, x1, y1, 2.2 * scale, rgb("8b5a2b"))
    dx, dy = x1 - x0, y1 - y0
    length = math.hypot(dx, dy)
    ux, uy = dx / length, dy / length
    nx, ny = -uy, ux
    b = 9 * scale
    w0, w1 = 3 * scale, 7 * scale
    pts = [(x1 + nx * w0, y1 + ny * w0), (x1 - nx * w0, y1 - ny * w0),
           (x1 + ux * b - nx * w1, y1 + uy * b - ny * w1), (x1 + ux * b + nx * w1, y1 + uy * b + ny * w1)]
    c.polygon(pts, rgb("e8b820") if flat else rgb("f0c030"))
    for k in range(-2, 3):
        t = k / 2.5
        c.line(x1 + nx * w0 * t, y1 + ny * w0 * t, x1 + ux * b + nx * w1 * t, y1 + uy * b + ny * w1 * t,
               0.6 * scale, rgb("a07810"))


def icon_tidemark(size, flat):
    c = Canvas(size, size)
    s = size / 32
    # the tide: a wave over the lower half, its crest a white line
    def water(x, y):
        return y >= 19 * s + 2.5 * s * math.sin(x / size * 2 * math.pi * 1.5)
    wave = rgb("2a6fd6") if flat else (lambda x, y: (int(40 + 50 * (1 - y / size)), int(110 + 60 * (1 - y / size)), 220, 1.0))
    c.shape(lambda x, y: water(x, y) and y < 31 * s and 1 * s < x < 31 * s, wave)
    c.shape(lambda x, y: abs(y - (19 * s + 2.5 * s * math.sin(x / size * 2 * math.pi * 1.5))) < 1.0 * s
            and 1 * s < x < 31 * s, rgb("ffffff"))
    broom(c, 27 * s, 2 * s, 12 * s, 17 * s, s, flat)
    return c


def icon_internet(size, flat):
    c = Canvas(size, size)
    globe(c, size / 2, size / 2, size / 2 - 1, flat)
    return c


def icon_file_lists(size, flat):
    c = Canvas(size, size)
    s = size / 32
    page(c, 9 * s, 2 * s, 19 * s, 24 * s, flat, lines=0)
    page(c, 4 * s, 6 * s, 19 * s, 24 * s, flat, lines=0)
    for i in range(4):
        y = 15 * s + i * 4 * s
        c.disc(8 * s, y, 1.2 * s, rgb("c03020"))
        c.line(11 * s, y, 20 * s, y, 1.3 * s, rgb("2060c0"))
    return c

# ---------------------------------------------------------------- colours

VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
       (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def palette_256():
    """A 6x7x6 colour cube and a ramp of greys."""
    pal = [(int(r * 51), int(g * 42.5), int(b * 51)) for r in range(6) for g in range(7) for b in range(6)]
    pal += [(int(i * 255 / 3), int(i * 255 / 3), int(i * 255 / 3)) for i in range(4)]
    return pal[:256]


class Quantizer:
    def __init__(self, palette):
        self.palette = palette
        self.cache = {}

    def index(self, colour):
        key = colour[:3]
        hit = self.cache.get(key)
        if hit is None:
            r, g, b = key
            hit = min(range(len(self.palette)), key=lambda i: (self.palette[i][0] - r) ** 2 * 3 +
                      (self.palette[i][1] - g) ** 2 * 4 + (self.palette[i][2] - b) ** 2 * 2)
            self.cache[key] = hit
        return hit


def flatten(c, background, transparent=None):
    """Composes the canvas over an opaque background colour: rows of (r, g, b). Where nothing
    was drawn at all the transparent colour is used instead, when one is given."""
    rows = []
    for row in c.px:
        out = []
        for p in row:
            if p is None or p[3] <= 0.0:
                out.append(transparent or background)
            else:
                a = p[3]
                out.append(tuple(int(round(p[i] * a + background[i] * (1 - a))) for i in range(3)))
        rows.append(out)
    return rows

# ---------------------------------------------------------------- icon files

def icon_image(c, bits, quantizer=None):
    """One BMP-in-ICO image: header, colour table, XOR bits, AND mask."""
    w, h = c.w, c.h
    if bits == 32:
        xor = bytearray()
        for y in range(h - 1, -1, -1):
            for x in range(w):
                p = c.px[y][x]
                if p is None:
                    xor += b"\0\0\0\0"
                else:
                    xor += bytes((int(p[2]), int(p[1]), int(p[0]), int(round(p[3] * 255))))
        table = b""
    else:
        opaque = flatten(c, (0, 0, 0))
        table = b"".join(bytes((b, g, r, 0)) for r, g, b in quantizer.palette)
        table += b"\0\0\0\0" * ((1 << bits) - len(quantizer.palette))
        xor = bytearray()
        for y in range(h - 1, -1, -1):
            row = [quantizer.index(opaque[y][x]) if (c.px[y][x] and c.px[y][x][3] >= 0.5) else 0 for x in range(w)]
            if bits == 4:
                packed = bytes((row[i] << 4) | row[i + 1] for i in range(0, w, 2))
            else:
                packed = bytes(row)
            xor += packed + b"\0" * ((-len(packed)) % 4)
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        bitsrow = 0
        for x in range(w):
            p = c.px[y][x]
            transparent = p is None or p[3] < 0.5
            bitsrow = (bitsrow << 1) | (1 if transparent else 0)
        rowbytes = bitsrow.to_bytes((w + 7) // 8, "big")
        mask += rowbytes + b"\0" * ((-len(rowbytes)) % 4)
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, bits, 0, len(xor) + len(mask), 0, 0,
                         0 if bits == 32 else (1 << bits), 0)
    return header + table + bytes(xor) + bytes(mask)


def write_icon(path, draw):
    images = []
    vga = Quantizer(VGA)
    for size in (32, 16, 48):
        images.append((size, 32, icon_image(draw(size, False), 32)))
    for size in (32, 16):
        images.append((size, 4, icon_image(draw(size, True), 4, vga)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        colours = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    out += b"".join(d for _, _, d in images)
    with open(path, "wb") as f:
        f.write(out)

# ---------------------------------------------------------------- animation

AVI_W, AVI_H, FRAMES = 200, 44, 16
KEY = (255, 0, 255)  # the transparent colour: the clip's first pixel
# Edges are blended with a light face colour rather than the key, so they show no fringe.
FACE = (236, 236, 236)


def animation_frame(i, flat):
    c = Canvas(AVI_W, AVI_H, ss=2 if flat else 3)
    globe(c, 24, 22, 18, flat)
    bin_x, bin_y, bin_w, bin_h = 168, 12, 24, 30
    bin_back(c, bin_x, bin_y, bin_w, bin_h, flat)
    # three sheets on an arc from the globe into the bin, a third of the way apart
    for k in range(3):
        t = ((i / FRAMES) + k / 3) % 1.0
        x = 40 + (bin_x + bin_w / 2 - 5 - 40) * t
        y = 18 - 56 * t * (1 - t) - 8 * t
        tilt = 0.6 * math.sin(t * math.pi * 3)
        page(c, x, y, 10, 12, flat, lines=2, tilt=tilt)
    bin_front(c, bin_x, bin_y, bin_w, bin_h, flat)
    return c


def rle8(rows):
    """BI_RLE8 of 8-bit rows, bottom row first: runs of equal pixels, rows ended by 00 00."""
    out = bytearray()
    for row in reversed(rows):
        x = 0
        while x < len(row):
            n = 1
            while x + n < len(row) and n < 255 and row[x + n] == row[x]:
                n += 1
            out += bytes((n, row[x]))
            x += n
        out += b"\0\0"
    out[-2:] = b"\0\1"  # the last end of row becomes the end of the bitmap
    return bytes(out)


def chunk(fourcc, data):
    return fourcc + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def write_avi(path, flat):
    palette = [KEY] + (VGA if flat else palette_256())[: 16 - 1 if flat else 255]
    quantizer = Quantizer(palette)
    frames = []
    for i in range(FRAMES):
        rows = flatten(animation_frame(i, flat), FACE, KEY)
        frames.append(rle8([[quantizer.index(p) for p in row] for row in rows]))
    biggest = max(len(f) for f in frames)
    us_per_frame = 80000
    avih = struct.pack("<IIIIIIIIII16x", us_per_frame, biggest * 1000000 // us_per_frame, 0, 0x10,
                       FRAMES, 0, 1, biggest, AVI_W, AVI_H)
    strh = (b"vids" + b"RLE " + struct.pack("<IHHIIIIIIIIhhhh", 0, 0, 0, 0, 2, 25, 0, FRAMES, biggest,
                                            0xFFFFFFFF, 0, 0, 0, AVI_W, AVI_H))
    strf = struct.pack("<IiiHHIIiiII", 40, AVI_W, AVI_H, 1, 8, 1, biggest, 0, 0, len(palette), len(palette))
    strf += b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    hdrl = b"hdrl" + chunk(b"avih", avih) + chunk(b"LIST", b"strl" + chunk(b"strh", strh) + chunk(b"strf", strf))
    movi = b"movi"
    index = b""
    for f in frames:
        index += b"00dc" + struct.pack("<III", 0x10, len(movi), len(f))
        movi += chunk(b"00dc", f)
    body = b"AVI " + chunk(b"LIST", hdrl) + chunk(b"LIST", movi) + chunk(b"idx1", index)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    write_icon(os.path.join(out, "tidemark.ico"), icon_tidemark)
    write_icon(os.path.join(out, "internet.ico"), icon_internet)
    write_icon(os.path.join(out, "file_lists.ico"), icon_file_lists)
    write_avi(os.path.join(out, "sweep8.avi"), True)
    write_avi(os.path.join(out, "sweep.avi"), False)


if __name__ == "__main__":
    main()
