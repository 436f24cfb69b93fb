#!/usr/bin/env python3
"""Rewrites PNG files in place, pixel for pixel the same, for an archive that compresses them:

    store_png.py FILE...

Rows are left unfiltered and the deflate stream is stored (not compressed), so LZMA over a
block of such files sees the pixels themselves and what similar images (the animation's
frames) share, and packs them a third smaller than their own deflate does. A palette is
sorted by colour, so the same colour has about the same index in every frame. Runs at build
time; the output is the same bytes on every machine.
"""

import os
import struct
import sys
import zlib

try:
    from PIL import Image
except ImportError:
    # A python3 from pyenv or a venv may shadow Debian's, which has python3-pil.
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != os.path.realpath("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    sys.exit("store_png.py: Pillow is missing (Debian package python3-pil)")

# PNG colour type and bytes per pixel of the modes written as they are.
COLOUR_TYPES = {"L": (0, 1), "RGB": (2, 3), "P": (3, 1), "LA": (4, 2), "RGBA": (6, 4)}


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def sorted_palette(im):
    """A paletted image's used colours (RGBA) in colour order, each once, and its pixels as
    indices into them."""
    palette = im.getpalette() or []
    alpha = im.info.get("transparency", b"")
    if isinstance(alpha, int):
        alpha = bytes(0 if i == alpha else 255 for i in range(256))

    def colour(i):
        return tuple(palette[3 * i:3 * i + 3]) + (alpha[i] if i < len(alpha) else 255,)

    used = [index for _, index in im.getcolors(256)]
    table = sorted({colour(i) for i in used})
    mapping = bytearray(256)
    for i in used:
        mapping[i] = table.index(colour(i))
    return table, im.tobytes().translate(bytes(mapping))


def encode(im):
    table = None
    if im.mode == "P":
        table, pixels = sorted_palette(im)
    else:
        if im.mode not in COLOUR_TYPES:
            im = im.convert("RGBA")
        pixels = im.tobytes()
    colour_type, bpp = COLOUR_TYPES[im.mode]
    width, height = im.size
    stride = width * bpp
    rows = b"".join(b"\0" + pixels[y * stride:(y + 1) * stride] for y in range(height))
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
    if table:
        out += chunk(b"PLTE", bytes(v for c in table for v in c[:3]))
        if any(c[3] != 255 for c in table):
            out += chunk(b"tRNS", bytes(c[3] for c in table))
    return out + chunk(b"IDAT", zlib.compress(rows, 0)) + chunk(b"IEND", b"")


def main(paths):
    for path in paths:
        with Image.open(path) as im:
            im.load()
            before = im.convert("RGBA").tobytes()
            data = encode(im)
        with open(path, "wb") as f:
            f.write(data)
        with Image.open(path) as check:
            if check.convert("RGBA").tobytes() != before:
                sys.exit(f"store_png.py: {path} would change its pixels")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
