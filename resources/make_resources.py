#!/usr/bin/env python3
"""The program's bitmaps, icon, strings, accelerators and version block.

    make_resources.py --output FILE.cpp   (the build)
    make_resources.py --draw [PREVIEW]    (a developer, after changing pictures.py)

--output reads the pictures in art/ and writes them, with the strings, the
accelerators and the version block of CMakeLists.txt's project version, as
the program's resource table: C++ arrays laid out as the handheld's resource
compiler lays them out. An 8-bit BMP keeps its palette and pixels as they
are; a picture of any other kind is reduced to 256 colours as drawn ones are.

--draw draws the pictures with pictures.py into art/, where they are
committed; PREVIEW, when given, is a folder that gets every picture as PNG,
enlarged. The splash shows the version, so a new version is drawn again.

Needs Python 3 with Pillow; on Debian python3-pil serves the system
interpreter:

    /usr/bin/python3 resources/make_resources.py --draw

Every colour is snapped to a value that RGB565 holds exactly, so the screen
shows the palette as drawn (greys keep red, green and blue equal).
"""

import os
import re
import struct
import sys

from PIL import Image

sys.dont_write_bytecode = True  # keep resources/ free of caches
from pictures import (camera, folder_layer, over, parent_tile, picture_tile, red_tile,
                      scroll_thumb, snap, splash, thumb_tile, title_bar, toolbar_strip,
                      white_tile, folder_tile)

HERE = os.path.dirname(os.path.abspath(__file__))
ART = os.path.join(HERE, "art")
LANGUAGE = 1033


def project_version():
    """project(VERSION a.b.c) and VIEWER_VERSION_BUILD of CMakeLists.txt: the one source."""
    with open(os.path.join(HERE, "..", "CMakeLists.txt")) as f:
        text = f.read()
    release = re.search(r"project\(korvane-viewer VERSION (\d+)\.(\d+)\.(\d+)", text)
    build = re.search(r"set\(VIEWER_VERSION_BUILD (\d+)\)", text)
    return tuple(int(n) for n in release.groups() + build.groups())


VERSION = project_version()


# ---------------------------------------------------------------------------
# Palettes and file layouts


