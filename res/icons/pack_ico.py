#!/usr/bin/env python3
"""Packs RGBA PNG images into one .ico file, each image twice: 32-bit colour with alpha and
8-bit palette colour with a transparency mask. Images of 256 pixels keep their PNG in the
32-bit entry, as the format allows; every other entry is a bitmap.

    pack_ico.py OUT.ico IMAGE.png...
"""
import struct
import sys
import zlib


def read_png(path):
    """Width, height and rows of RGBA bytes of a non-interlaced 8-bit RGBA PNG."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG")
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if (depth, colour, interlace) != (8, 6, 0):
                sys.exit(f"{path}: want 8-bit RGBA, not interlaced")
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride, rows, prev = width * 4, [], bytearray(width * 4)
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        kind, cur = line[0], bytearray(line[1:])
        for i in range(stride):
            a = cur[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if kind == 1:
                cur[i] = (cur[i] + a) & 255
            elif kind == 2:
                cur[i] = (cur[i] + b) & 255
            elif kind == 3:
                cur[i] = (cur[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                cur[i] = (cur[i] + pred) & 255
        rows.append(bytes(cur))
        prev = cur
    return width, height, rows


def pixels(rows):
    for row in rows:
        for x in range(0, len(row), 4):
            yield row[x:x + 4]


def and_mask(width, rows, opaque):
    """1-bit mask, bottom row first, rows padded to 32 bits; set bits are transparent."""
    stride = (width + 31) // 32 * 4
    out = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x in range(width):
            if not opaque(row[x * 4 + 3]):
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits
    return out


def header(width, height, bits, image_size, colours=0):
    return struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, image_size, 0, 0, colours, 0)


def dib32(width, height, rows):
    colour = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in pixels([row]))
    mask = and_mask(width, rows, lambda a: a > 0)
    return header(width, height, 32, len(colour) + len(mask)) + colour + mask


def quantise(rows):
    """A palette of at most 256 colours: drop low bits until the opaque colours fit."""
    for shift in range(0, 8):
        keep = 0xFF << shift & 0xFF
        colours = sorted({(p[0] & keep, p[1] & keep, p[2] & keep) for p in pixels(rows) if p[3] >= 128})
        if len(colours) <= 256:
            return keep, colours
    sys.exit("cannot quantise")


def dib8(width, height, rows):
    keep, colours = quantise(rows)
    index = {c: i for i, c in enumerate(colours)}
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in colours) + bytes(4 * (256 - len(colours)))
    stride = (width + 3) // 4 * 4
    body = b""
    for row in reversed(rows):
        line = bytearray(stride)
        for x, p in enumerate(pixels([row])):
            if p[3] >= 128:
                line[x] = index[(p[0] & keep, p[1] & keep, p[2] & keep)]
        body += line
    mask = and_mask(width, rows, lambda a: a >= 128)
    return header(width, height, 8, len(body) + len(mask), 256) + palette + body + mask


def main(out, images):
    entries = []
    for path in images:
        width, height, rows = read_png(path)
        big = width >= 256
        entries.append((width, height, 32, open(path, "rb").read() if big else dib32(width, height, rows)))
        entries.append((width, height, 8, dib8(width, height, rows)))
    offset = 6 + 16 * len(entries)
    directory, blobs = struct.pack("<HHH", 0, 1, len(entries)), b""
    for width, height, bits, blob in entries:
        directory += struct.pack("<BBBBHHII", width & 255, height & 255, 0, 0, 1, bits, len(blob), offset)
        offset += len(blob)
        blobs += blob
    open(out, "wb").write(directory + blobs)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2:])
