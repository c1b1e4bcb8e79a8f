#!/usr/bin/python3
"""Makes the launcher's artwork: the skin sheet, the bitmaps and the icons.

    make_art.py OUTDIR

Everything is black and white (a few greys where a face must show light text) and drawn
here from shapes, a 3 x 5 pixel font and the system's fonts, so the art can be changed by
editing this file. The build runs it; the files land in OUTDIR under the names
launcher/resources/skin.rc expects. PIL only draws; the files are written by hand, because
the resources need colour depths PIL does not write (4 and 16 bits per pixel).
"""
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFont

SANS_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
SERIF_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf"
MING = "/usr/share/fonts/truetype/arphic/uming.ttc"

BLACK, DARK, GREY, SILVER, WHITE = 0, 0x40, 0x80, 0xC0, 0xFF
TRACK = 0x60  # inside of an empty progress track: dark enough for white digits

# ---------------------------------------------------------------------------------------
# The skin font. Its order and widths are fixed by the drawing code (launcher/ui): each
# glyph is one column narrower than its width; the last column is the space to the next.
FONT_CHARS = "0123456789%_-\\/:.[]ABCDEFGHIJKLMNOPQRSTUVWXYZ "
FONT_WIDTHS = "4244444444444444333444444442444454454444444442"
GLYPHS = {
    "0": "### #.# #.# #.# ###", "1": "# # # # #", "2": "### ..# ### #.. ###",
    "3": "### ..# .## ..# ###", "4": "#.# #.# ### ..# ..#", "5": "### #.. ### ..# ###",
    "6": "### #.. ### #.# ###", "7": "### ..# ..# .#. .#.", "8": "### #.# ### #.# ###",
    "9": "### #.# ### ..# ###", "%": "#.# ..# .#. #.. #.#", "_": "... ... ... ... ###",
    "-": "... ... ### ... ...", "\\": "#.. #.. .#. ..# ..#", "/": "..# ..# .#. #.. #..",
    ":": "... .#. ... .#. ...", ".": ".. .. .. .. #.", "[": "## #. #. #. ##",
    "]": "## .# .# .# ##", "A": ".#. #.# ### #.# #.#", "B": "##. #.# ##. #.# ##.",
    "C": ".## #.. #.. #.. .##", "D": "##. #.# #.# #.# ##.", "E": "### #.. ##. #.. ###",
    "F": "### #.. ##. #.. #..", "G": ".## #.. #.# #.# .##", "H": "#.# #.# ### #.# #.#",
    "I": "# # # # #", "J": "..# ..# ..# #.# .#.", "K": "#.# #.# ##. #.# #.#",
    "L": "#.. #.. #.. #.. ###", "M": "#.# ### ### #.# #.#", "N": "#..# ##.# #.## #..# #..#",
    "O": ".#. #.# #.# #.# .#.", "P": "##. #.# ##. #.. #..", "Q": ".##. #..# #..# #.#. .#.#",
    "R": "##. #.# ##. #.# #.#", "S": ".## #.. .#. ..# ##.", "T": "### .#. .#. .#. .#.",
    "U": "#.# #.# #.# #.# ###", "V": "#.# #.# #.# #.# .#.", "W": "#.# #.# ### ### #.#",
    "X": "#.# #.# .#. #.# #.#", "Y": "#.# #.# .#. .#. .#.", "Z": "### ..# .#. #.. ###",
    " ": ". . . . .",
}

FONT_X, FONT_Y = 19, 3  # where the strip starts on the skin


def glyph(ch, width):
    rows = GLYPHS[ch].split()
    assert len(rows) == 5 and all(len(r) == width - 1 for r in rows), ch
    return rows


def pixel_text(draw, x, y, text, ink):
    """Writes text in the skin font; returns the pen position after it."""
    for ch in text.upper():
        i = FONT_CHARS.index(ch)
        w = int(FONT_WIDTHS[i])
        for r, row in enumerate(glyph(ch, w)):
            for c, bit in enumerate(row):
                if bit == "#":
                    draw.point((x + c, y + r), fill=ink)
        x += w
    return x


