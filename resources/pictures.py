"""The program's pictures: tiles, toolbar strip, title bar, scroll thumb,
splash and icon, drawn with Pillow. Used by make_resources.py.

Shapes are drawn S times larger and reduced, so edges are smooth; flat
frames and bevels are drawn pixel by pixel so they stay crisp.
"""

import math
import os

from PIL import Image, ImageDraw, ImageFilter, ImageFont

FONT_DIR = "/usr/share/fonts/truetype/liberation"
S = 8  # supersampling of the drawn shapes

# ---------------------------------------------------------------------------
# Colours


def snap(c):
    """The colour RGB565 keeps unchanged through packing and unpacking."""
    r, g, b = (max(0, min(255, int(round(v)))) for v in c[:3])
    r5 = (r * 31 + 127) // 255
    b5 = (b * 31 + 127) // 255
    if r == g == b:
        g6 = r5 * 2 + (r5 >> 4)
    else:
        g6 = (g * 63 + 127) // 255
    return ((r5 << 3) | (r5 >> 2), (g6 << 2) | (g6 >> 4), (b5 << 3) | (b5 >> 2))


def grey(v):
    return (v, v, v)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


WHITE = (255, 255, 255)
FRAME_GREY = grey(160)
RED_DARK = (168, 16, 16)
RED = (220, 36, 36)
FOLDER_BACK = (150, 172, 36)
FOLDER_TOP = (220, 236, 112)
FOLDER_BOTTOM = (176, 200, 48)
FOLDER_LINE = (96, 112, 16)
ARROW_BLUE = (24, 80, 184)
FACE = grey(200)
BLUE_FACE = (168, 196, 240)
GLYPH = grey(24)

# ---------------------------------------------------------------------------
# Drawing helpers. Shapes are drawn S times larger on a transparent layer and
# reduced; flat frames are drawn pixel by pixel.


def layer(w, h):
    return Image.new("RGBA", (w * S, h * S), (0, 0, 0, 0))


def mask(w, h):
    return Image.new("L", (w * S, h * S), 0)


def sc(*values):
    return [v * S for v in values]


def paint(img, m, colour):
    """Composites colour (a tuple, or an RGB image of img's size) through mask m."""
    if isinstance(colour, tuple):
        src = Image.new("RGBA", img.size, tuple(int(v) for v in colour) + (255,))
    else:
        src = colour.convert("RGBA")
    src.putalpha(m)
    img.alpha_composite(src)


def vgradient(size, y0, y1, c0, c1):
    """An RGB image of size shaded from c0 at y0 to c1 at y1 (unscaled px)."""
    w, h = size
    img = Image.new("RGB", size)
    d = ImageDraw.Draw(img)
    for y in range(h):
        c = mix(c0, c1, ((y + 0.5) / S - y0) / max(1e-6, y1 - y0))
        d.line([(0, y), (w, y)], fill=tuple(int(round(v)) for v in c))
    return img


def reduce(img, w, h):
    return img.convert("RGBa").resize((w, h), Image.BOX).convert("RGBA")


def over(base, hires):
    """Puts a supersampled layer, reduced, over the RGB base image."""
    small = reduce(hires, base.size[0], base.size[1])
    rgba = base.convert("RGBA")
    rgba.alpha_composite(small)
    return rgba.convert("RGB")


def rect(img, x0, y0, x1, y1, colour):
    """Fills the pixels x0..x1, y0..y1 (inclusive)."""
    ImageDraw.Draw(img).rectangle([x0, y0, x1, y1], fill=tuple(int(v) for v in colour))


def frame(img, x0, y0, x1, y1, colour, width=1):
    for i in range(width):
        ImageDraw.Draw(img).rectangle([x0 + i, y0 + i, x1 - i, y1 - i],
                                      outline=tuple(int(v) for v in colour))


# ---------------------------------------------------------------------------
# Tiles


def white_tile():
    img = Image.new("RGB", (64, 64), WHITE)
    frame(img, 0, 0, 63, 63, FRAME_GREY)
    return img


