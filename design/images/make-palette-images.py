#!/usr/bin/env python3
"""Draws the palette images of the package's components and writes them as 24 x 24
bitmaps with 8 bits per pixel (uncompressed BMP, 256-entry colour table):

    TSYBCONNECT.bmp  a database cylinder with a cable and a plug
    TSYBQUERY.bmp    a database cylinder and a result grid

The bottom-left pixel holds the background colour, which a palette shows as transparent.
The build embeds the .bmp files as resources; run this script again after changing a
drawing. With --preview DIR it also writes 8-times enlarged PNG copies for looking at.
"""
import os
import struct
import sys
import zlib

SIZE = 24

# The colour table: index -> (red, green, blue). Unused entries stay black.
COLOURS = {
    "back": (255, 0, 255),      # transparent background
    "outline": (32, 40, 64),
    "body": (70, 110, 170),
    "shade": (40, 70, 125),
    "light": (150, 185, 230),
    "top": (200, 220, 245),
    "copper": (200, 140, 40),
    "metal": (170, 170, 180),
    "cable": (60, 60, 60),
    "white": (255, 255, 255),
    "grid": (120, 120, 130),
    "header": (30, 60, 140),
    "highlight": (255, 230, 120),
}
INDEX = {name: i for i, name in enumerate(COLOURS)}


class Canvas:
    def __init__(self):
        self.pixels = [[INDEX["back"]] * SIZE for _ in range(SIZE)]

    def put(self, x, y, colour):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.pixels[y][x] = INDEX[colour]

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            self.put(x, y0, colour)
            self.put(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.put(x0, y, colour)
            self.put(x1, y, colour)

    def ellipse(self, x0, y0, x1, y1, fill, edge):
        cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
        rx, ry = (x1 - x0) / 2 + 0.5, (y1 - y0) / 2 + 0.5
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                d = ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2
                if d <= 1.0:
                    inner = ((x - cx) / (rx - 1)) ** 2 + ((y - cy) / (ry - 1)) ** 2 if rx > 1 and ry > 1 else 2
                    self.put(x, y, fill if inner <= 1.0 else edge)

    def cylinder(self, x0, y0, x1, y1):
        """A database drum: body with shading, a lid ellipse, two rings."""
        lid = 4
        self.ellipse(x0, y1 - lid, x1, y1, "shade", "outline")
        self.rect(x0, y0 + lid // 2, x1, y1 - lid // 2, "body")
        for y in range(y0 + lid // 2, y1 - lid // 2 + 1):
            self.put(x0, y, "outline")
            self.put(x1, y, "outline")
            self.put(x0 + 1, y, "light")
            self.put(x1 - 1, y, "shade")
        # Rings where the drum's sections meet.
        for ring in (y0 + (y1 - y0) // 3 + 1, y0 + 2 * (y1 - y0) // 3 + 1):
            for x in range(x0 + 1, x1):
                dx = (x - (x0 + x1) / 2) / ((x1 - x0) / 2)
                self.put(x, ring + round(1.5 * (1 - dx * dx)), "shade")
        self.ellipse(x0, y0, x1, y0 + lid, "top", "outline")

    def line(self, x0, y0, x1, y1, colour):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            self.put(round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps), colour)


def draw_connect():
    c = Canvas()
    c.cylinder(1, 3, 12, 20)
    # Cable from the drum to the plug.
    c.line(13, 15, 15, 15, "cable")
    c.line(15, 15, 15, 12, "cable")
    c.line(15, 12, 16, 12, "cable")
    # Plug body with two copper prongs.
    c.rect(16, 8, 20, 16, "metal")
    c.frame(16, 8, 20, 16, "outline")
    c.line(17, 9, 17, 15, "white")
    c.rect(21, 10, 23, 10, "copper")
    c.rect(21, 14, 23, 14, "copper")
    return c


def draw_query():
    c = Canvas()
    c.cylinder(0, 1, 10, 14)
    # A result grid: header row, three rows of two columns.
    x0, y0, x1, y1 = 8, 11, 23, 23
    c.rect(x0, y0, x1, y1, "white")
    c.rect(x0, y0, x1, y0 + 3, "header")
    c.frame(x0, y0, x1, y1, "outline")
    for y in (y0 + 3, y0 + 6, y0 + 9):
        c.line(x0, y, x1, y, "grid")
    c.line(x0 + 6, y0 + 3, x0 + 6, y1, "grid")
    c.rect(x0 + 1, y0 + 4, x0 + 5, y0 + 5, "highlight")
    c.rect(x0 + 7, y0 + 4, x1 - 1, y0 + 5, "highlight")
    return c


def bmp_bytes(canvas):
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in COLOURS.values())
    palette += b"\0" * (256 * 4 - len(palette))
    row_size = (SIZE + 3) // 4 * 4
    rows = b"".join(bytes(canvas.pixels[y]) + b"\0" * (row_size - SIZE) for y in reversed(range(SIZE)))
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 8, 0, len(rows), 3780, 3780, 256, 0)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    return header + info + palette + rows


def png_bytes(canvas, scale):
    colours = list(COLOURS.values())
    raw = b""
    for y in range(SIZE * scale):
        row = canvas.pixels[y // scale]
        raw += b"\0" + b"".join(bytes(colours[row[x // scale]]) for x in range(SIZE * scale))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    ihdr = struct.pack(">IIBBBBB", SIZE * scale, SIZE * scale, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    preview = sys.argv[2] if len(sys.argv) > 2 and sys.argv[1] == "--preview" else None
    for name, draw in (("TSYBCONNECT", draw_connect), ("TSYBQUERY", draw_query)):
        canvas = draw()
        with open(os.path.join(here, name + ".bmp"), "wb") as f:
            f.write(bmp_bytes(canvas))
        if preview:
            with open(os.path.join(preview, name + ".png"), "wb") as f:
                f.write(png_bytes(canvas, 8))


if __name__ == "__main__":
    main()