def indexed(img):
    """(palette, rows of indices) of an RGB image, every colour 565-exact."""
    rgb = img.convert("RGB")
    snapped = Image.new("RGB", rgb.size)
    snapped.putdata([snap(c) for c in rgb.getdata()])
    colours = sorted(set(snapped.getdata()))
    if len(colours) > 256:
        q = snapped.quantize(256, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
        pal = q.getpalette()[:256 * 3]
        palette = [snap(tuple(pal[i * 3:i * 3 + 3])) for i in range(256)]
        data = list(q.getdata())
    else:
        palette = colours
        where = {c: i for i, c in enumerate(colours)}
        data = [where[c] for c in snapped.getdata()]
    w, h = rgb.size
    rows = [data[y * w:(y + 1) * w] for y in range(h)]
    return palette, rows


def dib(palette, rows, height_factor=1, and_rows=None, full_table=False):
    """BITMAPINFOHEADER, colour table and bottom-up pixel rows (and an icon's mask)."""
    h = len(rows)
    w = len(rows[0])
    stride = (w + 3) // 4 * 4
    table = list(palette) + [(0, 0, 0)] * ((256 if full_table else len(palette)) - len(palette))
    pixels = bytearray()
    for row in reversed(rows):
        pixels += bytes(row) + bytes(stride - w)
    mask_bytes = bytearray()
    if and_rows is not None:
        mstride = ((w + 31) // 32) * 4
        for row in reversed(and_rows):
            line = bytearray(mstride)
            for x, bit in enumerate(row):
                if bit:
                    line[x // 8] |= 0x80 >> (x % 8)
            mask_bytes += line
    header = struct.pack("<IiiHHIIiiII", 40, w, h * height_factor, 1, 8, 0,
                         len(pixels) + len(mask_bytes), 2835, 2835,
                         0 if full_table else len(table), 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in table)
    return header + colours + bytes(pixels) + bytes(mask_bytes)


def bmp_file(data):
    """A BMP file around a packed DIB whose colour table has biClrUsed entries."""
    clr_used = struct.unpack_from("<I", data, 32)[0]
    offset = 14 + 40 + 4 * clr_used
    return b"BM" + struct.pack("<IHHI", 14 + len(data), 0, 0, offset) + data


def icon_image(img):
    alpha = img.getchannel("A")
    solid = Image.new("RGB", img.size, (0, 0, 0))
    solid.paste(img.convert("RGB"), (0, 0), alpha.point(lambda a: 255 if a >= 128 else 0))
    palette, rows = indexed(solid)
    w, h = img.size
    transparent = [[1 if alpha.getpixel((x, y)) < 128 else 0 for x in range(w)] for y in range(h)]
    black = palette.index((0, 0, 0)) if (0, 0, 0) in palette else None
    if black is None:
        palette = palette + [(0, 0, 0)]
        black = len(palette) - 1
    rows = [[black if transparent[y][x] else rows[y][x] for x in range(w)] for y in range(h)]
    return dib(palette, rows, 2, transparent, full_table=True)


def utf16z(text):
    return (text + "\0").encode("utf-16-le")


def align4(b):
    return b + bytes((-len(b)) % 4)


def version_node(key, value=b"", value_length=None, text=False, children=()):
    """One VS_VERSIONINFO node: header, key, value, children, each on 4 bytes."""
    body = align4(struct.pack("<HHH", 0, 0, 0) + utf16z(key))
    body += value
    if children:
        body = align4(body)
        for child in children:
            body = align4(body) + child
    if value_length is None:
        value_length = len(value) // 2 if text else len(value)
    return struct.pack("<HHH", len(body), value_length, 1 if text else 0) + body[6:]


def version_block():
    ms = (VERSION[0] << 16) | VERSION[1]
    ls = (VERSION[2] << 16) | VERSION[3]
    fixed = struct.pack("<13I", 0xFEEF04BD, 0x00010000, ms, ls, ms, ls, 0x3F, 0, 0x4, 0x1, 0, 0, 0)
    shown = "%d, %d, %d, %d" % VERSION
    strings = [("CompanyName", "Korvane"), ("FileDescription", "Viewer"), ("FileVersion", shown),
               ("InternalName", "Viewer"),
               ("LegalCopyright", "Copyright (C) Korvane. All rights reserved."),
               ("OriginalFilename", "Viewer.exe"), ("ProductName", "Korvane Viewer"),
               ("ProductVersion", shown)]
    entries = [version_node(k, utf16z(v), text=True) for k, v in strings]
    table = version_node("040904B0", text=True, children=entries)
    string_info = version_node("StringFileInfo", text=True, children=[table])
    var = version_node("Translation", struct.pack("<HH", 0x0409, 0x04B0))
    var_info = version_node("VarFileInfo", text=True, children=[var])
    return version_node("VS_VERSION_INFO", fixed, children=[string_info, var_info])


def string_block(strings):
    out = b""
    for i in range(16):
        text = strings.get(i, "")
        out += struct.pack("<H", len(text)) + text.encode("utf-16-le")
    return out


def accelerators():
    FVIRTKEY, FALT, LAST = 0x01, 0x10, 0x80
    return (struct.pack("<HHHH", FALT, ord("/"), 40003, 0) +
            struct.pack("<HHHH", FVIRTKEY | FALT | LAST, 0x73, 40002, 0))


# ---------------------------------------------------------------------------
# Output


def c_array(name, data):
    lines = ["const BYTE %s[] = {" % name]
    for i in range(0, len(data), 24):
        lines.append("    " + ",".join(str(b) for b in data[i:i + 24]) + ",")
    lines.append("};")
    return "\n".join(lines)


BITMAP_NUMBERS = (104, 105, 106, 107, 109, 110, 111, 112, 113, 114, 115)
ICONS = ((1, 32), (2, 16))  # resource number, side
ICON_GROUP = 101


def art_path(name):
    return os.path.join(ART, name)


def drawn_bitmaps():
    return [
        (104, folder_tile()),
        (105, picture_tile(False)),
        (106, toolbar_strip()),
        (107, title_bar()),
        (109, parent_tile(white_tile())),
        (110, scroll_thumb()),
        (111, thumb_tile()),
        (112, splash(VERSION)),
        (113, over(red_tile(), folder_layer())),
        (114, parent_tile(red_tile())),
        (115, picture_tile(True)),
    ]


def draw(preview):
    """art/: every bitmap as an 8-bit BMP file, the icon's images in one ICO file."""
    os.makedirs(ART, exist_ok=True)
    bitmaps = drawn_bitmaps()
    for number, img in bitmaps:
        with open(art_path("bitmap%d.bmp" % number), "wb") as f:
            f.write(bmp_file(dib(*indexed(img))))
    images = [icon_image(camera(size)) for _, size in ICONS]
    ico_dir = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (_, size), data in zip(ICONS, images):
        ico_dir += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    with open(art_path("icon%d.ico" % ICON_GROUP), "wb") as f:
        f.write(ico_dir + b"".join(images))
    if preview:
        for number, img in bitmaps:
            img.resize((img.width * 4, img.height * 4), Image.NEAREST).save(
                os.path.join(preview, "bitmap%d.png" % number))
        for _, size in ICONS:
            cam = camera(size)
            back = Image.new("RGBA", cam.size, (255, 255, 255, 255))
            back.alpha_composite(cam)
            back.resize((size * 8, size * 8), Image.NEAREST).save(
                os.path.join(preview, "icon%d.png" % size))


def art_bitmap(number):
    """The packed DIB of art/bitmapN.bmp."""
    img = Image.open(art_path("bitmap%d.bmp" % number))
    if img.mode != "P":
        return dib(*indexed(img))
    count = len(img.palette.palette) // len(img.palette.rawmode)
    flat = img.getpalette()
    palette = [tuple(flat[i * 3:i * 3 + 3]) for i in range(count)]
    w, h = img.size
    data = list(img.getdata())
    return dib(palette, [data[y * w:(y + 1) * w] for y in range(h)])


def art_icon(size):
    """The side x side image of art/icon101.ico as the icon resource holds it."""
    ico = Image.open(art_path("icon%d.ico" % ICON_GROUP))
    return icon_image(ico.ico.getimage((size, size)).convert("RGBA"))


def write_source(path):
    arrays, entries = [], []
    for number in BITMAP_NUMBERS:
        arrays.append(c_array("kBitmap%d" % number, art_bitmap(number)))
        entries.append("RT_BITMAP, MAKEINTRESOURCEW(%d), %d, kBitmap%d, sizeof(kBitmap%d)" %
                       (number, LANGUAGE, number, number))

    group = struct.pack("<HHH", 0, 1, len(ICONS))
    for number, size in ICONS:
        data = art_icon(size)
        group += struct.pack("<BBBBHHIH", size, size, 0, 0, 1, 8, len(data), number)
        arrays.append(c_array("kIcon%d" % number, data))
        entries.append("RT_ICON, MAKEINTRESOURCEW(%d), %d, kIcon%d, sizeof(kIcon%d)" %
                       (number, LANGUAGE, number, number))
    arrays.append(c_array("kIconGroup%d" % ICON_GROUP, group))
    entries.append("RT_GROUP_ICON, MAKEINTRESOURCEW(%d), %d, kIconGroup%d, sizeof(kIconGroup%d)" %
                   (ICON_GROUP, LANGUAGE, ICON_GROUP, ICON_GROUP))

    arrays.append(c_array("kStrings1", string_block({1: "Viewer", 3: "VIEWER"})))
    entries.append("RT_STRING, MAKEINTRESOURCEW(1), %d, kStrings1, sizeof(kStrings1)" % LANGUAGE)
    arrays.append(c_array("kAccelerators3", accelerators()))
    entries.append("RT_ACCELERATOR, MAKEINTRESOURCEW(3), %d, kAccelerators3, sizeof(kAccelerators3)" %
                   LANGUAGE)
    arrays.append(c_array("kHiResAware", struct.pack("<H", 1)))
    entries.append('L"CEUX", L"HI_RES_AWARE", %d, kHiResAware, sizeof(kHiResAware)' % LANGUAGE)
    arrays.append(c_array("kVersion1", version_block()))
    entries.append("RT_VERSION, MAKEINTRESOURCEW(1), %d, kVersion1, sizeof(kVersion1)" % LANGUAGE)

    out = ["// Generated by resources/make_resources.py: do not edit; change the script",
           "// and run it again. The program's resources as its resource compiler lays",
           "// them out (bitmaps as packed 8-bit DIBs, icons, strings, accelerators, the",
           "// high-resolution marker and the version block).",
           '#include "resources/resource_table.h"', "", "namespace {", ""]
    out += [a + "\n" for a in arrays]
    out += ["}  // namespace", "", "const ResourceEntry kProgramResources[] = {"]
    out += ["    {%s}," % e for e in entries]
    out += ["};", "const int kProgramResourceCount =",
            "    (int)(sizeof(kProgramResources) / sizeof(kProgramResources[0]));", ""]
    # Written whole under another name first, so an interrupted build never
    # leaves half a file that looks current.
    temp = path + ".tmp"
    with open(temp, "w") as f:
        f.write("\n".join(out))
    os.replace(temp, path)


def main():
    args = sys.argv[1:]
    if len(args) == 2 and args[0] == "--output":
        write_source(args[1])
    elif args and args[0] == "--draw" and len(args) <= 2:
        draw(args[1] if len(args) == 2 else None)
    else:
        sys.exit("usage: make_resources.py --output FILE.cpp | --draw [PREVIEW]")


if __name__ == "__main__":
    main()