def pixel_text_width(text):
    return sum(int(FONT_WIDTHS[FONT_CHARS.index(ch)]) for ch in text.upper()) - 1


# ---------------------------------------------------------------------------------------
# Shapes shared by several pictures.

def double_frame(draw, x0, y0, x1, y1, ink, gap=2):
    draw.rectangle((x0, y0, x1, y1), outline=ink)
    draw.rectangle((x0 + gap, y0 + gap, x1 - gap, y1 - gap), outline=ink)


def cross(draw, x, y, size, ink):
    draw.line((x, y, x + size - 1, y + size - 1), fill=ink)
    draw.line((x, y + size - 1, x + size - 1, y), fill=ink)


def close_mark(draw, x, y, pressed):
    """33 x 11: a cross and the word CLOSE; pressed is the inverse."""
    paper, ink = (BLACK, WHITE) if pressed else (WHITE, BLACK)
    draw.rectangle((x, y, x + 32, y + 10), fill=paper)
    cross(draw, x + 3, y + 3, 5, ink)
    pixel_text(draw, x + 11, y + 3, "CLOSE", ink)


def track(draw, x, y):
    """The empty progress track: an outline around the 204 x 11 bar, dark inside."""
    draw.rectangle((x - 1, y - 1, x + 204, y + 11), outline=BLACK, fill=TRACK)


def text_font(path, size, index=0):
    return ImageFont.truetype(path, size, index=index)


def centred_text(draw, box, text, font, ink):
    x0, y0, x1, y1 = box
    left, top, right, bottom = draw.textbbox((0, 0), text, font=font)
    x = x0 + (x1 - x0 + 1 - (right - left)) // 2 - left
    y = y0 + (y1 - y0 + 1 - (bottom - top)) // 2 - top
    draw.text((x, y), text, font=font, fill=ink)


# ---------------------------------------------------------------------------------------
# The skin sheet: 300 x 180. Positions the drawing code reads are given in comments.

def skin():
    im = Image.new("L", (300, 180), WHITE)
    d = ImageDraw.Draw(im)

    # Font strip, row 3 from x 19.
    x = FONT_X
    for ch, w in zip(FONT_CHARS, FONT_WIDTHS):
        pixel_text(d, x, FONT_Y, ch, BLACK)
        x += int(w)

    # Captions, 36 x 11: two words in two lines.
    for cx, word in ((15, "INSTALL"), (57, "DOWNLOAD"), (93, "PATCH")):
        pixel_text(d, cx + 2, 15, word, BLACK)
        pixel_text(d, cx + 2, 21, "PROGRESS", BLACK)

    # Close marks: pressed at (212, 16) is read; the normal one beside it for reference.
    close_mark(d, 212, 16, pressed=True)
    close_mark(d, 250, 16, pressed=False)

    # Solid bar at (57, 34) and striped bar at (57, 48), 204 x 11. The badge behind the
    # percentage of a download is cut from the solid bar at (62, 34), so it stays black.
    d.rectangle((57, 34, 260, 44), fill=BLACK)
    for y in range(48, 59):
        for x in range(57, 261):
            edge = y in (48, 58)
            stripe = ((x - 57) + (y - 48)) % 6 < 3
            d.point((x, y), fill=BLACK if edge or stripe else WHITE)

    # Compact frame, 258 x 31 at (12, 65); the panel cuts 246 x 21 at (18, 70) from it.
    fx, fy = 12, 65
    d.rounded_rectangle((fx, fy, fx + 257, fy + 30), radius=4, outline=BLACK)
    d.rounded_rectangle((fx + 2, fy + 2, fx + 255, fy + 28), radius=3, outline=BLACK)
    track(d, fx + 45, fy + 7)

    # Full frame, 292 x 33 at (4, 134), drawn one pixel up and left of the panel origin:
    # panel position (x, y) is skin (5 + x, 135 + y).
    bx, by = 4, 134
    double_frame(d, bx, by, bx + 291, by + 32, BLACK)
    track(d, bx + 1 + 45, by + 1 + 7)
    close_mark(d, bx + 1 + 251, by + 1 + 14, pressed=False)
    return im


