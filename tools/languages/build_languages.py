#!/usr/bin/env python3
"""Builds the console's own language files and flags.

    python3 tools/languages/build_languages.py

reads tools/languages/texts.tsv (one row per translated text: component,
owner, property code, item address, English, Czech, Slovak; or a lexicon item:
"@lexicon-key", "", item number, "", English, Czech, Slovak) and writes
assets/languages/CZ.lng, SK.lng (UTF-8 with its mark, CR LF) with their flags,
and the design language's flag assets/languages/EN.png. The flags are drawn
here, pixel by pixel, at 16 x 16; the white of a flag is drawn as FEFEFE,
since pure white is a bitmap flag's transparent colour.
"""
import csv
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
OUT = os.path.join(ROOT, "assets", "languages")

WHITE = (0xFE, 0xFE, 0xFE)
CLEAR = (0xFF, 0xFF, 0xFF)


def canvas():
    return [[CLEAR] * 16 for _ in range(16)]


def czech():
    red, blue = (0xD7, 0x14, 0x1A), (0x11, 0x45, 0x7E)
    px = canvas()
    top, height = 3, 11  # 16 x 11 is the flag's 3:2
    for y in range(height):
        for x in range(16):
            px[top + y][x] = WHITE if y < height / 2 else red
            # The wedge reaches half the flag's length.
            d = abs(y + 0.5 - height / 2)
            if x + 0.5 <= 8 * (1 - d / (height / 2)):
                px[top + y][x] = blue
    return px


def slovak():
    red, blue = (0xEE, 0x1C, 0x25), (0x0B, 0x4E, 0xA2)
    px = canvas()
    top, height = 3, 11
    for y in range(height):
        for x in range(16):
            px[top + y][x] = WHITE if y < 4 else blue if y < 7 else red
    # The shield: red with a white double cross over blue hills.
    shield = ["WRRRRRW",
              "WRRWRRW",
              "WRWWWRW",
              "WRRWRRW",
              "WWWWWWW",
              "WRRWRRW",
              "WBBBBBW",
              " WBBBW ",
              "  WWW  "]
    for dy, row in enumerate(shield):
        for dx, c in enumerate(row):
            colour = {"W": WHITE, "R": red, "B": blue}.get(c)
            if colour:
                px[top + 1 + dy][3 + dx] = colour
    return px


def english():
    blue, red = (0x01, 0x21, 0x69), (0xC8, 0x10, 0x2E)
    px = canvas()
    top, height = 4, 8  # 2:1
    for y in range(height):
        for x in range(16):
            c = blue
            # The diagonals, white with red along their middle.
            for ax in (x, 15 - x):
                d = abs((ax + 0.5) * height / 16 - (y + 0.5))
                if d < 1.0 and c != red:
                    c = WHITE
                if d < 0.35:
                    c = red
            # The cross, white with red in its middle.
            if 6 <= x <= 9 or 2 <= y <= 5:
                c = WHITE
            if 7 <= x <= 8 or 3 <= y <= 4:
                c = red
            px[top + y][x] = c
    return px


def bmp(px):
    """A 24-bit Windows bitmap, rows bottom up."""
    rows = b"".join(bytes(c for p in row for c in (p[2], p[1], p[0])) for row in reversed(px))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, 16, 16, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    return header + info + rows


def png(px):
    """An RGBA PNG; pure white is left transparent."""
    raw = b"".join(b"\0" + bytes(c for p in row for c in (*p, 0 if p == CLEAR else 255)) for row in px)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 16, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def read_texts():
    rows = []
    with open(os.path.join(HERE, "texts.tsv"), encoding="utf-8", newline="") as f:
        for r in csv.reader(f, delimiter="\t", quoting=csv.QUOTE_NONE):
            if not r or r[0].startswith("#"):
                continue
            if len(r) != 7:
                sys.exit("texts.tsv: a row needs 7 fields: %r" % (r,))
            rows.append(r)
    return rows


def language_file(name, column, rows, flag):
    lines = ["[YOX_]", '0\t%%LANGUAGE_NAME="%s"\t%%FILEVER=THLF1;' % name]
    lexicons = {}
    for comp, owner, code, item, *texts in rows:
        text = texts[column]
        if comp.startswith("@"):
            lexicons.setdefault(comp[1:], []).append((int(code), text))
            continue
        if not text:
            sys.exit("texts.tsv: no %s text for %s %s %s %s" % (name, comp, owner, code, item))
        line = '%s\t"%s"\t%%COMPONENT=%s;\t%%OWNER=%s;' % (code, text, comp, owner)
        if item:
            line += "\t%%ITEM=%s;" % item
        lines.append(line)
    lines.append("0\t%LEXICON_STRINGS")
    for key, items in lexicons.items():
        lines.append("0\t%%LEXICON_NAME=%s;" % key)
        for n, text in sorted(items):
            if not text:
                sys.exit("texts.tsv: no %s text for %s item %d" % (name, key, n))
            lines.append('%d\t"%s"' % (n, text))
    lines.append("0\t%SMART_STRINGS")
    lines.append("0\t%FLAG_ICON")
    for i in range(0, len(flag) + 1, 50):
        lines.append("%d\t%s" % (i // 50, flag[i:i + 50].hex().upper()))
    return ("\ufeff" + "\r\n".join(lines) + "\r\n").encode("utf-8")


def main():
    os.makedirs(OUT, exist_ok=True)
    rows = read_texts()
    with open(os.path.join(OUT, "CZ.lng"), "wb") as f:
        f.write(language_file("Čeština", 1, rows, bmp(czech())))
    with open(os.path.join(OUT, "SK.lng"), "wb") as f:
        f.write(language_file("Slovenčina", 2, rows, bmp(slovak())))
    with open(os.path.join(OUT, "EN.png"), "wb") as f:
        f.write(png(english()))


if __name__ == "__main__":
    main()
