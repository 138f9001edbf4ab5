#!/usr/bin/env python3
"""Draws the program's icon (a magnifier over a chip) and writes its resource files.

Usage: draw_icons.py OUTPUT_DIR

Writes, all byte-for-byte reproducible:
  icon_30001.bin, icon_30002.bin, icon_30003.bin  the images in RT_ICON form
  icon_group.bin                                  the RT_GROUP_ICON directory naming them
  app.ico                                         the same images as an ordinary icon file
  icon_30001.png, ...                             enlarged previews for people to look at
"""

import math
import os
import struct
import sys
import zlib

# The classic 16-colour palette: icons of this depth are shown with it on every display.
VGA16 = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
MONO = [(0x00, 0x00, 0x00), (0xFF, 0xFF, 0xFF)]

# Palette index of each part of the drawing; parts missing from a map are transparent.
COLOUR_PARTS = {
    "pin": 8, "body": 8, "edge": 0, "dot": 7, "glass": 14, "glass_body": 4, "glass_edge": 0,
    "glass_pin": 6, "ring": 0, "handle": 1, "shine": 15,
}
MONO_PARTS = {
    "pin": 0, "body": 1, "edge": 0, "dot": 0, "glass": 1, "glass_body": 1, "glass_edge": 0,
    "glass_pin": 0, "ring": 0, "handle": 0, "shine": 1,
}

# Geometry per image size in pixels: the chip's body square, its pin pitch and length, the
# lens (centre, outer and inner radius), the handle's far end and half width, and how much
# the lens enlarges what lies under it.
GEOMETRY = {
    32: dict(body=(3, 3, 20, 20), pitch=3, pin=2, lens=(18.5, 18.5, 8.6, 6.4),
             handle=(30.0, 30.0, 1.9), zoom=1.25),
    16: dict(body=(2, 2, 10, 10), pitch=2, pin=1, lens=(10.0, 10.0, 4.4, 3.0),
             handle=(15.0, 15.0, 1.1), zoom=1.0),
}

IMAGES = [  # resource ID, size, bits per pixel
    (30001, 32, 1),
    (30002, 32, 4),
    (30003, 16, 4),
]


def chip_part(g, x, y):
    """Which part of the chip covers the point (x, y), or None."""
    left, top, right, bottom = g["body"]
    if left <= x < right and top <= y < bottom:
        if x < left + 1 or y < top + 1 or x >= right - 1 or y >= bottom - 1:
            return "edge"
        if left + 2 <= x < left + 4 and top + 2 <= y < top + 4:
            return "dot"  # pin-1 mark, so the chip reads as a chip and not a square
        return "body"
    pitch, reach = g["pitch"], g["pin"]
    along_x = left + 1 <= x < right - 1 and int(x - left - 1) % pitch == pitch - 2
    along_y = top + 1 <= y < bottom - 1 and int(y - top - 1) % pitch == pitch - 2
    if along_x and (top - reach <= y < top or bottom <= y < bottom + reach):
        return "pin"
    if along_y and (left - reach <= x < left or right <= x < right + reach):
        return "pin"
    return None


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def part_at(g, x, y):
    """The visible part at pixel centre (x, y): the magnifier lies over the chip."""
    cx, cy, outer, inner = g["lens"]
    hx, hy, half_width = g["handle"]
    r = math.hypot(x - cx, y - cy)
    if r < inner:
        if math.hypot(x - (cx - inner * 0.45), y - (cy - inner * 0.45)) < inner * 0.22:
            return "shine"
        zoom = g["zoom"]
        seen = chip_part(g, cx + (x - cx) / zoom, cy + (y - cy) / zoom)
        return {None: "glass", "pin": "glass_pin", "edge": "glass_edge"}.get(seen, "glass_body")
    if r < outer:
        return "ring"
    along = (outer + inner) / 2 / math.sqrt(2)
    if segment_distance(x, y, cx + along, cy + along, hx, hy) <= half_width:
        return "handle"
    return chip_part(g, x, y)


def draw(size, bpp):
    """Rows top to bottom of palette indices, None where the icon is transparent."""
    g = GEOMETRY[size]
    parts = MONO_PARTS if bpp == 1 else COLOUR_PARTS
    return [[parts.get(part_at(g, x + 0.5, y + 0.5)) for x in range(size)] for y in range(size)]


def pack_row(values, bpp):
    """One bitmap row, most significant bits first, padded to a 4-byte boundary."""
    bits = "".join(format(v, "0%db" % bpp) for v in values)
    bits += "0" * (-len(bits) % 32)
    return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))


def icon_image(pixels, bpp):
    """The RT_ICON form: header with doubled height, palette, colour bitmap, then mask."""
    size = len(pixels)
    palette = MONO if bpp == 1 else VGA16
    bottom_up = list(reversed(pixels))
    xor = b"".join(pack_row([v or 0 for v in row], bpp) for row in bottom_up)
    mask = b"".join(pack_row([1 if v is None else 0 for v in row], 1) for row in bottom_up)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bpp, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    quads = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header + quads + xor + mask


def directory_entry(size, bpp, data_size):
    """The fields that the group directory and the .ico file share."""
    return struct.pack("<BBBBHHI", size, size, 1 << bpp, 0, 1, bpp, data_size)


def png(pixels, bpp, scale=8):
    """An enlarged RGBA preview, transparent where the icon is."""
    palette = MONO if bpp == 1 else VGA16
    rows = []
    for row in pixels:
        line = b"".join(bytes(palette[v]) + b"\xff" if v is not None else b"\0\0\0\0"
                        for v in row for _ in range(scale))
        rows += [b"\0" + line] * scale
    side = len(pixels) * scale

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data)))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def main(out_dir):
    os.makedirs(out_dir, exist_ok=True)

    def write(name, data):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)

    images = []
    for resource_id, size, bpp in IMAGES:
        pixels = draw(size, bpp)
        image = icon_image(pixels, bpp)
        write("icon_%d.bin" % resource_id, image)
        write("icon_%d.png" % resource_id, png(pixels, bpp))
        images.append((resource_id, size, bpp, image))

    header = struct.pack("<HHH", 0, 1, len(images))
    write("icon_group.bin", header + b"".join(
        directory_entry(size, bpp, len(image)) + struct.pack("<H", resource_id)
        for resource_id, size, bpp, image in images))

    offset = len(header) + 16 * len(images)
    entries = b""
    for _, size, bpp, image in images:
        entries += directory_entry(size, bpp, len(image)) + struct.pack("<I", offset)
        offset += len(image)
    write("app.ico", header + entries + b"".join(image for *_, image in images))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