# ---------------------------------------------------------------------------------------
# Bitmaps.

def button_face(kind, default=False):
    """64 x 19 push-button faces: normal, disabled, focused, pressed."""
    paper = {"disabled": GREY, "pressed": BLACK}.get(kind, WHITE)
    im = Image.new("L", (64, 19), WHITE)
    d = ImageDraw.Draw(im)
    d.rounded_rectangle((0, 0, 63, 18), radius=3, fill=paper, outline=DARK if kind == "disabled" else BLACK)
    if default and kind != "pressed":
        d.rounded_rectangle((1, 1, 62, 17), radius=2, outline=DARK if kind == "disabled" else BLACK)
    if kind == "focused":
        for x in range(4, 60, 2):  # a dotted focus line inside the border
            d.point((x, 3), fill=BLACK)
            d.point((x + 1, 15), fill=BLACK)
        for y in range(4, 15, 2):
            d.point((3, y), fill=BLACK)
            d.point((60, y + 1), fill=BLACK)
    return im


def start_face(kind):
    """173 x 50 start-game faces: normal, focused, disabled, pressed."""
    paper, ink = {"pressed": (BLACK, WHITE), "disabled": (GREY, SILVER)}.get(kind, (WHITE, BLACK))
    im = Image.new("L", (173, 50), WHITE)
    d = ImageDraw.Draw(im)
    d.rounded_rectangle((0, 0, 172, 49), radius=8, fill=paper, outline=BLACK)
    d.rounded_rectangle((3, 3, 169, 46), radius=6, outline=ink)
    if kind == "focused":
        d.rounded_rectangle((5, 5, 167, 44), radius=5, outline=ink)
    # A play mark on either side of the text the button draws in its middle.
    d.polygon([(14, 15), (14, 35), (30, 25)], fill=ink)
    d.polygon([(158, 15), (158, 35), (142, 25)], fill=ink)
    return im


def box(symbol, pressed):
    """13 x 11 caption boxes: close (a cross) and minimise (a bar)."""
    paper, ink = (BLACK, WHITE) if pressed else (WHITE, BLACK)
    im = Image.new("L", (13, 11), WHITE)
    d = ImageDraw.Draw(im)
    d.rectangle((0, 0, 12, 10), fill=paper, outline=BLACK)
    if symbol == "close":
        cross(d, 4, 3, 5, ink)
    else:
        d.rectangle((4, 7, 8, 7), fill=ink)
    return im


def background_frame():
    """186 x 162: the double-line frame the window background is tiled from. Only the
    outer 10 pixels are used at the edges; the rest must be plain, for the tiles inside."""
    im = Image.new("L", (186, 162), WHITE)
    d = ImageDraw.Draw(im)
    double_frame(d, 2, 2, 183, 159, BLACK, gap=3)
    for cx, cy in ((2, 2), (183, 2), (2, 159), (183, 159)):  # corner studs
        d.rectangle((cx - 2, cy - 2, cx + 2, cy + 2), fill=BLACK)
    return im