def red_tile():
    img = Image.new("RGB", (64, 64), WHITE)
    frame(img, 0, 0, 63, 63, RED, 4)
    frame(img, 0, 0, 63, 63, RED_DARK)
    return img


def folder_layer():
    """A yellow-green folder with a sheet of paper, in tile coordinates."""
    img = layer(64, 64)
    m = mask(64, 64)
    d = ImageDraw.Draw(m)
    # back panel and its tab
    d.rounded_rectangle(sc(10, 14, 28, 22), radius=2 * S, fill=255)
    d.rounded_rectangle(sc(10, 18, 54, 51), radius=2 * S, fill=255)
    paint(img, m, FOLDER_LINE)
    m = mask(64, 64)
    d = ImageDraw.Draw(m)
    d.rounded_rectangle(sc(11, 15, 27, 22), radius=1.5 * S, fill=255)
    d.rounded_rectangle(sc(11, 19, 53, 50), radius=1.5 * S, fill=255)
    paint(img, m, FOLDER_BACK)
    # paper
    m = mask(64, 64)
    d = ImageDraw.Draw(m)
    d.rectangle(sc(14, 22, 50, 30), fill=255)
    paint(img, m, grey(96))
    m = mask(64, 64)
    ImageDraw.Draw(m).rectangle(sc(15, 23, 49, 30), fill=255)
    paint(img, m, WHITE)
    # front panel, leaning back a little at the top
    front = [(9, 27), (55, 27), (54, 51), (10, 51)]
    m = mask(64, 64)
    ImageDraw.Draw(m).polygon([(x * S, y * S) for x, y in front], fill=255)
    paint(img, m, FOLDER_LINE)
    inner = [(10.2, 28), (53.8, 28), (52.9, 50), (11.1, 50)]
    m = mask(64, 64)
    ImageDraw.Draw(m).polygon([(x * S, y * S) for x, y in inner], fill=255)
    paint(img, m, vgradient(img.size, 28, 50, FOLDER_TOP, FOLDER_BOTTOM))
    # a highlight along the front's top edge
    m = mask(64, 64)
    ImageDraw.Draw(m).rectangle(sc(10.4, 28, 53.6, 29), fill=160)
    paint(img, m, WHITE)
    return img


def parent_arrow_layer():
    """An arrow that runs left along the folder and bends upward."""
    img = layer(64, 64)
    path = [(47, 44), (33, 44)]
    # quarter circle from (33, 44) up to (27, 38), centre (33, 38)
    for i in range(1, 9):
        a = math.pi / 2 + (math.pi / 2) * i / 8
        path.append((33 + 6 * math.cos(a), 38 + 6 * math.sin(a)))
    path.append((27, 31))
    head = [(27, 22), (20, 31.5), (34, 31.5)]
    for colour, width, grow in ((WHITE, 7.0, 1.6), (ARROW_BLUE, 3.6, 0.0)):
        m = mask(64, 64)
        d = ImageDraw.Draw(m)
        d.line([(x * S, y * S) for x, y in path], fill=255, width=int(width * S), joint="curve")
        r = width / 2
        x, y = path[0]
        d.ellipse(sc(x - r, y - r, x + r, y + r), fill=255)
        hx = [(27, 22 - grow * 1.3), (20 - grow * 1.2, 31.5 + grow * 0.6),
              (34 + grow * 1.2, 31.5 + grow * 0.6)]
        d.polygon([(x * S, y * S) for x, y in (hx if grow else head)], fill=255)
        paint(img, m, colour)
    return img


def folder_tile():
    return over(white_tile(), folder_layer())


def parent_tile(base):
    img = over(base, folder_layer())
    return over(img, parent_arrow_layer())


