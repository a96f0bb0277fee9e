#!/usr/bin/env python3
"""Writes the program's icon file (.ico) from the square RGBA PNG images of
the application icon, one image per size.

    make_icon.py OUTPUT.ico INPUT.png...

Each image is stored as a 32-bit bottom-up DIB with its AND mask, the form
every version of Windows and the resource compiler take; the PNGs are decoded
here with the standard library only (8-bit RGBA, not interlaced: the form the
icon's PNGs have).
"""

import struct
import sys
import zlib


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def read_png_rgba(path):
    """The image as (width, height, rows), each row width * 4 bytes RGBA."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    pos = 8
    header = None
    compressed = bytearray()
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
        elif kind == b"IEND":
            break
    if header is None:
        raise ValueError(f"{path}: no IHDR chunk")
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour != 6 or interlace != 0:
        raise ValueError(f"{path}: only 8-bit RGBA without interlacing is read")
    raw = zlib.decompress(bytes(compressed))
    stride = width * 4
    rows = []
    previous = bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind = raw[start]
        line = bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = line[i - 4] if i >= 4 else 0
            up = previous[i]
            up_left = previous[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + ((left + up) >> 1)) & 0xFF
            elif kind == 4:
                line[i] = (line[i] + _paeth(left, up, up_left)) & 0xFF
            elif kind != 0:
                raise ValueError(f"{path}: unknown row filter {kind}")
        rows.append(bytes(line))
        previous = line
    return width, height, rows


def dib_image(width, height, rows):
    """An icon image: BITMAPINFOHEADER (height doubled for the mask), BGRA
    pixels bottom-up, then the AND mask (1 = transparent), rows padded to
    4 bytes."""
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    mask = bytearray()
    mask_stride = ((width + 31) // 32) * 4
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x in range(width):
            r, g, b, a = row[x * 4:x * 4 + 4]
            pixels += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def main(argv):
    if len(argv) < 3:
        sys.stderr.write("usage: make_icon.py OUTPUT.ico INPUT.png...\n")
        return 2
    images = []
    for path in argv[2:]:
        width, height, rows = read_png_rgba(path)
        if width > 256 or height > 256:
            raise ValueError(f"{path}: an icon image is at most 256 pixels wide")
        images.append((width, height, dib_image(width, height, rows)))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for width, height, image in images:
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(image),
                           offset)
        offset += len(image)
    for _, _, image in images:
        out += image
    with open(argv[1], "wb") as f:
        f.write(out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