def small_logo():
    """48 x 12: the product's name in the top-left corner of the screens."""
    im = Image.new("L", (48, 12), WHITE)
    d = ImageDraw.Draw(im)
    d.rectangle((0, 0, 47, 11), fill=BLACK)
    w = pixel_text_width("TALVENOR")
    pixel_text(d, (48 - w) // 2, 4, "TALVENOR", WHITE)
    return im


def framed_logo():
    """236 x 46: the logo screen."""
    im = Image.new("L", (236, 46), WHITE)
    d = ImageDraw.Draw(im)
    double_frame(d, 0, 0, 235, 45, BLACK)
    centred_text(d, (6, 4, 150, 41), "Talvenor", text_font(SERIF_BOLD, 26), BLACK)
    d.line((156, 8, 156, 37), fill=BLACK)
    centred_text(d, (160, 6, 230, 24), "遊戲啟動", text_font(MING, 15), BLACK)
    centred_text(d, (160, 25, 230, 40), "TAIWAN", text_font(SANS_BOLD, 10), GREY)
    return im


def header_logo():
    """130 x 62: the product logo at the head of the installer."""
    im = Image.new("L", (130, 62), WHITE)
    d = ImageDraw.Draw(im)
    d.rounded_rectangle((0, 0, 129, 61), radius=6, fill=BLACK)
    centred_text(d, (4, 4, 125, 22), "歡迎來到", text_font(MING, 14), WHITE)
    centred_text(d, (4, 24, 125, 56), "Talvenor", text_font(SERIF_BOLD, 22), WHITE)
    return im


def character():
    """186 x 260: a cloaked wanderer with a staff, black on white, under the name."""
    im = Image.new("L", (186, 260), WHITE)
    d = ImageDraw.Draw(im)
    double_frame(d, 0, 0, 185, 259, BLACK)
    # Moon and ground.
    d.ellipse((118, 18, 160, 60), fill=SILVER, outline=BLACK)
    d.polygon([(4, 214), (60, 196), (120, 204), (182, 190), (182, 214)], fill=BLACK)
    # Cloak, hood, face shadow.
    d.polygon([(93, 62), (128, 108), (140, 206), (46, 206), (58, 108)], fill=BLACK)
    d.ellipse((76, 52, 110, 88), fill=BLACK)
    d.ellipse((84, 64, 102, 84), fill=DARK)
    # Staff with its stone.
    d.line((142, 70, 130, 208), fill=BLACK, width=3)
    d.ellipse((136, 58, 150, 72), fill=WHITE, outline=BLACK, width=2)
    # A fold of light down the cloak.
    d.line((93, 96, 84, 200), fill=GREY, width=2)
    centred_text(d, (4, 217, 181, 231), "歡迎來到", text_font(MING, 12), BLACK)
    centred_text(d, (4, 233, 181, 255), "TALVENOR", text_font(SERIF_BOLD, 17), BLACK)
    return im


# ---------------------------------------------------------------------------------------
# Icons: 16 and 32 pixels, 32 bits with alpha.

def icon_pictures(kind):
    out = []
    for size in (32, 16):
        s = size / 32.0
        im = Image.new("RGBA", (size, size), (0, 0, 0, 0))
        d = ImageDraw.Draw(im)

        def p(*pts):
            return [round(v * s) for v in pts]

        black, white = (0, 0, 0, 255), (255, 255, 255, 255)
        if kind == "launcher":  # a black disc with a white T
            d.ellipse(p(1, 1, 30, 30), fill=black)
            d.rectangle(p(8, 7, 23, 11), fill=white)
            d.rectangle(p(14, 7, 17, 25), fill=white)
        elif kind == "installer":  # a box with an arrow into it
            d.rectangle(p(4, 15, 27, 29), fill=white, outline=black, width=max(1, round(2 * s)))
            d.rectangle(p(13, 1, 18, 12), fill=black)
            d.polygon(p(8, 11, 23, 11, 15.5, 20), fill=black)
        elif kind == "folder":
            d.rectangle(p(2, 6, 13, 10), fill=black)
            d.rectangle(p(2, 9, 29, 27), fill=white, outline=black, width=max(1, round(2 * s)))
        else:  # open folder
            d.rectangle(p(2, 6, 13, 10), fill=black)
            d.rectangle(p(2, 9, 25, 27), fill=white, outline=black, width=max(1, round(2 * s)))
            d.polygon(p(7, 15, 31, 15, 26, 27, 2, 27), fill=(128, 128, 128, 255), outline=black)
        out.append(im)
    return out


# ---------------------------------------------------------------------------------------
# Writers.

def dib(im, bpp):
    """A device-independent bitmap (information header, palette, bottom-up rows) of a
    grey picture at the given depth."""
    w, h = im.size
    px = im.load()
    if bpp == 1:
        palette = [0, 255]
    elif bpp == 4:
        palette = [0, 0x40, 0x60, 0x80, 0xC0, 0xFF] + [0xFF] * 10
    elif bpp == 8:
        palette = list(range(256))
    else:
        palette = []

    def index(v):
        return min(range(len(palette)), key=lambda i: (abs(palette[i] - v), i))

    stride = (w * bpp + 31) // 32 * 4
    rows = bytearray()
    lookup = {}
    for y in range(h - 1, -1, -1):
        row = bytearray()
        if bpp == 24:
            for x in range(w):
                v = px[x, y]
                row += bytes((v, v, v))
        elif bpp == 16:
            for x in range(w):
                v = px[x, y] >> 3
                row += struct.pack("<H", (v << 10) | (v << 5) | v)
        else:
            bits, acc, n = 0, 0, 0
            for x in range(w):
                v = px[x, y]
                if v not in lookup:
                    lookup[v] = index(v)
                acc = (acc << bpp) | lookup[v]
                n += bpp
                if n == 8:
                    row.append(acc)
                    acc, n = 0, 0
            if n:
                row.append(acc << (8 - n))
        row += bytes(stride - len(row))
        rows += row
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bpp, 0, len(rows), 2835, 2835, len(palette), 0)
    pal = b"".join(bytes((v, v, v, 0)) for v in palette)
    return header + pal + bytes(rows)