def parasol_scene(size):
    """The placeholder picture in grey tones, size x size pixels."""
    n = size
    img = layer(n, n)
    full = mask(n, n)
    ImageDraw.Draw(full).rectangle(sc(0, 0, n, n), fill=255)
    sky_end, sea_end = 0.52 * n, 0.70 * n
    paint(img, full, vgradient(img.size, 0, sky_end, grey(232), grey(208)))
    m = mask(n, n)
    ImageDraw.Draw(m).ellipse(sc(0.70 * n, 0.08 * n, 0.88 * n, 0.26 * n), fill=255)
    paint(img, m, grey(250))
    m = mask(n, n)
    ImageDraw.Draw(m).rectangle(sc(0, sky_end, n, sea_end), fill=255)
    paint(img, m, vgradient(img.size, sky_end, sea_end, grey(136), grey(168)))
    m = mask(n, n)
    d = ImageDraw.Draw(m)
    for i, (x, y) in enumerate(((0.08, 0.57), (0.55, 0.56), (0.32, 0.63), (0.78, 0.64))):
        d.line(sc(x * n, y * n, (x + 0.14) * n, y * n), fill=220, width=int(0.9 * S))
    paint(img, m, grey(200))
    m = mask(n, n)
    ImageDraw.Draw(m).rectangle(sc(0, sea_end, n, n), fill=255)
    paint(img, m, vgradient(img.size, sea_end, n, grey(216), grey(184)))
    # shadow, pole, canopy
    cx, top = 0.42 * n, 0.14 * n
    m = mask(n, n)
    ImageDraw.Draw(m).ellipse(sc(cx - 0.18 * n, 0.86 * n, cx + 0.30 * n, 0.93 * n), fill=255)
    paint(img, m, grey(160))
    m = mask(n, n)
    ImageDraw.Draw(m).line(sc(cx, top + 0.12 * n, cx + 0.05 * n, 0.90 * n), fill=255,
                           width=int(0.045 * n * S))
    paint(img, m, grey(72))
    half_w, height = 0.36 * n, 0.20 * n
    box = sc(cx - half_w, top, cx + half_w, top + 2 * height)
    base_y = top + height
    m = mask(n, n)
    ImageDraw.Draw(m).pieslice(box, 180, 360, fill=255)
    paint(img, m, grey(64))
    inner = [box[0] + S, box[1] + S, box[2] - S, box[3] - S]
    for k in range(5):
        colour = grey(80) if k % 2 == 0 else grey(184)
        m = mask(n, n)
        d = ImageDraw.Draw(m)
        d.pieslice(inner, 180 + 36 * k, 180 + 36 * (k + 1), fill=255)
        # a scallop under each panel
        x0 = cx - half_w + 2 * half_w * k / 5
        x1 = cx - half_w + 2 * half_w * (k + 1) / 5
        d.chord(sc(x0, base_y - 0.05 * n, x1, base_y + 0.05 * n), 0, 180, fill=255)
        paint(img, m, colour)
    m = mask(n, n)
    ImageDraw.Draw(m).ellipse(sc(cx - 0.03 * n, top - 0.05 * n, cx + 0.03 * n, top + 0.01 * n),
                              fill=255)
    paint(img, m, grey(64))
    return reduce(img, n, n)


def picture_tile(selected):
    img = Image.new("RGB", (64, 64), FACE)
    if selected:
        frame(img, 0, 0, 63, 63, grey(40), 4)
        frame(img, 0, 0, 63, 63, grey(16))
    else:
        # bevel: light top and left, dark bottom and right
        d = ImageDraw.Draw(img)
        for i, (light, dark) in enumerate(((grey(248), grey(96)), (grey(224), grey(144)))):
            d.line([(i, 63 - i), (i, i), (63 - i, i)], fill=light)
            d.line([(i + 1, 63 - i), (63 - i, 63 - i), (63 - i, i + 1)], fill=dark)
    frame(img, 7, 7, 56, 56, grey(112))
    scene = parasol_scene(48)
    img.paste(scene.convert("RGB"), (8, 8))
    return img


def thumb_tile():
    return white_tile()


# ---------------------------------------------------------------------------
# Toolbar strip, title bar, scroll thumb


def button(face, light, light2, dark2, dark):
    img = Image.new("RGB", (20, 20), face)
    d = ImageDraw.Draw(img)
    d.line([(0, 19), (0, 0), (19, 0)], fill=light)
    d.line([(1, 18), (1, 1), (18, 1)], fill=light2)
    d.line([(1, 19), (19, 19), (19, 1)], fill=dark)
    d.line([(2, 18), (18, 18), (18, 2)], fill=dark2)
    return img


