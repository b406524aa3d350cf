#!/usr/bin/env python3
"""Draws the application icon and writes it as a Windows .ico file.

The design: a processor chip (a dark rounded body with four pins on each side)
holding four cores; the top-left core, processor 0, is orange, the other three
teal - the game pinned to processor 0 first, then spread over all of them.

The icon holds 11 images: 32, 24 and 16 pixels at 8 bits per pixel (with a
palette), and 255, 128, 96, 72, 48, 32, 24 and 16 pixels at 32 bits per pixel
(with alpha), all in bitmap form with AND masks.

Only the standard library, and only exact arithmetic (+ - * / and
comparisons), so the same input gives the same bytes everywhere.

    make_icon.py OUTPUT.ico          write the icon
    make_icon.py --check FILE.ico    exit 1 unless FILE.ico is what this draws
    make_icon.py OUTPUT.ico --preview DIR   also write each image as a .pam file
"""

import struct
import sys

# (size in pixels, bits per pixel), in the file's order.
IMAGES = [(32, 8), (24, 8), (16, 8),
          (255, 32), (128, 32), (96, 32), (72, 32), (48, 32), (32, 32), (24, 32), (16, 32)]

# The design lives on a 16 x 16 grid; one unit is size / 16 pixels. Edges on
# whole units fall on pixel edges at 16, 32, 48, 96 and 128 pixels.
GRID = 16.0

PIN = (0xB4, 0xBE, 0xC8)
PIN_SHADE = (0x8A, 0x95, 0xA1)
BODY_EDGE = (0x13, 0x1C, 0x26)
BODY_TOP = (0x46, 0x66, 0x86)
BODY_BOTTOM = (0x22, 0x33, 0x45)
CORE0_TOP = (0xFF, 0xBA, 0x4D)
CORE0_BOTTOM = (0xF0, 0x78, 0x00)
CORE_TOP = (0x6E, 0xEE, 0xDA)
CORE_BOTTOM = (0x10, 0xA8, 0x98)

SUBSAMPLES = 16  # per axis, for pixels that a rounded corner crosses


class Canvas:
    """Premultiplied RGBA in floats, 0 to 1; row 0 at the top."""

    def __init__(self, size):
        self.size = size
        self.pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]

    def fill(self, shape, paint):
        """Paints `shape` over what is there; paint(y) gives the colour at pixel row y."""
        x0, y0, x1, y1 = shape.bounds(self.size)
        for py in range(y0, y1):
            colour = paint((py + 0.5) / self.size)
            for px in range(x0, x1):
                cover = shape.coverage(px, py)
                if cover <= 0.0:
                    continue
                pixel = self.pixels[py * self.size + px]
                keep = 1.0 - cover
                for channel in range(3):
                    pixel[channel] = colour[channel] * cover + pixel[channel] * keep
                pixel[3] = cover + pixel[3] * keep

    def rgba(self, px, py):
        """Straight (not premultiplied) 8-bit RGBA."""
        r, g, b, a = self.pixels[py * self.size + px]
        if a <= 0.0:
            return (0, 0, 0, 0)
        return (to_byte(r / a), to_byte(g / a), to_byte(b / a), to_byte(a))


def to_byte(value):
    value = 0.0 if value < 0.0 else 1.0 if value > 1.0 else value
    return int(value * 255.0 + 0.5)


def overlap(a0, a1, b0, b1):
    low = a0 if a0 > b0 else b0
    high = a1 if a1 < b1 else b1
    return high - low if high > low else 0.0