def write_bmp(path, im, bpp):
    body = dib(im, bpp)
    palette_bytes = struct.unpack_from("<I", body, 32)[0] * 4
    offset = 14 + 40 + palette_bytes
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(body), 0, 0, offset) + body)


def write_ico(path, pictures):
    entries, blobs = [], []
    for im in pictures:
        w, h = im.size
        px = im.load()
        colour = bytearray()
        for y in range(h - 1, -1, -1):
            for x in range(w):
                r, g, b, a = px[x, y]
                colour += bytes((b, g, r, a))
        mask_stride = (w + 31) // 32 * 4
        mask = bytearray()
        for y in range(h - 1, -1, -1):
            row = bytearray(mask_stride)
            for x in range(w):
                if px[x, y][3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
        header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
        blobs.append(header + bytes(colour) + bytes(mask))
        entries.append((w, h))
    offset = 6 + 16 * len(pictures)
    out = bytearray(struct.pack("<HHH", 0, 1, len(pictures)))
    for (w, h), blob in zip(entries, blobs):
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    with open(path, "wb") as f:
        f.write(out)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_art.py OUTDIR")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)

    def bmp(name, im, bpp):
        write_bmp(os.path.join(out, name + ".bmp"), im, bpp)

    bmp("skin", skin(), 24)
    bmp("bitmap118", character(), 8)
    faces = [  # id, kind, default, bits
        (119, "normal", False, 1), (120, "disabled", False, 4), (121, "focused", False, 1),
        (122, "normal", True, 1), (123, "disabled", True, 4), (124, "focused", True, 1),
        (125, "pressed", False, 1),
    ]
    for rid, kind, default, bits in faces:
        bmp("bitmap%d" % rid, button_face(kind, default), bits)
    bmp("bitmap126", background_frame(), 1)
    close = Image.new("L", (33, 11), WHITE)
    close_mark(ImageDraw.Draw(close), 0, 0, pressed=False)
    bmp("bitmap127", close, 1)
    close = Image.new("L", (33, 11), WHITE)
    close_mark(ImageDraw.Draw(close), 0, 0, pressed=True)
    bmp("bitmap129", close, 1)
    bmp("bitmap130", box("close", False), 1)
    bmp("bitmap132", box("close", True), 1)
    bmp("bitmap134", small_logo(), 4)
    bmp("bitmap135", box("minimise", False), 1)
    bmp("bitmap137", box("minimise", True), 1)
    bmp("bitmap138", framed_logo(), 4)
    bmp("bitmap139", header_logo(), 16)
    for rid, kind in ((142, "focused"), (143, "disabled"), (144, "pressed"), (145, "normal")):
        bmp("bitmap%d" % rid, start_face(kind), 8)

    write_ico(os.path.join(out, "icon164.ico"), icon_pictures("launcher"))
    write_ico(os.path.join(out, "icon167.ico"), icon_pictures("installer"))
    write_ico(os.path.join(out, "icon168.ico"), icon_pictures("folder"))
    write_ico(os.path.join(out, "icon169.ico"), icon_pictures("open folder"))


if __name__ == "__main__":
    main()