def grey_button():
    return button(FACE, grey(255), grey(232), grey(136), grey(72))


def blue_button():
    return button(BLUE_FACE, (240, 248, 255), (208, 224, 248), (112, 140, 192), (40, 64, 120))


def glyph_triangle(img, up):
    d = ImageDraw.Draw(img)
    for i in range(6):
        y = 7 + i if up else 12 - i
        d.line([(9 - i, y), (10 + i, y)], fill=GLYPH)


def glyph_cross(img):
    hi = layer(20, 20)
    m = mask(20, 20)
    d = ImageDraw.Draw(m)
    d.line(sc(5.5, 5.5, 14.5, 14.5), fill=255, width=int(2.4 * S))
    d.line(sc(14.5, 5.5, 5.5, 14.5), fill=255, width=int(2.4 * S))
    paint(hi, m, GLYPH)
    return over(img, hi)


def glyph_plus(img, vertical=True):
    rect(img, 5, 9, 14, 10, GLYPH)
    if vertical:
        rect(img, 9, 5, 10, 14, GLYPH)


def glyph_squares(img):
    frame(img, 4, 4, 12, 12, GLYPH)
    rect(img, 5, 5, 11, 6, grey(96))  # title band of the back square
    rect(img, 7, 7, 15, 15, WHITE)
    frame(img, 7, 7, 15, 15, GLYPH)
    rect(img, 8, 8, 14, 9, ARROW_BLUE)


def glyph_expand(img):
    rect(img, 8, 8, 11, 11, GLYPH)
    d = ImageDraw.Draw(img)
    for sx, sy in ((-1, -1), (1, -1), (-1, 1), (1, 1)):
        cx = 3 if sx < 0 else 16
        cy = 3 if sy < 0 else 16
        # arrow head in the corner, shaft back toward the square
        d.line([(cx, cy), (cx - 3 * sx, cy)], fill=GLYPH)
        d.line([(cx, cy), (cx, cy - 3 * sy)], fill=GLYPH)
        d.line([(cx - sx, cy - sy), (cx - 3 * sx, cy - 3 * sy)], fill=GLYPH)


def toolbar_strip():
    images = []
    for k in range(10):
        img = blue_button() if k in (7, 9) else grey_button()
        if k in (0, 1):
            glyph_triangle(img, k == 0)
        elif k == 2:
            img = glyph_cross(img)
        elif k in (3, 4):
            glyph_plus(img, k == 3)
        elif k in (6, 7):
            glyph_squares(img)
        elif k in (8, 9):
            glyph_expand(img)
        images.append(img)
    strip = Image.new("RGB", (20, 200))
    for k, img in enumerate(images):
        strip.paste(img, (0, 20 * k))
    return strip


def title_bar():
    img = Image.new("RGB", (20, 20))
    for y in range(20):
        v = 248 - y * 56 / 18 if y < 19 else 128
        if y == 0:
            v = 255
        for x in range(20):
            c = v
            if y < 19:
                if x == 0:
                    c = min(255, v + 16)
                elif x == 18:
                    c = v - 24
                elif x == 19:
                    c = 128
            img.putpixel((x, y), snap(grey(c)))
    return img


