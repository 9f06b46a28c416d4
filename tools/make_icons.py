#!/usr/bin/env python3
"""Draws the Vantrel Credits icon and writes it in the forms desktops use.

The icon echoes the credits screen: a navy square holding concentric blue and
teal rings, crossed by one white bar standing for a credit line.

Writes into the output directory (default: assets/icons beside this tool):
  vantrel-credits-16.png ... vantrel-credits-256.png  hicolor theme icons, at
                                                      16, 24, 32, 48, 64, 128
                                                      and 256 px
  vantrel-credits.ico                                 48, 32, 24 and 16 px,
                                                      each at 4, 8, 24, 32 bpp

Only the standard library is used, and the output is a pure function of this
file: running it twice gives the same bytes.

    python3 tools/make_icons.py [OUTPUT_DIR]
"""

import os
import struct
import sys
import zlib

# Software centres ask for 64 px at least, and show up to 256.
PNG_SIZES = (16, 24, 32, 48, 64, 128, 256)
ICO_SIZES = (48, 32, 24, 16)
ICO_DEPTHS = (4, 8, 24, 32)

NAVY = (0, 0, 128)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
TEAL = (0, 128, 128)
BLUE = (40, 16, 220)  # a blue like the backdrop's circles
BRIGHT_TEAL = (0, 150, 150)
# Rings from the centre outwards: (radius, width) as fractions of half the
# side, and their colour. Below 32 px three rings blur into each other, so the
# small icons keep two, each at least a pixel wide.
RINGS_LARGE = (
    (0.28, 0.10, TEAL),
    (0.54, 0.10, BLUE),
    (0.80, 0.10, BRIGHT_TEAL),
)
RINGS_SMALL = (
    (0.42, 0.16, BLUE),
    (0.80, 0.16, BRIGHT_TEAL),
)
CORNER = 0.22  # corner radius, as a fraction of half the side
SUPERSAMPLE = 4  # samples per pixel along each axis, for smooth rings


# ---------------------------------------------------------------- drawing

def _rings(size):
    return RINGS_LARGE if size >= 32 else RINGS_SMALL


def _sample(x, y, half, rings):
    """Colour and coverage (0 or 1) at one point, in pixel units."""
    cx = x - half
    cy = y - half
    # The rounded square: outside the corner arcs is transparent.
    inner = half - CORNER * half
    dx = max(abs(cx) - inner, 0.0)
    dy = max(abs(cy) - inner, 0.0)
    if dx * dx + dy * dy > (CORNER * half) ** 2:
        return BLACK, 0
    r = (cx * cx + cy * cy) ** 0.5 / half
    for radius, width, colour in rings:
        if abs(r - radius) <= width / 2:
            return colour, 1
    return NAVY, 1