class RoundedRect:
    """A rectangle in grid units with round corners, placed on a canvas of `size` pixels."""

    def __init__(self, x0, y0, x1, y1, radius, size):
        scale = size / GRID
        self.x0, self.y0, self.x1, self.y1 = x0 * scale, y0 * scale, x1 * scale, y1 * scale
        self.r = radius * scale

    def bounds(self, size):
        def clamp(v):
            return 0 if v < 0 else size if v > size else v
        return (clamp(int(self.x0)), clamp(int(self.y0)),
                clamp(int(self.x1) + 1), clamp(int(self.y1) + 1))

    def inside(self, x, y):
        r = self.r
        cx = self.x0 + r if x < self.x0 + r else self.x1 - r if x > self.x1 - r else x
        cy = self.y0 + r if y < self.y0 + r else self.y1 - r if y > self.y1 - r else y
        dx, dy = x - cx, y - cy
        return dx * dx + dy * dy <= r * r

    def near_corner(self, px, py):
        r = self.r
        if r <= 0.0:
            return False
        in_x = overlap(px, px + 1, self.x0, self.x0 + r) > 0 or \
            overlap(px, px + 1, self.x1 - r, self.x1) > 0
        in_y = overlap(py, py + 1, self.y0, self.y0 + r) > 0 or \
            overlap(py, py + 1, self.y1 - r, self.y1) > 0
        return in_x and in_y

    def coverage(self, px, py):
        if not self.near_corner(px, py):
            return overlap(px, px + 1, self.x0, self.x1) * overlap(py, py + 1, self.y0, self.y1)
        hits = 0
        step = 1.0 / SUBSAMPLES
        for sy in range(SUBSAMPLES):
            y = py + (sy + 0.5) * step
            if y < self.y0 or y > self.y1:
                continue
            for sx in range(SUBSAMPLES):
                x = px + (sx + 0.5) * step
                if self.x0 <= x <= self.x1 and self.inside(x, y):
                    hits += 1
        return hits / (SUBSAMPLES * SUBSAMPLES)


def solid(colour):
    c = tuple(v / 255.0 for v in colour)
    return lambda _y: c


def gradient(top, bottom, y0, y1):
    """Top colour at grid row y0 down to the bottom colour at y1."""
    t0, t1 = tuple(v / 255.0 for v in top), tuple(v / 255.0 for v in bottom)
    start, end = y0 / GRID, y1 / GRID

    def paint(y):
        t = (y - start) / (end - start)
        t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
        return tuple(a + (b - a) * t for a, b in zip(t0, t1))
    return paint


def draw(size):
    canvas = Canvas(size)
    unit_px = size / GRID
    # Thin lines stay at least one pixel wide at the small sizes.
    edge = 0.5 if unit_px >= 2.0 else 1.0 / unit_px
    corner = 1.5 if size >= 24 else 1.0

    # Pins: four a side, under the body.
    for a in (3.0, 6.0, 9.0, 12.0):
        for x0, y0, x1, y1 in ((a, 1.0, a + 1.0, 3.0), (a, 13.0, a + 1.0, 15.0),
                               (1.0, a, 3.0, a + 1.0), (13.0, a, 15.0, a + 1.0)):
            canvas.fill(RoundedRect(x0, y0, x1, y1, 0.0, size), gradient(PIN, PIN_SHADE, 1.0, 15.0))

    # The body: a dark edge, then the face.
    canvas.fill(RoundedRect(2.0, 2.0, 14.0, 14.0, corner, size), solid(BODY_EDGE))
    canvas.fill(RoundedRect(2.0 + edge, 2.0 + edge, 14.0 - edge, 14.0 - edge,
                            corner - edge if corner > edge else 0.0, size),
                gradient(BODY_TOP, BODY_BOTTOM, 2.0, 14.0))

    # The cores: processor 0 top left.
    core_radius = 0.5 if size >= 32 else 0.0
    for index, (x, y) in enumerate(((4.0, 4.0), (9.0, 4.0), (4.0, 9.0), (9.0, 9.0))):
        top, bottom = (CORE0_TOP, CORE0_BOTTOM) if index == 0 else (CORE_TOP, CORE_BOTTOM)
        canvas.fill(RoundedRect(x, y, x + 3.0, y + 3.0, core_radius, size),
                    gradient(top, bottom, y, y + 3.0))
    return canvas