def scroll_thumb():
    """A grey ball lit from the top left, on white."""
    img = Image.new("RGB", (20, 20), WHITE)
    n = 8
    lx, ly, lz = -0.45, -0.55, 0.70
    ln = math.sqrt(lx * lx + ly * ly + lz * lz)
    lx, ly, lz = lx / ln, ly / ln, lz / ln
    radius = 8.5
    for y in range(20):
        for x in range(20):
            acc = [0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    px = x + (sx + 0.5) / n - 10.0
                    py = y + (sy + 0.5) / n - 10.0
                    rr = (px * px + py * py) / (radius * radius)
                    if rr > 1.0:
                        v = 255.0
                    else:
                        nx, ny = px / radius, py / radius
                        nz = math.sqrt(max(0.0, 1.0 - rr))
                        diffuse = max(0.0, nx * lx + ny * ly + nz * lz)
                        hx, hy, hz = lx, ly, lz + 1.0
                        hn = math.sqrt(hx * hx + hy * hy + hz * hz)
                        shine = max(0.0, (nx * hx + ny * hy + nz * hz) / hn) ** 24
                        v = 70 + 150 * diffuse + 90 * shine
                        if rr > 0.86:
                            v = v * 0.75  # a soft rim so the ball reads on white
                    for i in range(3):
                        acc[i] += min(255.0, v)
            img.putpixel((x, y), tuple(int(round(a / (n * n))) for a in acc))
    return img


# ---------------------------------------------------------------------------
# Splash

BAYER4 = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def dithered_background(w, h):
    """A deep blue to teal shade with a soft glow, ordered-dithered to 565."""
    img = Image.new("RGB", (w, h))
    px = img.load()
    top, bottom, glow = (14, 30, 70), (10, 86, 128), (70, 140, 200)
    for y in range(h):
        for x in range(w):
            c = list(mix(top, bottom, y / (h - 1)))
            dist = math.hypot((x - w / 2) / (w * 0.55), (y - 118) / (h * 0.32))
            g = max(0.0, 1.0 - dist) ** 2 * 0.55
            c = [c[i] + (glow[i] - c[i]) * g for i in range(3)]
            t = (BAYER4[y % 4][x % 4] + 0.5) / 16 - 0.5
            r5 = int(max(0, min(31, math.floor(c[0] * 31 / 255 + 0.5 + t))))
            g6 = int(max(0, min(63, math.floor(c[1] * 63 / 255 + 0.5 + t))))
            b5 = int(max(0, min(31, math.floor(c[2] * 31 / 255 + 0.5 + t))))
            px[x, y] = ((r5 << 3) | (r5 >> 2), (g6 << 2) | (g6 >> 4), (b5 << 3) | (b5 >> 2))
    return img


def card_scene(kind, w, h):
    """A small colour photograph, supersampled, w x h pixels."""
    img = layer(w, h)
    full = mask(w, h)
    ImageDraw.Draw(full).rectangle(sc(0, 0, w, h), fill=255)
    if kind == "beach":
        paint(img, full, vgradient(img.size, 0, h * 0.55, (96, 168, 232), (180, 220, 248)))
        m = mask(w, h)
        ImageDraw.Draw(m).rectangle(sc(0, h * 0.55, w, h * 0.72), fill=255)
        paint(img, m, vgradient(img.size, h * 0.55, h * 0.72, (24, 96, 168), (56, 148, 200)))
        m = mask(w, h)
        ImageDraw.Draw(m).rectangle(sc(0, h * 0.72, w, h), fill=255)
        paint(img, m, vgradient(img.size, h * 0.72, h, (240, 216, 160), (224, 192, 128)))
        m = mask(w, h)
        ImageDraw.Draw(m).ellipse(sc(w * 0.74, h * 0.1, w * 0.9, h * 0.1 + w * 0.16), fill=255)
        paint(img, m, (255, 244, 200))
        cx, top, hw, hh = w * 0.4, h * 0.16, w * 0.3, h * 0.2
        m = mask(w, h)
        ImageDraw.Draw(m).line(sc(cx, top + hh, cx + w * 0.04, h * 0.92), fill=255,
                               width=int(1.4 * S))
        paint(img, m, (90, 70, 60))
        for k in range(5):
            m = mask(w, h)
            ImageDraw.Draw(m).pieslice(sc(cx - hw, top, cx + hw, top + 2 * hh),
                                       180 + 36 * k, 216 + 36 * k, fill=255)
            paint(img, m, (224, 40, 40) if k % 2 == 0 else (250, 246, 240))
    elif kind == "mountain":
        paint(img, full, vgradient(img.size, 0, h * 0.6, (120, 176, 232), (216, 236, 250)))
        m = mask(w, h)
        ImageDraw.Draw(m).polygon(
            [(x * S, y * S) for x, y in ((-2, h * 0.7), (w * 0.35, h * 0.18), (w * 0.62, h * 0.55),
                                         (w * 0.78, h * 0.34), (w + 2, h * 0.7))], fill=255)
        paint(img, m, (88, 100, 128))
        m = mask(w, h)
        ImageDraw.Draw(m).polygon(
            [(x * S, y * S) for x, y in ((w * 0.35, h * 0.18), (w * 0.27, h * 0.32), (w * 0.33, h * 0.30),
                                         (w * 0.38, h * 0.34), (w * 0.44, h * 0.29))], fill=255)
        paint(img, m, (248, 250, 255))
        m = mask(w, h)
        ImageDraw.Draw(m).rectangle(sc(0, h * 0.7, w, h), fill=255)
        paint(img, m, vgradient(img.size, h * 0.7, h, (64, 140, 72), (36, 100, 48)))
        m = mask(w, h)
        ImageDraw.Draw(m).ellipse(sc(w * 0.15, h * 0.74, w * 0.7, h * 0.9), fill=255)
        paint(img, m, (72, 144, 208))
    else:  # sunset
        paint(img, full, vgradient(img.size, 0, h * 0.65, (72, 40, 120), (248, 144, 64)))
        m = mask(w, h)
        ImageDraw.Draw(m).ellipse(sc(w * 0.38, h * 0.42, w * 0.62, h * 0.42 + w * 0.24), fill=255)
        paint(img, m, (255, 220, 96))
        m = mask(w, h)
        ImageDraw.Draw(m).rectangle(sc(0, h * 0.65, w, h), fill=255)
        paint(img, m, vgradient(img.size, h * 0.65, h, (200, 96, 64), (56, 32, 72)))
        m = mask(w, h)
        d = ImageDraw.Draw(m)
        for i in range(4):
            y = h * (0.7 + 0.07 * i)
            d.line(sc(w * (0.4 - 0.04 * i), y, w * (0.6 + 0.04 * i), y), fill=200, width=S)
        paint(img, m, (255, 200, 120))
    return reduce(img, w, h)


def photo_card(kind, w, h, border):
    card = Image.new("RGBA", (w, h), (250, 250, 246, 255))
    scene = card_scene(kind, w - 2 * border, h - 2 * border - border)
    card.alpha_composite(scene, (border, border))
    return card


def splash(version_numbers):
    w, h = 240, 320
    img = dithered_background(w, h).convert("RGBA")
    cards = (("mountain", -13, 60, 120), ("sunset", 11, 182, 112), ("beach", -2, 120, 130))
    for kind, angle, cx, cy in cards:
        card = photo_card(kind, 100, 84, 5)
        big = card.resize((card.width * 3, card.height * 3), Image.BICUBIC)
        big = big.rotate(angle, resample=Image.BICUBIC, expand=True)
        pad = 36
        padded = Image.new("RGBA", (big.width + 2 * pad, big.height + 2 * pad), (0, 0, 0, 0))
        padded.alpha_composite(big, (pad, pad))
        shadow = Image.new("RGBA", padded.size, (0, 0, 0, 0))
        shadow.putalpha(padded.getchannel("A").point(lambda a: a * 0.6))
        shadow = shadow.filter(ImageFilter.GaussianBlur(9))
        for part, dx, dy in ((shadow, 4, 6), (padded, 0, 0)):
            small = part.convert("RGBa").resize((part.width // 3, part.height // 3),
                                                Image.BOX).convert("RGBA")
            img.alpha_composite(small, (int(cx - small.width / 2 + dx), int(cy - small.height / 2 + dy)))
    bold = os.path.join(FONT_DIR, "LiberationSans-Bold.ttf")
    regular = os.path.join(FONT_DIR, "LiberationSans-Regular.ttf")

    def overlay(draw_fn):
        top = Image.new("RGBA", img.size, (0, 0, 0, 0))
        draw_fn(ImageDraw.Draw(top))
        img.alpha_composite(top)

    def centred(text, font, y, colour, shadow=True):
        box = ImageDraw.Draw(img).textbbox((0, 0), text, font=font)
        x = (w - (box[2] - box[0])) / 2 - box[0]
        if shadow:
            overlay(lambda d: d.text((x + 1, y + 2), text, font=font, fill=(0, 12, 32, 140)))
        overlay(lambda d: d.text((x, y), text, font=font, fill=colour))

    centred("Korvane", ImageFont.truetype(bold, 40), 200, (255, 255, 255))
    centred("Viewer", ImageFont.truetype(regular, 30), 242, (150, 214, 255))
    version = "Version %d.%d.%d.%d" % version_numbers
    vfont = ImageFont.truetype(bold, 15)
    box = ImageDraw.Draw(img).textbbox((0, 0), version, font=vfont)
    vw = box[2] - box[0]
    pill = [(w - vw) / 2 - 12, 284, (w + vw) / 2 + 12, 306]
    overlay(lambda d: d.rounded_rectangle(pill, radius=11, fill=(255, 255, 255, 36),
                                          outline=(190, 226, 255, 210), width=1))
    centred(version, vfont, 287, (255, 255, 255), shadow=False)
    return img.convert("RGB")


# ---------------------------------------------------------------------------
# Icon: a compact camera seen from the front


def camera(n):
    """RGBA camera of n x n pixels (n is 16 or 32)."""
    k = n / 32.0
    img = layer(n, n)

    def shape(draw_fn, colour, *args, **kw):
        m = mask(n, n)
        draw_fn(ImageDraw.Draw(m), *args, **kw)
        paint(img, m, colour if isinstance(colour, tuple) else colour)

    def s(*v):
        return [x * k * S for x in v]

    # shutter button and body
    shape(lambda d: d.rounded_rectangle(s(20, 4.5, 27, 9), radius=1.2 * k * S, fill=255), grey(48))
    shape(lambda d: d.rounded_rectangle(s(20.8, 5.3, 26.2, 9), radius=0.8 * k * S, fill=255),
          grey(152))
    shape(lambda d: d.rounded_rectangle(s(1, 7.5, 31, 28), radius=3.5 * k * S, fill=255), grey(40))
    shape(lambda d: d.rounded_rectangle(s(2, 8.5, 30, 27), radius=2.8 * k * S, fill=255),
          vgradient(img.size, 8.5 * k, 27 * k, grey(240), grey(150)))
    # grip band along the bottom
    shape(lambda d: d.rectangle(s(2, 22, 30, 23), fill=110), grey(96))
    if n >= 32:
        # flash and viewfinder window
        shape(lambda d: d.rounded_rectangle(s(4, 10.5, 10, 14.5), radius=0.8 * S, fill=255), grey(72))
        shape(lambda d: d.rectangle(s(5, 11.5, 9, 13.5), fill=255), (252, 248, 216))
        shape(lambda d: d.rounded_rectangle(s(23.5, 10.5, 28, 14.5), radius=0.8 * S, fill=255),
              (24, 32, 56))
        shape(lambda d: d.ellipse(s(24.3, 11.2, 25.8, 12.7), fill=220), WHITE)
    # lens: red ring, dark barrel, glass and a glint
    cx, cy, r = 16, 18, 8.6 if n >= 32 else 8.2
    shape(lambda d: d.ellipse(s(cx - r, cy - r, cx + r, cy + r), fill=255), (104, 8, 8))
    r1 = r - (1.2 if n < 32 else 0.9)
    shape(lambda d: d.ellipse(s(cx - r1, cy - r1, cx + r1, cy + r1), fill=255),
          vgradient(img.size, (cy - r1) * k, (cy + r1) * k, (248, 72, 64), (184, 16, 16)))
    r2 = r * (0.62 if n >= 32 else 0.52)
    shape(lambda d: d.ellipse(s(cx - r2, cy - r2, cx + r2, cy + r2), fill=255), grey(24))
    r3 = r * (0.45 if n >= 32 else 0.40)
    shape(lambda d: d.ellipse(s(cx - r3, cy - r3, cx + r3, cy + r3), fill=255),
          vgradient(img.size, (cy - r3) * k, (cy + r3) * k, (64, 88, 144), (16, 24, 48)))
    g = r * 0.16
    gx, gy = cx - r * 0.2, cy - r * 0.2
    shape(lambda d: d.ellipse(s(gx - g, gy - g, gx + g, gy + g), fill=255), WHITE)
    return reduce(img, n, n)