def draw(size):
    """The icon at size x size as rows of (r, g, b, a) tuples, top row first."""
    half = size / 2.0
    rings = _rings(size)
    n = SUPERSAMPLE
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            # Average premultiplied samples, then undo the premultiplication
            # so that edge pixels keep their true colour.
            acc = [0, 0, 0]
            covered = 0
            for sy in range(n):
                for sx in range(n):
                    colour, cover = _sample(px + (sx + 0.5) / n, py + (sy + 0.5) / n, half,
                                            rings)
                    if cover:
                        covered += 1
                        for i in range(3):
                            acc[i] += colour[i]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                rgb = tuple((acc[i] + covered // 2) // covered for i in range(3))
                row.append(rgb + ((covered * 255 + n * n // 2) // (n * n),))
        rows.append(row)
    # The credit line: a white bar snapped to whole pixels so that it stays
    # crisp at every size, centred, half the side long.
    bar_h = max(1, round(size / 12))
    bar_w = size // 2
    top = (size - bar_h) // 2
    left = (size - bar_w) // 2
    for py in range(top, top + bar_h):
        for px in range(left, left + bar_w):
            rows[py][px] = WHITE + (255,)
    return rows


# ---------------------------------------------------------------- PNG

def _png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png_bytes(rows):
    """An 8-bit RGBA PNG of the rows, with no time stamp or other ancillary chunk."""
    height = len(rows)
    width = len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter type: none
        for pixel in row:
            raw.extend(pixel)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n"
            + _png_chunk(b"IHDR", header)
            + _png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + _png_chunk(b"IEND", b""))


# ---------------------------------------------------------------- ICO

def _opaque(pixel):
    return pixel[3] >= 128


def _palette(rows, count):
    """At most `count` colours: transparent black, the design's own colours,
    then the most frequent remaining ones (ties broken by value)."""
    palette = [BLACK, NAVY, WHITE, TEAL, BLUE, BRIGHT_TEAL]
    frequency = {}
    for row in rows:
        for pixel in row:
            if _opaque(pixel):
                rgb = pixel[:3]
                frequency[rgb] = frequency.get(rgb, 0) + 1
    rest = sorted((c for c in frequency if c not in palette), key=lambda c: (-frequency[c], c))
    palette += rest[:count - len(palette)]
    return palette


def _nearest(palette, rgb, cache):
    if rgb not in cache:
        cache[rgb] = min(range(len(palette)),
                         key=lambda i: (sum((palette[i][k] - rgb[k]) ** 2 for k in range(3)), i))
    return cache[rgb]


def _row_stride(width, bpp):
    return ((width * bpp + 31) // 32) * 4


def _pack_indices(indices, bpp, stride):
    out = bytearray(stride)
    if bpp == 8:
        out[:len(indices)] = bytes(indices)
    else:  # 4 bpp: high nibble first
        for i, index in enumerate(indices):
            out[i // 2] |= index << (4 if i % 2 == 0 else 0)
    return bytes(out)


def bmp_entry(rows, bpp):
    """One icon image as the ICO's BMP form: header, palette for 4 and 8 bpp,
    colour rows bottom-up, then the 1 bpp AND mask (set = transparent)."""
    size = len(rows)
    palette = []
    colour_rows = []
    if bpp in (4, 8):
        palette = _palette(rows, 1 << bpp)
        palette += [BLACK] * ((1 << bpp) - len(palette))
        cache = {}
        stride = _row_stride(size, bpp)
        for row in reversed(rows):
            indices = [_nearest(palette, p[:3], cache) if _opaque(p) else 0 for p in row]
            colour_rows.append(_pack_indices(indices, bpp, stride))
    else:
        stride = _row_stride(size, bpp)
        for row in reversed(rows):
            line = bytearray()
            for r, g, b, a in row:
                if bpp == 32:
                    line.extend((b, g, r, a))
                else:
                    line.extend((b, g, r) if a >= 128 else (0, 0, 0))
            line.extend(b"\0" * (stride - len(line)))
            colour_rows.append(bytes(line))
    mask_stride = _row_stride(size, 1)
    mask_rows = []
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if not _opaque(pixel):
                line[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(bytes(line))
    bits = b"".join(colour_rows) + b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bpp, 0, len(bits), 0, 0,
                         len(palette), 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + colours + bits


def ico_bytes(images):
    """An ICO file from (rows, bpp) pairs, in the order given."""
    entries = [(rows, bpp, bmp_entry(rows, bpp)) for rows, bpp in images]
    offset = 6 + 16 * len(entries)
    directory = struct.pack("<HHH", 0, 1, len(entries))
    data = b""
    for rows, bpp, blob in entries:
        size = len(rows)
        colour_count = 16 if bpp == 4 else 0
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colour_count, 0, 1, bpp,
                                 len(blob), offset)
        offset += len(blob)
        data += blob
    return directory + data


# ---------------------------------------------------------------- main

def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = argv[1] if len(argv) > 1 else os.path.join(here, "..", "assets", "icons")
    os.makedirs(out_dir, exist_ok=True)
    drawn = {size: draw(size) for size in PNG_SIZES}
    for size in PNG_SIZES:
        with open(os.path.join(out_dir, "vantrel-credits-%d.png" % size), "wb") as f:
            f.write(png_bytes(drawn[size]))
    images = [(drawn[size], bpp) for size in ICO_SIZES for bpp in ICO_DEPTHS]
    with open(os.path.join(out_dir, "vantrel-credits.ico"), "wb") as f:
        f.write(ico_bytes(images))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
