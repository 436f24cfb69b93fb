#!/usr/bin/python3
"""Draws the installer's icon (resource 145): the product mark of the skin, a blue tile
with a 'V' whose right arm is a quill, at every size Windows asks for.

Run with /usr/bin/python3 (needs Pillow); writes Vellumora.ico beside this script.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "skin", "draw"))

sys.dont_write_bytecode = True
import draw_skin  # noqa: E402  (the skin's own drawing code, so icon and skin match)
from PIL import Image  # noqa: E402

SIZES = [16, 20, 24, 32, 40, 48, 64, 128, 256]


def mark(size):
    # A one-pixel margin at small sizes keeps the rounded tile from touching the edge.
    margin = 0 if size >= 64 else max(0.5, size / 32)
    art = draw_skin.Art(size, size)
    draw_skin.product_mark(art, margin, margin, size - 2 * margin)
    return art.final()


def main():
    images = [mark(size) for size in SIZES]
    out = os.path.join(HERE, "Vellumora.ico")
    largest = images[-1]
    largest.save(out, format="ICO", sizes=[(s, s) for s in SIZES], append_images=images[:-1])
    # Pillow takes each size from the matching appended image when one is given.
    check = Image.open(out)
    print(out, sorted(check.info.get("sizes", [])))


if __name__ == "__main__":
    main()