def palette_for(pixels):
    """Up to 256 colours, entry 0 black (the transparent pixels' colour); the
    most frequent colours first, ties by value."""
    counts = {}
    for rgb in pixels:
        counts[rgb] = counts.get(rgb, 0) + 1
    ranked = sorted(counts.items(), key=lambda item: (-item[1], item[0]))
    palette = [(0, 0, 0)]
    for rgb, _count in ranked:
        if rgb != (0, 0, 0) and len(palette) < 256:
            palette.append(rgb)
    return palette + [(0, 0, 0)] * (256 - len(palette))


def nearest(palette, rgb, cache):
    if rgb in cache:
        return cache[rgb]
    best, best_distance = 0, None
    for index, (r, g, b) in enumerate(palette):
        distance = (r - rgb[0]) ** 2 + (g - rgb[1]) ** 2 + (b - rgb[2]) ** 2
        if best_distance is None or distance < best_distance:
            best, best_distance = index, distance
    cache[rgb] = best
    return best


def and_mask(size, transparent):
    """1 bit a pixel, 1 where transparent; rows bottom up, padded to 4 bytes."""
    row_bytes = (size + 31) // 32 * 4
    out = bytearray()
    for py in range(size - 1, -1, -1):
        row = bytearray(row_bytes)
        for px in range(size):
            if transparent(px, py):
                row[px // 8] |= 0x80 >> (px % 8)
        out += row
    return bytes(out)


def bitmap(size, bits):
    """One image: BITMAPINFOHEADER, palette (8 bpp), colour rows, AND mask."""
    canvas = draw(size)
    rgba = [[canvas.rgba(px, py) for px in range(size)] for py in range(size)]
    if bits == 32:
        pixel_rows = bytearray()
        for py in range(size - 1, -1, -1):
            for r, g, b, a in rgba[py]:
                pixel_rows += bytes((b, g, r, a))
        palette_bytes = b""
        mask = and_mask(size, lambda px, py: rgba[py][px][3] == 0)
        colours_used = 0
    else:
        opaque = [[p[3] >= 128 for p in row] for row in rgba]
        palette = palette_for([rgba[py][px][:3] for py in range(size) for px in range(size)
                               if opaque[py][px]])
        cache = {}
        row_bytes = (size + 3) // 4 * 4
        pixel_rows = bytearray()
        for py in range(size - 1, -1, -1):
            row = bytearray(row_bytes)
            for px in range(size):
                if opaque[py][px]:
                    row[px] = nearest(palette, rgba[py][px][:3], cache)
            pixel_rows += row
        palette_bytes = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
        mask = and_mask(size, lambda px, py: not opaque[py][px])
        colours_used = 256
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                         len(pixel_rows) + len(mask), 0, 0, colours_used, 0)
    return header + palette_bytes + bytes(pixel_rows) + mask, rgba


def build_icon(preview=None):
    images = []
    for size, bits in IMAGES:
        data, rgba = bitmap(size, bits)
        images.append((size, bits, data))
        if preview is not None:
            write_pam(f"{preview}/icon-{size}-{bits}bpp.pam", size, rgba)
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, bits, data in images:
        dimension = size if size < 256 else 0
        entries += struct.pack("<BBBBHHII", dimension, dimension, 0, 0, 1, bits, len(data), offset)
        blobs += data
        offset += len(data)
    return directory + entries + blobs


def write_pam(path, size, rgba):
    with open(path, "wb") as out:
        out.write(f"P7\nWIDTH {size}\nHEIGHT {size}\nDEPTH 4\nMAXVAL 255\n"
                  "TUPLTYPE RGB_ALPHA\nENDHDR\n".encode("ascii"))
        for row in rgba:
            for pixel in row:
                out.write(bytes(pixel))


def main(argv):
    if len(argv) == 3 and argv[1] == "--check":
        with open(argv[2], "rb") as existing:
            if existing.read() != build_icon():
                print(f"{argv[2]} differs from what tools/icon/make_icon.py draws; "
                      "run it again and commit the result", file=sys.stderr)
                return 1
        return 0
    if len(argv) == 2 and not argv[1].startswith("--"):
        icon = build_icon()
    elif len(argv) == 4 and argv[2] == "--preview":
        icon = build_icon(preview=argv[3])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[1], "wb") as out:
        out.write(icon)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
