#!/usr/bin/env python3
"""Draws every image of the installer skin into skin/res.

    python3 skin/draw/draw_skin.py            draw all images
    python3 skin/draw/draw_skin.py --check    verify names, sizes, count, size
                                              budget and that the files match
                                              what this script draws now
    python3 skin/draw/draw_skin.py --sheet /tmp/sheet.png
                                              contact sheet of all images on
                                              the backgrounds they sit on

Shapes are drawn at SCALE times the final size and reduced with LANCZOS, so
edges come out anti-aliased. Every image exists in two sets, for displays
at 100 % and 200 % (150 % draws the 2x set scaled down): "name.png" and "name@2x.png",
each redrawn at its size (not resized), with hairlines and borders snapped
to whole device pixels. The 60 animation frames are reduced to 256
colours with libimagequant, which halves their size without visible loss.
Nothing random and no timestamps: every run writes byte-identical files.
"""

import argparse
import concurrent.futures
import math
import os
import re
import shutil
import subprocess
import sys

try:
    from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont, features
except ImportError:
    # A python3 from pyenv or a venv may shadow Debian's, which has python3-pil.
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != os.path.realpath("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    sys.exit("draw_skin.py: Pillow is missing (Debian package python3-pil)")

HERE = os.path.dirname(os.path.abspath(__file__))
RES = os.path.join(os.path.dirname(HERE), "res")
INTL_RES = os.path.join(os.path.dirname(HERE), "intl", "res")
FONT_FILE = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
SCALE = 4
BUDGET = 1_000_000          # bytes for the 1x set of res/; keeps the packed skin small
BUDGET_ALL = 6_000_000      # bytes for both sets of res/
# The sets: device pixels per layout pixel, and what the file name carries before ".png".
SETS = ((1.0, ""), (2.0, "@2x"))
ZOOM = 1.0                  # the set being drawn now

# ---------------------------------------------------------------- palette

ACCENT = (0x00, 0x76, 0xFF)
ACCENT2 = (0x2F, 0x69, 0xF2)
INK = (0x1C, 0x28, 0x3C)          # headings, wordmark
SLATE = (0x7A, 0x86, 0x99)        # quiet glyphs
GREY_TEXT = (0x4A, 0x55, 0x68)
DISABLED = (0xC4, 0xCB, 0xD5)
DISABLED_TEXT = (0xA9, 0xB1, 0xBD)
BORDER = (0xCF, 0xD7, 0xE3)
AMBER = (0xFF, 0x9F, 0x2E)
WHITE = (0xFF, 0xFF, 0xFF)


def mix(a, b, t):
    """Blend colour a towards b by t (0..1)."""
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def lighter(c, t):
    return mix(c, WHITE, t)


def darker(c, t):
    return mix(c, (0, 0, 0), t)


def rgba(c, a=255):
    return tuple(c[:3]) + (int(round(a)),)


# ---------------------------------------------------------------- drawing helpers

_fonts = {}


def font(px):
    """The CJK/Latin face at px layout pixels (drawn at SCALE, in the current set)."""
    key = int(round(px * SCALE * ZOOM))
    if not os.path.exists(FONT_FILE):
        sys.exit(f"draw_skin.py: font {FONT_FILE} is missing (Debian package fonts-wqy-microhei)")
    if key not in _fonts:
        _fonts[key] = ImageFont.truetype(FONT_FILE, key, index=0)
    return _fonts[key]


def s(v):
    """Layout pixels to the drawing's pixels (SCALE times the set's device pixels)."""
    return int(round(v * SCALE * ZOOM))


def dev(v):
    """Layout pixels to whole device pixels of the current set (halves up)."""
    return int(math.floor(v * ZOOM + 0.5))


def snap(v):
    """A layout coordinate moved onto the nearest device pixel edge, so a border
    drawn from it stays sharp at every scale."""
    return dev(v) / ZOOM


def zoomed(v):
    """A length in device pixels of a picture drawn without Art (backgrounds)."""
    return v * ZOOM if ZOOM != 1.0 else v


def set_name(rel, suffix):
    root, ext = os.path.splitext(rel)
    return root + suffix + ext


class Art:
    """An RGBA picture drawn at SCALE; coordinates are in final pixels."""

    def __init__(self, w, h, bg=(0, 0, 0, 0)):
        self.w, self.h = dev(w), dev(h)
        self.size = (self.w * SCALE, self.h * SCALE)
        self.im = Image.new("RGBA", self.size, bg)

    def mask(self):
        return Image.new("L", self.size, 0)

    def fill(self, mask, paint):
        """Composite paint (a colour or an RGBA image) through mask."""
        if isinstance(paint, tuple):
            paint = Image.new("RGBA", self.size, paint if len(paint) == 4 else rgba(paint))
        p = paint.copy()
        p.putalpha(ImageChops.multiply(p.getchannel("A"), mask))
        self.im = Image.alpha_composite(self.im, p)

    def layer(self, img):
        self.im = Image.alpha_composite(self.im, img)

    def final(self):
        return self.im.resize((self.w, self.h), Image.LANCZOS)


def rrect_mask(art, x0, y0, x1, y1, r, into=None):
    m = into if into is not None else art.mask()
    ImageDraw.Draw(m).rounded_rectangle(
        [s(x0), s(y0), s(x1) - 1, s(y1) - 1], radius=max(0, s(r)), fill=255)
    return m


def ellipse_mask(art, cx, cy, rx, ry=None, into=None):
    ry = rx if ry is None else ry
    m = into if into is not None else art.mask()
    ImageDraw.Draw(m).ellipse([s(cx - rx), s(cy - ry), s(cx + rx) - 1, s(cy + ry) - 1], fill=255)
    return m


def poly_mask(art, pts, into=None):
    m = into if into is not None else art.mask()
    ImageDraw.Draw(m).polygon([(s(x), s(y)) for x, y in pts], fill=255)
    return m


def stroke_mask(art, pts, width, into=None):
    """Polyline with round caps and joins."""
    m = into if into is not None else art.mask()
    d = ImageDraw.Draw(m)
    sp = [(s(x), s(y)) for x, y in pts]
    d.line(sp, fill=255, width=s(width), joint="curve")
    r = width / 2
    for x, y in pts:
        d.ellipse([s(x - r), s(y - r), s(x + r) - 1, s(y + r) - 1], fill=255)
    return m


def arc_mask(art, cx, cy, r, a0, a1, width, caps=True, into=None):
    """Arc of the circle (cx, cy, r) from angle a0 to a1 (degrees, clockwise from 3 o'clock)."""
    m = into if into is not None else art.mask()
    d = ImageDraw.Draw(m)
    ro = r + width / 2
    d.arc([s(cx - ro), s(cy - ro), s(cx + ro) - 1, s(cy + ro) - 1], a0, a1, fill=255, width=s(width))
    if caps:
        hw = width / 2
        for a in (a0, a1):
            x = cx + r * math.cos(math.radians(a))
            y = cy + r * math.sin(math.radians(a))
            d.ellipse([s(x - hw), s(y - hw), s(x + hw) - 1, s(y + hw) - 1], fill=255)
    return m


def gradient(size, p0, p1, c0, c1):
    """Linear gradient image (RGBA) from colour c0 at p0 to c1 at p1 (points in size's pixels)."""
    w, h = size
    gw, gh = max(2, min(w, 96)), max(2, min(h, 96))
    dx, dy = p1[0] - p0[0], p1[1] - p0[1]
    dd = dx * dx + dy * dy or 1
    c0, c1 = rgba(c0) if len(c0) == 3 else c0, rgba(c1) if len(c1) == 3 else c1
    data = []
    for j in range(gh):
        y = (j + 0.5) * h / gh
        for i in range(gw):
            x = (i + 0.5) * w / gw
            t = ((x - p0[0]) * dx + (y - p0[1]) * dy) / dd
            t = 0.0 if t < 0 else 1.0 if t > 1 else t
            data.append(tuple(int(round(a + (b - a) * t)) for a, b in zip(c0, c1)))
    g = Image.new("RGBA", (gw, gh))
    g.putdata(data)
    return g.resize(size, Image.BILINEAR)


def text_width(txt, px, tracking=0.0):
    f = font(px)
    return sum(f.getlength(ch) for ch in txt) / (SCALE * ZOOM) + tracking * (len(txt) - 1)


def text_mask(art, txt, px, x, cy, tracking=0.0, weight=0, into=None):
    """Text starting at x with its ink centred on cy; weight thickens strokes (in 1/SCALE px)."""
    m = into if into is not None else art.mask()
    f = font(px)
    d = ImageDraw.Draw(m)
    _, top, _, bottom = f.getbbox(txt, anchor="ls")
    base = s(cy) - (top + bottom) / 2
    pen = s(x)
    stroke = weight if ZOOM == 1.0 else dev(weight)
    for ch in txt:
        d.text((pen, base), ch, font=f, fill=255, anchor="ls", stroke_width=stroke, stroke_fill=255)
        pen += f.getlength(ch) + tracking * SCALE * ZOOM
    return m


def centred_text_mask(art, txt, px, cx, cy, tracking=0.0, weight=0, into=None):
    x = cx - text_width(txt, px, tracking) / 2
    return text_mask(art, txt, px, x, cy, tracking, weight, into)


def edge_fade(size, px):
    """Mask that ramps from 0 at the picture's border to full px pixels (final) inside."""
    m = Image.new("L", size, 255)
    d = ImageDraw.Draw(m)
    n = s(px)
    for k in range(n):
        d.rectangle([k, k, size[0] - 1 - k, size[1] - 1 - k], outline=int(255 * (k + 0.5) / n))
    return m


def soft_shadow(art, mask, dx, dy, blur, colour):
    """Blurred copy of mask beneath the shape; faded out at the picture's
    edges so a shadow that reaches them never ends in a hard line."""
    sh = mask.transform(mask.size, Image.AFFINE, (1, 0, -s(dx), 0, 1, -s(dy)))
    sh = sh.filter(ImageFilter.GaussianBlur(s(blur)))
    art.fill(ImageChops.multiply(sh, edge_fade(mask.size, 2.5)), colour)


def palette(img):
    """Reduce to 256 RGBA colours; libimagequant keeps the edges and the
    mark's gradient clean and halves the size of the animation frames."""
    if not features.check("libimagequant"):
        return img
    return img.quantize(256, method=Image.LIBIMAGEQUANT)


def clear_hidden(img):
    """Fully transparent pixels made black: their colour never shows (the program draws
    premultiplied), and a PNG optimiser may change it."""
    if img.mode != "RGBA":
        return img
    r, g, b, a = img.split()
    hidden = a.point(lambda v: 255 if v == 0 else 0)
    black = Image.new("L", img.size, 0)
    return Image.merge("RGBA", [Image.composite(black, c, hidden) for c in (r, g, b)] + [a])


def stored_as_png(rel):
    """Whether the build packs the file as the PNG it is (skin/pack_skin.cmake): the 1x
    images other than the animation's frames, and the page backgrounds of every set. The
    others it rewrites with raw rows for LZMA, so their own compression does not matter."""
    if "/progressAnimate/" in rel:
        return False
    return "@" not in rel or re.search(r"/bg[0-9]*@", rel) is not None


def save(img, rel, out):
    path = os.path.join(out, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    img.save(path, optimize=True)


def recompress(paths):
    """zopflipng on the files the archive stores as they are: lossless, about a sixth
    smaller than Pillow's best, and the same bytes on every run."""
    if not shutil.which("zopflipng"):
        sys.exit("draw_skin.py: zopflipng is missing (Debian package zopfli)")

    def one(path):
        subprocess.run(["zopflipng", "-y", path, path], check=True, stdout=subprocess.DEVNULL)

    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 1) as pool:
        list(pool.map(one, paths))


# ---------------------------------------------------------------- buttons

def primary_colours(state):
    """Top and bottom of the blue button fill for a state."""
    if state == 1:
        return lighter(ACCENT, 0.06), ACCENT2
    if state == 2:
        return lighter(ACCENT, 0.20), lighter(ACCENT2, 0.14)
    if state == 3:
        return darker(ACCENT, 0.16), darker(ACCENT2, 0.18)
    return DISABLED, DISABLED


def primary_big(label, state, w=200):
    """200 x 46 pill with a soft blue shadow beneath."""
    h = 46
    a = Art(w, h)
    x0, x1, y0, y1 = 4, w - 4, 1, 41
    if state == 3:
        y0, y1 = y0 + 1, y1 + 1
    body = rrect_mask(a, x0, y0, x1, y1, (y1 - y0) / 2)
    if state == 1:
        soft_shadow(a, body, 0, 2, 1.8, rgba(ACCENT2, 80))
    elif state == 2:
        soft_shadow(a, body, 0, 2.5, 2.2, rgba(ACCENT, 105))
    elif state == 3:
        soft_shadow(a, body, 0, 0.8, 1.0, rgba(ACCENT2, 70))
    top, bottom = primary_colours(state)
    a.fill(body, gradient(a.size, (0, s(y0)), (0, s(y1)), top, bottom))
    if state == 3:
        # inset: a darker rim along the top edge
        rim = ImageChops.subtract(body, rrect_mask(a, x0, y0 + 1.5, x1, y1 + 1.5, (y1 - y0) / 2))
        a.fill(rim, rgba(darker(ACCENT2, 0.35), 90))
    colour = rgba(WHITE) if state != 4 else rgba(WHITE, 235)
    if label:
        a.fill(centred_text_mask(a, label, 18, w / 2, (y0 + y1) / 2, tracking=2, weight=1), colour)
    return a.final()


def primary_small(label, state, w=100, h=32):
    a = Art(w, h)
    top, bottom = primary_colours(state)
    body = rrect_mask(a, 0, 0, w, h, h / 2)
    a.fill(body, gradient(a.size, (0, 0), (0, a.size[1]), top, bottom))
    if state == 3:
        rim = ImageChops.subtract(body, rrect_mask(a, 0, 1.2, w, h + 1.2, h / 2))
        a.fill(rim, rgba(darker(ACCENT2, 0.35), 100))
    cy = h / 2 + (0.5 if state == 3 else 0)
    if label:
        a.fill(centred_text_mask(a, label, 14, w / 2, cy, tracking=1, weight=1), WHITE if state != 4 else rgba(WHITE, 235))
    return a.final()


def secondary_small(label, state, w=100, h=32):
    """White pill with a thin border; turns blue on hover."""
    fill, edge, text = {
        1: (WHITE, BORDER, GREY_TEXT),
        2: (lighter(ACCENT, 0.95), lighter(ACCENT, 0.25), ACCENT),
        3: (lighter(ACCENT, 0.88), ACCENT2, darker(ACCENT2, 0.12)),
        4: ((0xF4, 0xF6, 0xF8), (0xDD, 0xE2, 0xE9), DISABLED_TEXT),
    }[state]
    a = Art(w, h)
    b = snap(1)
    a.fill(rrect_mask(a, 0, 0, w, h, h / 2), edge)
    a.fill(rrect_mask(a, b, b, w - b, h - b, h / 2 - b), fill)
    cy = h / 2 + (0.5 if state == 3 else 0)
    if label:
        a.fill(centred_text_mask(a, label, 14, w / 2, cy, tracking=1, weight=1), text)
    return a.final()


def outline_button(label, state, w=80, h=36):
    """The folder button beside the path edit: same height and corner as the edit."""
    fill, edge, text = {
        1: (lighter(ACCENT, 0.95), lighter(ACCENT, 0.35), ACCENT),
        2: (lighter(ACCENT, 0.88), lighter(ACCENT, 0.10), ACCENT),
        3: (lighter(ACCENT, 0.78), ACCENT2, darker(ACCENT2, 0.15)),
        4: ((0xF4, 0xF6, 0xF8), (0xDD, 0xE2, 0xE9), DISABLED_TEXT),
    }[state]
    a = Art(w, h)
    b = snap(1)
    a.fill(rrect_mask(a, 0, 0, w, h, 4), edge)
    a.fill(rrect_mask(a, b, b, w - b, h - b, 4 - b), fill)
    if label:
        a.fill(centred_text_mask(a, label, 14, w / 2, h / 2 + (0.5 if state == 3 else 0), weight=1), text)
    return a.final()


def link_button(label, state, w, h, chevron):
    """Text-like button: label with a small chevron ('left' before, 'right' after)."""
    text, back = {
        1: (ACCENT2, None),
        2: (ACCENT, rgba(ACCENT, 22)),
        3: (darker(ACCENT2, 0.2), rgba(ACCENT2, 42)),
        4: (DISABLED_TEXT, None),
    }[state]
    a = Art(w, h)
    if back:
        a.fill(rrect_mask(a, 0, 0, w, h, h / 2), back)
    px, gap, cw = 12, 3.5, 4.0
    tw = text_width(label, px)
    total = tw + gap + cw
    x = (w - total) / 2
    cy = h / 2
    m = a.mask()
    if chevron == "left":
        stroke_mask(a, [(x + cw, cy - 3.6), (x + 0.6, cy), (x + cw, cy + 3.6)], 1.4, into=m)
        text_mask(a, label, px, x + cw + gap, cy, weight=1, into=m)
    else:
        text_mask(a, label, px, x, cy, weight=1, into=m)
        cx = x + tw + gap
        stroke_mask(a, [(cx, cy - 3.6), (cx + cw - 0.6, cy), (cx, cy + 3.6)], 1.4, into=m)
    a.fill(m, text)
    return a.final()


def glyph_button(kind, state, size):
    """Close (x) or minimise (-) in the title bar; a round wash marks hover and press."""
    a = Art(size, size)
    c = size / 2
    if state == 2:
        a.fill(ellipse_mask(a, c, c, c), rgba(ACCENT, 24))
        colour = ACCENT
    elif state == 3:
        a.fill(ellipse_mask(a, c, c, c), rgba(ACCENT2, 52))
        colour = darker(ACCENT2, 0.2)
    else:
        colour = SLATE
    r = size * 0.19
    if kind == "close":
        m = stroke_mask(a, [(c - r, c - r), (c + r, c + r)], 1.5)
        stroke_mask(a, [(c + r, c - r), (c - r, c + r)], 1.5, into=m)
    else:
        m = stroke_mask(a, [(c - r * 1.15, c), (c + r * 1.15, c)], 1.5)
    a.fill(m, colour)
    return a.final()


def check_box(checked, hot):
    a = Art(16, 16)
    if checked:
        a.fill(rrect_mask(a, 1, 1, 15, 15, 3.5), lighter(ACCENT, 0.16) if hot else ACCENT)
        a.fill(stroke_mask(a, [(4.6, 8.2), (7.0, 10.6), (11.6, 5.6)], 1.7), WHITE)
    else:
        o, i = snap(1), snap(1) + snap(1)
        a.fill(rrect_mask(a, o, o, 16 - o, 16 - o, 3.5), ACCENT if hot else (0xB3, 0xBD, 0xCC))
        a.fill(rrect_mask(a, i, i, 16 - i, 16 - i, 3.5 - o), lighter(ACCENT, 0.93) if hot else WHITE)
    return a.final()


# ---------------------------------------------------------------- marks and logos

def leaf(p0, p1, bulge_l, bulge_r, n=24):
    """Feather-like leaf from base p0 to tip p1, bulging by fractions of its length."""
    (x0, y0), (x1, y1) = p0, p1
    dx, dy = x1 - x0, y1 - y0
    length = math.hypot(dx, dy)
    nx, ny = -dy / length, dx / length
    pts = []
    for side, bulge in ((1, bulge_l), (-1, bulge_r)):
        run = range(n + 1) if side == 1 else range(n, -1, -1)
        for i in run:
            t = i / n
            # widest a little below the middle, like a quill's vane
            wdt = bulge * length * math.sin(math.pi * t ** 0.8)
            pts.append((x0 + dx * t + nx * wdt * side, y0 + dy * t + ny * wdt * side))
    return pts


def product_mark(a, x, y, size, shadow=False):
    """Rounded blue tile with a 'V' whose right arm is a quill feather."""
    r = size * 0.26
    tile = rrect_mask(a, x, y, x + size, y + size, r)
    if shadow:
        soft_shadow(a, tile, 0, size * 0.04, size * 0.05, rgba(ACCENT2, 60))
    a.fill(tile, gradient(a.size, (s(x), s(y)), (s(x + size), s(y + size)), lighter(ACCENT, 0.22), ACCENT2))
    u = size
    left = stroke_mask(a, [(x + 0.27 * u, y + 0.28 * u), (x + 0.47 * u, y + 0.72 * u)], 0.115 * u)
    a.fill(left, rgba(WHITE, 175))
    feather = poly_mask(a, leaf((x + 0.455 * u, y + 0.76 * u), (x + 0.775 * u, y + 0.19 * u), 0.13, 0.05))
    a.fill(feather, WHITE)
    # the quill's shaft, a hairline cut through the vane
    shaft = stroke_mask(a, [(x + 0.50 * u, y + 0.66 * u), (x + 0.70 * u, y + 0.31 * u)], 0.028 * u)
    a.fill(shaft, rgba(ACCENT2, 150))


def maker_mark(a, x, y, size):
    """Small blue hexagon with a white T."""
    cx, cy, r = x + size / 2, y + size / 2, size / 2
    # round the hexagon's corners by stroking a smaller one's outline
    inner = [(cx + (r - 1.2) * math.cos(math.radians(90 + 60 * i)), cy + (r - 1.2) * math.sin(math.radians(90 + 60 * i))) for i in range(6)]
    m = poly_mask(a, inner)
    stroke_mask(a, inner + [inner[0]], 2.4, into=m)
    a.fill(m, gradient(a.size, (s(x), s(y)), (s(x + size), s(y + size)), ACCENT, ACCENT2))
    t = stroke_mask(a, [(cx - size * 0.22, cy - size * 0.2), (cx + size * 0.22, cy - size * 0.2)], size * 0.13)
    stroke_mask(a, [(cx, cy - size * 0.2), (cx, cy + size * 0.25)], size * 0.13, into=t)
    a.fill(t, WHITE)


def blogo():
    w, h = 318, 66
    a = Art(w, h)
    word, px, trk = "Vellumora", 40, 0.6
    mark = 54
    gap = 16
    tw = text_width(word, px, trk)
    x = (w - (mark + gap + tw)) / 2
    product_mark(a, x, (h - mark) / 2, mark)
    a.fill(text_mask(a, word, px, x + mark + gap, h / 2, tracking=trk, weight=2), INK)
    return a.final()


def maker_logo():
    w, h = 116, 26
    a = Art(w, h)
    word, px = "TarvikSoft", 14
    mark, gap = 18, 6
    tw = text_width(word, px, 0.3)
    x = (w - (mark + gap + tw)) / 2
    maker_mark(a, x, (h - mark) / 2, mark)
    a.fill(text_mask(a, word, px, x + mark + gap, h / 2, tracking=0.3, weight=1), (0x6B, 0x77, 0x8A))
    return a.final()


def tip_logo():
    a = Art(40, 40)
    product_mark(a, 2, 2, 36)
    return a.final()


def finished_mark():
    a = Art(42, 42)
    a.fill(ellipse_mask(a, 21, 21, 20.5), gradient(a.size, (0, 0), a.size, lighter(ACCENT, 0.12), ACCENT2))
    a.fill(stroke_mask(a, [(12.4, 21.6), (18.4, 27.4), (29.6, 15.4)], 3.4), WHITE)
    return a.final()


def warn_icon():
    a = Art(40, 40)
    a.fill(ellipse_mask(a, 20, 20, 19), gradient(a.size, (0, 0), (0, a.size[1]), lighter(AMBER, 0.12), darker(AMBER, 0.04)))
    a.fill(stroke_mask(a, [(20, 11.5), (20, 22.5)], 3.6), WHITE)
    a.fill(ellipse_mask(a, 20, 28.3, 2.2), WHITE)
    return a.final()


def network_icon():
    a = Art(40, 40)
    a.fill(ellipse_mask(a, 20, 20, 20), lighter(ACCENT, 0.88))
    cx, cy = 18.5, 29
    m = a.mask()
    for r in (5.8, 10.6, 15.4):
        arc_mask(a, cx, cy, r, 228, 312, 2.8, into=m)
    ellipse_mask(a, cx, cy, 2.3, into=m)
    a.fill(m, ACCENT)
    # warning badge, cut out of the waves with a white ring
    bx, by = 29.5, 29
    a.fill(ellipse_mask(a, bx, by, 7.6), WHITE)
    a.fill(ellipse_mask(a, bx, by, 6.3), AMBER)
    a.fill(stroke_mask(a, [(bx, by - 3.2), (bx, by + 0.6)], 1.7), WHITE)
    a.fill(ellipse_mask(a, bx, by + 3.2, 1.0), WHITE)
    return a.final()


# ---------------------------------------------------------------- fields and bars

def edit_background():
    a = Art(340, 36)
    b = snap(1)
    a.fill(rrect_mask(a, 0, 0, 340, 36, 4), BORDER)
    a.fill(rrect_mask(a, b, b, 340 - b, 36 - b, 4 - b), WHITE)
    return a.final()


def progress_track():
    a = Art(400, 10)
    a.fill(rrect_mask(a, 0, 0, 400, 10, 5), (0xE1, 0xE8, 0xF3))
    return a.final()


def progress_fill():
    a = Art(400, 10)
    body = rrect_mask(a, 0, 0, 400, 10, 5)
    a.fill(body, gradient(a.size, (0, 0), (a.size[0], 0), ACCENT2, ACCENT))
    # a faint sheen on the upper half
    a.fill(ImageChops.multiply(body, rrect_mask(a, 0, 0, 400, 5, 2.5)), rgba(WHITE, 28))
    return a.final()


def tip_bubble():
    """Light speech bubble whose tail points down-left at the terms box."""
    w, h = 120, 36
    body_h = 31
    a = Art(w, h)
    tail = [(13, body_h - 2), (25, body_h - 2), (10, h - 0.5)]
    outer = rrect_mask(a, 0, 0, w, body_h, 6)
    poly_mask(a, tail, into=outer)
    # inset the tail's triangle towards its incentre by the border width
    (ax, ay), (bx, by), (cx, cy) = tail
    la, lb, lc = math.hypot(bx - cx, by - cy), math.hypot(ax - cx, ay - cy), math.hypot(ax - bx, ay - by)
    per = la + lb + lc
    ix, iy = (la * ax + lb * bx + lc * cx) / per, (la * ay + lb * by + lc * cy) / per
    area = abs((bx - ax) * (cy - ay) - (cx - ax) * (by - ay)) / 2
    rin = 2 * area / per
    b = snap(1)
    k = (rin - b) / rin
    inner_tail = [(ix + (px - ix) * k, iy + (py - iy) * k) for px, py in tail]
    inner = rrect_mask(a, b, b, w - b, body_h - b, 6 - b)
    poly_mask(a, inner_tail, into=inner)
    a.fill(outer, (0xA9, 0xCB, 0xFF))
    a.fill(inner, (0xEE, 0xF5, 0xFF))
    return a.final()


# ---------------------------------------------------------------- installing animation

FRAMES = 60


def animation_frame(i):
    """One frame of the installing loop: an arc sweeps a full turn per loop while
    its length breathes, and the mark in the middle swells gently; every motion
    is a whole number of periods over the 60 frames, so 59 flows into 0."""
    w = h = 200
    a = Art(w, h)
    c = 100
    t = i / FRAMES
    ring_r = 78
    a.fill(arc_mask(a, c, c, ring_r, 0, 360, 6, caps=False), rgba(ACCENT, 30))
    head = -90 + 360 * t * 2
    length = 75 + 55 * math.sin(2 * math.pi * t)
    a.fill(arc_mask(a, c, c, ring_r, head - length, head, 6), ACCENT)
    # a small satellite on an outer orbit, one slow turn the other way
    sat = -90 - 360 * t
    sx = c + 91 * math.cos(math.radians(sat))
    sy = c + 91 * math.sin(math.radians(sat))
    a.fill(ellipse_mask(a, sx, sy, 3.2), ACCENT2)
    size = 58 * (1 + 0.035 * math.sin(2 * math.pi * t * 2))
    product_mark(a, c - size / 2, c - size / 2, size)
    return palette(a.final())


# ---------------------------------------------------------------- page backgrounds

def vertical_wash(w, h, stops):
    """Opaque vertical gradient through (position 0..1, colour) stops."""
    col = Image.new("RGB", (1, h))
    for y in range(h):
        t = y / (h - 1)
        for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
            if p0 <= t <= p1:
                col.putpixel((0, y), mix(c0, c1, (t - p0) / (p1 - p0) if p1 > p0 else 0))
                break
    return col.resize((w, h), Image.NEAREST).convert("RGBA")


def blob(size, cx, cy, r, colour, alpha, blur):
    """A soft round glow; size in device pixels, the rest in layout pixels."""
    cx, cy, r, blur = zoomed(cx), zoomed(cy), zoomed(r), zoomed(blur)
    m = Image.new("L", size, 0)
    ImageDraw.Draw(m).ellipse([cx - r, cy - r, cx + r, cy + r], fill=alpha)
    m = m.filter(ImageFilter.GaussianBlur(blur))
    layer = Image.new("RGBA", size, rgba(colour))
    layer.putalpha(m)
    return layer


def wave_points(w, base, amp, period, phase, bottom, step=4):
    pts = [(0, bottom)]
    for x in range(0, w + step, step):
        pts.append((x, base + amp * math.sin(2 * math.pi * (x / period) + phase)))
    pts.append((w, bottom))
    return pts


def crisp_layer(w, h, draw_fn):
    """Shapes drawn at SCALE and reduced, for anti-aliased edges on backgrounds."""
    a = Art(w, h)
    draw_fn(a)
    return a.final()


def bg_start():
    w, h = 600, 400
    im = vertical_wash(dev(w), dev(h), [(0, (0xF1, 0xF6, 0xFF)), (0.55, (0xFB, 0xFD, 0xFF)), (1, (0xFF, 0xFF, 0xFF))])
    im = Image.alpha_composite(im, blob((dev(w), dev(h)), 590, 10, 170, ACCENT, 26, 60))
    im = Image.alpha_composite(im, blob((dev(w), dev(h)), 20, 330, 150, ACCENT2, 14, 60))

    def waves(a):
        a.fill(poly_mask(a, wave_points(w, 338, 9, 520, 0.6, h)), rgba(ACCENT, 12))
        a.fill(poly_mask(a, wave_points(w, 352, 7, 380, 2.4, h)), rgba(ACCENT2, 14))
    return Image.alpha_composite(im, crisp_layer(w, h, waves)).convert("RGB")


def bg_custom():
    w, h = 600, 400
    im = vertical_wash(dev(w), dev(h), [(0, (0xF4, 0xF8, 0xFF)), (0.45, (0xFD, 0xFE, 0xFF)), (1, (0xF7, 0xFA, 0xFF))])
    im = Image.alpha_composite(im, blob((dev(w), dev(h)), 0, 0, 150, ACCENT, 20, 55))

    def rings(a):
        a.fill(ellipse_mask(a, 610, 420, 150), rgba(ACCENT, 10))
        a.fill(ellipse_mask(a, 540, 450, 120), rgba(ACCENT2, 12))
    return Image.alpha_composite(im, crisp_layer(w, h, rings)).convert("RGB")


def bg_installing():
    w, h = 600, 400
    im = vertical_wash(dev(w), dev(h), [(0, (0xEE, 0xF4, 0xFF)), (0.7, (0xF8, 0xFB, 0xFF)), (1, (0xFC, 0xFD, 0xFF))])
    # a soft glow behind the animation (it is centred at 300, 155)
    im = Image.alpha_composite(im, blob((dev(w), dev(h)), 300, 155, 120, WHITE, 200, 45))

    def lines(a):
        # a few fine contour lines sweeping across the lower corners
        m = a.mask()
        for k in range(4):
            r = 170 + k * 22
            arc_mask(a, -40, 470, r, 270, 360, 1.0, caps=False, into=m)
            arc_mask(a, 640, 470, r, 180, 270, 1.0, caps=False, into=m)
        a.fill(m, rgba(ACCENT, 22))
    return Image.alpha_composite(im, crisp_layer(w, h, lines)).convert("RGB")


def bg_finished():
    w, h = 600, 400
    im = vertical_wash(dev(w), dev(h), [(0, (0xF2, 0xF7, 0xFF)), (0.6, (0xFD, 0xFE, 0xFF)), (1, (0xFF, 0xFF, 0xFF))])
    im = Image.alpha_composite(im, blob((dev(w), dev(h)), 300, 40, 260, ACCENT, 12, 70))

    def confetti(a):
        # hand-placed so the run is deterministic and the middle stays clear
        bits = [
            ("dot", 78, 92, 4, ACCENT, 60), ("dot", 132, 160, 2.5, ACCENT2, 70),
            ("bar", 96, 222, 12, ACCENT, 45, 35), ("dot", 58, 300, 3.5, ACCENT2, 40),
            ("ring", 168, 80, 6, ACCENT, 55), ("bar", 188, 128, 9, ACCENT2, 55, -25),
            ("dot", 512, 86, 3.5, ACCENT, 60), ("ring", 468, 150, 5, ACCENT2, 60),
            ("bar", 530, 206, 12, ACCENT2, 45, -40), ("dot", 560, 296, 2.5, ACCENT, 70),
            ("bar", 430, 78, 9, ACCENT, 50, 20), ("dot", 452, 236, 2.5, ACCENT2, 55),
            ("ring", 118, 272, 4.5, ACCENT, 40), ("dot", 232, 70, 2, ACCENT, 70),
            ("dot", 372, 66, 2.5, ACCENT2, 60),
        ]
        for b in bits:
            kind, x, y, r, col, al = b[:6]
            if kind == "dot":
                a.fill(ellipse_mask(a, x, y, r), rgba(col, al))
            elif kind == "ring":
                a.fill(arc_mask(a, x, y, r, 0, 360, 1.6, caps=False), rgba(col, al))
            else:
                ang = math.radians(b[6])
                dx, dy = math.cos(ang) * r / 2, math.sin(ang) * r / 2
                a.fill(stroke_mask(a, [(x - dx, y - dy), (x + dx, y + dy)], 3), rgba(col, al))
    return Image.alpha_composite(im, crisp_layer(w, h, confetti)).convert("RGB")


# ---------------------------------------------------------------- the image set

def image_set():
    """Every image of the skin: (path under res/, width, height, draw function)."""
    out = []

    def add(rel, w, h, fn):
        out.append((rel, w, h, fn))

    for i in (1, 2, 3):
        add(f"common/closebtn{i}.png", 26, 26, lambda i=i: glyph_button("close", i, 26))
        add(f"common/closebtn_{i}.png", 24, 24, lambda i=i: glyph_button("close", i, 24))
        add(f"common/minbtn{i}.png", 26, 26, lambda i=i: glyph_button("min", i, 26))

    for i, fn in enumerate((bg_start, bg_custom, bg_installing, bg_finished), 1):
        add(f"mainWnd/bg{i}.png", 600, 400, fn)
    for i in (1, 2, 3, 4):
        add(f"mainWnd/backBtn{i}.png", 42, 19, lambda i=i: link_button("返回", i, 42, 19, "left"))
        add(f"mainWnd/customeBtn{i}.png", 82, 19, lambda i=i: link_button("自定义安装", i, 82, 19, "right"))
        add(f"mainWnd/installBtn{i}.png", 200, 46, lambda i=i: primary_big("立即安装", i))
        add(f"mainWnd/installDirEdit{i}.png", 80, 36, lambda i=i: outline_button("更改目录", i))
        add(f"mainWnd/treatyCb{i}.png", 16, 16, lambda i=i: check_box(i >= 3, i in (2, 4)))
    for i in (1, 2, 3):
        add(f"mainWnd/openProduceBtn{i}.png", 200, 46, lambda i=i: primary_big("立即体验", i))
    add("mainWnd/blogo.png", 318, 66, blogo)
    add("mainWnd/cb1.png", 16, 16, lambda: check_box(False, False))
    add("mainWnd/cb2.png", 16, 16, lambda: check_box(True, False))
    add("mainWnd/installDirEdit.png", 340, 36, edit_background)
    add("mainWnd/installPrg1.png", 400, 10, progress_track)
    add("mainWnd/installPrg2.png", 400, 10, progress_fill)
    add("mainWnd/logo.png", 116, 26, maker_logo)
    add("mainWnd/tipLbl.png", 120, 36, tip_bubble)
    for i in range(FRAMES):
        add(f"mainWnd/progressAnimate/{i:03d}.png", 200, 200, lambda i=i: animation_frame(i))
    add("mainWnd/finishedAnimate/000.png", 42, 42, finished_mark)

    for i in (1, 2, 3, 4):
        add(f"MessageBoxWnd/okBtn{i}.png", 100, 32, lambda i=i: primary_small("知道了", i))
    for i in (1, 2, 3):
        add(f"MessageBoxWnd/againBtn{i}.png", 100, 32, lambda i=i: primary_small("重试", i))
        add(f"MessageBoxWnd/againBtn2{i}.png", 100, 32, lambda i=i: primary_small("重新下载", i))
        add(f"MessageBoxWnd/cancelBtn{i}.png", 100, 32, lambda i=i: secondary_small("取消", i))
        add(f"MessageBoxWnd/closeBtn{i}.png", 24, 24, lambda i=i: glyph_button("close", i, 24))
        add(f"MessageBoxWnd/coverBtn{i}.png", 100, 32, lambda i=i: primary_small("覆盖安装", i))
        add(f"MessageBoxWnd/submitBtn{i}.png", 100, 32, lambda i=i: secondary_small("打开软件", i))
        add(f"MessageBoxWnd/removeBtn{i}.png", 100, 32, lambda i=i: primary_small("卸载", i))
        add(f"TipWnd/okBtn{i}.png", 100, 32, lambda i=i: primary_small("退出", i))
        add(f"TipWnd/cancelBtn{i}.png", 100, 32, lambda i=i: secondary_small("继续安装", i))
    add("MessageBoxWnd/icoNetwork.png", 40, 40, network_icon)
    add("MessageBoxWnd/icoWarn.png", 40, 40, warn_icon)
    add("TipWnd/logo1.png", 40, 40, tip_logo)
    return out


EXPECTED_COUNT = 139

def chevron(state, direction, w=8, h=19):
    """The link buttons' chevron alone, for buttons whose text the window draws."""
    colour = {1: ACCENT2, 2: ACCENT, 3: darker(ACCENT2, 0.2), 4: DISABLED_TEXT}[state]
    a = Art(w, h)
    cy, x = h / 2, 1.5
    if direction == "left":
        pts = [(x + 4.0, cy - 3.6), (x + 0.6, cy), (x + 4.0, cy + 3.6)]
    else:
        pts = [(x, cy - 3.6), (x + 3.4, cy), (x, cy + 3.6)]
    a.fill(stroke_mask(a, pts, 1.4), colour)
    return a.final()


INTL_EXPECTED_COUNT = 24


def intl_image_set():
    """Images only the international skin adds (under its res/intl/): the text-bearing
    buttons without their Chinese labels, wider where translations need the room."""
    out = []
    for i in (1, 2, 3, 4):
        out.append((f"intl/bigBtn{i}.png", 240, 46, lambda i=i: primary_big("", i, 240)))
        out.append((f"intl/folderBtn{i}.png", 110, 36, lambda i=i: outline_button("", i, 110, 36)))
        out.append((f"intl/okBtn{i}.png", 150, 32, lambda i=i: primary_small("", i, 150)))
        out.append((f"intl/cancelBtn{i}.png", 150, 32, lambda i=i: secondary_small("", i, 150)))
        out.append((f"intl/backArrow{i}.png", 8, 19, lambda i=i: chevron(i, "left")))
        out.append((f"intl/moreArrow{i}.png", 8, 19, lambda i=i: chevron(i, "right")))
    return out


# Named by the layouts for the disabled state but deliberately absent: a
# missing image draws nothing, which is what those buttons want.
MUST_NOT_EXIST = [
    "common/closebtn4.png", "common/closebtn_4.png", "common/minbtn4.png",
    "mainWnd/Cb4.png", "mainWnd/openProduceBtn4.png",
    "TipWnd/cancelBtn4.png", "TipWnd/okBtn4.png",
]


# ---------------------------------------------------------------- commands

def use_set(zoom):
    global ZOOM
    ZOOM = zoom
    _fonts.clear()


def set_items(items):
    """Every (path, device width, height, draw function, zoom) of items in every set."""
    out = []
    for zoom, suffix in SETS:
        for rel, w, h, fn in items:
            out.append((set_name(rel, suffix), int(math.floor(w * zoom + 0.5)), int(math.floor(h * zoom + 0.5)), fn, zoom))
    return out


def draw_all(out, items=None):
    items = items if items is not None else image_set()
    every = set_items(items)
    for rel, w, h, fn, zoom in every:
        use_set(zoom)
        img = clear_hidden(fn())
        if img.size != (w, h):
            sys.exit(f"draw_skin.py: {rel} came out {img.size}, expected {w}x{h}")
        save(img, rel, out)
    use_set(1.0)
    recompress([os.path.join(out, rel) for rel, _, _, _, _ in every if stored_as_png("/" + rel)])
    print(f"drew {len(every)} images ({len(items)} in each of {len(SETS)} sets) into {out}")


def check_folder(out, items, expected_count, must_not_exist, budget, budget_all):
    problems = []
    if len(items) != expected_count:
        problems.append(f"image table has {len(items)} entries, expected {expected_count}")
    every = set_items(items)
    wanted = {rel for rel, _, _, _, _ in every}
    lower = {}
    for rel in wanted:
        if rel.lower() in lower:
            problems.append(f"{rel} and {lower[rel.lower()]} differ only in case")
        lower[rel.lower()] = rel
    for rel in must_not_exist:
        if rel.lower() in lower:
            problems.append(f"{rel} is in the image table but must not exist")
    found = {}
    total = base_total = 0
    for root, _, files in os.walk(out):
        for f in files:
            p = os.path.join(root, f)
            rel = os.path.relpath(p, out).replace(os.sep, "/")
            found[rel] = p
            total += os.path.getsize(p)
            if "@" not in f:
                base_total += os.path.getsize(p)
    for rel in sorted(set(found) - wanted):
        problems.append(f"unexpected file {rel}")
    found_lower = {k.lower() for k in found}
    for rel in must_not_exist:
        for _, suffix in SETS:
            if set_name(rel, suffix).lower() in found_lower:
                problems.append(f"{set_name(rel, suffix)} exists but must not")
    for rel, w, h, fn, zoom in every:
        if rel not in found:
            problems.append(f"missing {rel}")
            continue
        with Image.open(found[rel]) as im:
            if im.format != "PNG":
                problems.append(f"{rel} is not a PNG")
            if im.size != (w, h):
                problems.append(f"{rel} is {im.size[0]}x{im.size[1]}, expected {w}x{h}")
            have = im.convert("RGBA").tobytes()
        use_set(zoom)
        if have != clear_hidden(fn()).convert("RGBA").tobytes():
            problems.append(f"{rel} differs from what the script draws (run it again)")
    use_set(1.0)
    if budget and base_total > budget:
        problems.append(f"the 1x set of {out} holds {base_total} bytes, budget {budget}")
    if budget_all and total > budget_all:
        problems.append(f"{out} holds {total} bytes, budget {budget_all}")
    print(f"{out}: {len(found)} files, {total} bytes ({base_total} in the 1x set)")
    return problems


def check(out):
    problems = check_folder(out, image_set(), EXPECTED_COUNT, MUST_NOT_EXIST, BUDGET, BUDGET_ALL)
    if out == RES:
        problems += check_folder(INTL_RES, intl_image_set(), INTL_EXPECTED_COUNT, [], 0, 0)
    for p in problems:
        print("FAIL:", p)
    print(f"{len(problems)} problem(s)")
    return 0 if not problems else 1


def sheet(out, dest):
    """All images laid out on the backgrounds they are shown on."""
    def load(rel):
        return Image.open(os.path.join(out, rel)).convert("RGBA")

    def label(img, x, y, txt):
        ImageDraw.Draw(img).text((x, y), txt, font=ImageFont.truetype(FONT_FILE, 12), fill=(90, 90, 90, 255))

    W = 1900
    canvas = Image.new("RGBA", (W, 2300), (0x6E, 0x74, 0x80, 255))
    d = ImageDraw.Draw(canvas)
    # the four pages, each a mock-up of where the layout puts things
    for n in range(4):
        x0, y0 = 20 + n * 620, 20
        if x0 + 600 > W:
            x0, y0 = 20 + (n - 3) * 620, 440
        page = load(f"mainWnd/bg{n + 1}.png")
        page.alpha_composite(load("common/minbtn1.png"), (528, 10))
        page.alpha_composite(load("common/closebtn2.png"), (564, 10))
        if n == 0:
            page.alpha_composite(load("mainWnd/blogo.png"), (141, 75))
            page.alpha_composite(load("mainWnd/installBtn1.png"), (200, 213))
            page.alpha_composite(load("mainWnd/tipLbl.png"), (22, 318))
            ImageDraw.Draw(page).text((34, 326), "请阅读后勾选同意", font=ImageFont.truetype(FONT_FILE, 12), fill=rgba(ACCENT))
            page.alpha_composite(load("mainWnd/treatyCb3.png"), (20, 362))
            ImageDraw.Draw(page).text((42, 361), "已同意", font=ImageFont.truetype(FONT_FILE, 12), fill=(0x66, 0x66, 0x66))
            ImageDraw.Draw(page).text((80, 361), "《用户许可协议》", font=ImageFont.truetype(FONT_FILE, 12), fill=rgba(ACCENT2))
            page.alpha_composite(load("mainWnd/customeBtn1.png"), (498, 360))
        elif n == 1:
            page.alpha_composite(load("mainWnd/backBtn1.png"), (20, 19))
            page.alpha_composite(load("mainWnd/blogo.png"), (141, 75))
            f14 = ImageFont.truetype(FONT_FILE, 14)
            ImageDraw.Draw(page).text((40, 188), "安装路径：", font=f14, fill=(0x33, 0x33, 0x33))
            page.alpha_composite(load("mainWnd/installDirEdit.png"), (115, 179))
            ImageDraw.Draw(page).text((125, 188), "C:\\Program Files (x86)\\TarvikQuill", font=f14, fill=(0x33, 0x33, 0x33))
            page.alpha_composite(load("mainWnd/installDirEdit1.png"), (465, 179))
            ImageDraw.Draw(page).text((40, 236), "其他选项：", font=f14, fill=(0x33, 0x33, 0x33))
            page.alpha_composite(load("mainWnd/cb2.png"), (115, 237))
            ImageDraw.Draw(page).text((137, 236), "创建桌面快捷方式", font=f14, fill=(0x33, 0x33, 0x33))
            page.alpha_composite(load("mainWnd/cb1.png"), (275, 237))
            ImageDraw.Draw(page).text((297, 236), "添加到快速启动栏", font=f14, fill=(0x33, 0x33, 0x33))
            page.alpha_composite(load("mainWnd/installBtn2.png"), (200, 300))
        elif n == 2:
            page.alpha_composite(load("mainWnd/progressAnimate/000.png"), (200, 55))
            ImageDraw.Draw(page).text((300, 296), "正在安装中:42%，请稍候...", font=ImageFont.truetype(FONT_FILE, 20), fill=(0x33, 0x33, 0x33), anchor="mm")
            page.alpha_composite(load("mainWnd/installPrg1.png"), (100, 336))
            fill = load("mainWnd/installPrg2.png").crop((0, 0, 168, 10))
            fill.paste(load("mainWnd/installPrg2.png").crop((395, 0, 400, 10)), (163, 0))
            page.alpha_composite(fill, (100, 336))
        else:
            page.alpha_composite(load("mainWnd/finishedAnimate/000.png"), (196, 125))
            ImageDraw.Draw(page).text((252, 146), "安装完成", font=ImageFont.truetype(FONT_FILE, 40), fill=(0x33, 0x33, 0x33), anchor="lm")
            page.alpha_composite(load("mainWnd/openProduceBtn1.png"), (200, 250))
            page.alpha_composite(load("mainWnd/logo.png"), (242, 367))
        canvas.alpha_composite(page, (x0, y0))

    # button states in rows: on the page background and on white
    y = 880
    rows = [
        ("mainWnd/installBtn{}.png", 4), ("mainWnd/openProduceBtn{}.png", 3),
        ("mainWnd/installDirEdit{}.png", 4), ("mainWnd/backBtn{}.png", 4), ("mainWnd/customeBtn{}.png", 4),
        ("mainWnd/treatyCb{}.png", 4), ("mainWnd/cb{}.png", 2), ("common/closebtn{}.png", 3),
        ("common/minbtn{}.png", 3), ("common/closebtn_{}.png", 3),
    ]
    strip = Image.new("RGBA", (W - 40, 620), (0xF6, 0xF9, 0xFF, 255))
    sx, sy = 10, 10
    for pat, n in rows:
        for k in range(1, n + 1):
            im = load(pat.format(k))
            if sx + im.size[0] + 20 > strip.size[0]:
                sx, sy = 10, sy + 80
            strip.alpha_composite(im, (sx, sy + 16))
            label(strip, sx, sy, os.path.basename(pat.format(k)))
            sx += max(im.size[0], 90) + 14
        sx += 30
    sx, sy = 10, sy + 90
    for rel in ["mainWnd/installDirEdit.png", "mainWnd/installPrg1.png", "mainWnd/installPrg2.png",
                "mainWnd/tipLbl.png", "mainWnd/logo.png", "mainWnd/finishedAnimate/000.png"]:
        im = load(rel)
        strip.alpha_composite(im, (sx, sy + 16))
        label(strip, sx, sy, os.path.basename(rel))
        sx += im.size[0] + 24
    sx, sy = 10, sy + 80
    for k in range(0, 60, 6):
        im = load(f"mainWnd/progressAnimate/{k:03d}.png")
        strip.alpha_composite(im.resize((150, 150), Image.LANCZOS), (sx, sy + 16))
        label(strip, sx, sy, f"{k:03d}")
        sx += 160
    canvas.alpha_composite(strip, (20, y))

    # small windows: white body with the grey title strip
    y = 1520
    boxes = [
        ("MessageBoxWnd", ["okBtn{}.png", "againBtn{}.png", "againBtn2{}.png", "coverBtn{}.png", "cancelBtn{}.png", "submitBtn{}.png"]),
        ("TipWnd", ["okBtn{}.png", "cancelBtn{}.png"]),
    ]
    win = Image.new("RGBA", (W - 40, 560), (255, 255, 255, 255))
    ImageDraw.Draw(win).rectangle([0, 0, W, 30], fill=(0xF5, 0xF5, 0xF5, 255))
    wx = 10
    for k in (1, 2, 3):
        win.alpha_composite(load(f"MessageBoxWnd/closeBtn{k}.png"), (wx, 3))
        wx += 40
    wx, wy = 10, 50
    for folder, pats in boxes:
        for pat in pats:
            for k in range(1, 5):
                rel = f"{folder}/{pat.format(k)}"
                if not os.path.exists(os.path.join(out, rel)):
                    continue
                win.alpha_composite(load(rel), (wx, wy + 16))
                label(win, wx, wy, rel.split("/")[-1] if folder == "MessageBoxWnd" else rel)
                wx += 120
            wx, wy = 10, wy + 64
    wx = 10
    for rel in ["MessageBoxWnd/icoNetwork.png", "MessageBoxWnd/icoWarn.png", "TipWnd/logo1.png"]:
        win.alpha_composite(load(rel), (wx, wy + 16))
        wx += 70
    canvas.alpha_composite(win, (20, y))

    # two small windows as the layouts arrange them (400 x 180)
    f14 = ImageFont.truetype(FONT_FILE, 14)
    for n, (strip_colour, icon, text, ok, cancel) in enumerate([
        ((0xF5, 0xF5, 0xF5), "MessageBoxWnd/icoWarn.png", "检测到计算机中已存在此软件，修改安装\n路径后会在新路径下为您重新安装",
         "MessageBoxWnd/coverBtn1.png", "MessageBoxWnd/submitBtn1.png"),
        ((0xF3, 0xF5, 0xF9), "TipWnd/logo1.png", "您确定要退出安装吗？", "TipWnd/okBtn1.png", "TipWnd/cancelBtn2.png"),
        ((0xF5, 0xF5, 0xF5), "MessageBoxWnd/icoNetwork.png", "当前网络环境较差，请在网络通畅时进行重试",
         "MessageBoxWnd/againBtn1.png", None),
    ]):
        box = Image.new("RGBA", (400, 180), (255, 255, 255, 255))
        bd = ImageDraw.Draw(box)
        bd.rectangle([0, 0, 399, 29], fill=strip_colour + (255,))
        bd.text((14, 7), "温馨提示", font=f14, fill=(0x33, 0x33, 0x33))
        box.alpha_composite(load("common/closebtn_1.png"), (366, 3))
        box.alpha_composite(load(icon), (30, 56))
        bd.multiline_text((84, 60 if "\n" in text else 68), text, font=f14, fill=(0x33, 0x33, 0x33), spacing=6)
        if cancel:
            box.alpha_composite(load(ok), (176, 128))
            box.alpha_composite(load(cancel), (286, 128))
        else:
            box.alpha_composite(load(ok), (286, 128))
        canvas.alpha_composite(box, (640 + n * 410, 1600))
    canvas.convert("RGB").save(dest)
    print(f"wrote {dest}")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--out", default=RES, help="folder to draw into (default: skin/res)")
    ap.add_argument("--check", action="store_true", help="verify the drawn set instead of drawing")
    ap.add_argument("--sheet", metavar="PNG", help="write a contact sheet of the drawn set")
    ap.add_argument("--intl", action="store_true", help="draw the international skin's extra images into skin/intl/res")
    args = ap.parse_args()
    if args.intl:
        draw_all(INTL_RES, intl_image_set())
        return 0
    if args.check:
        return check(args.out)
    if args.sheet:
        sheet(args.out, args.sheet)
        return 0
    draw_all(args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
