#!/usr/bin/env python3
"""Packs rendered RGBA PNGs into one multi-image Windows icon.

Usage: make_ico.py OUT.ico SIZE:BITS:PNG ...

BITS 32 keeps the alpha (the 256-pixel image is stored as PNG, the others as DIBs); BITS 4 and 8
quantise the picture to an adaptive palette of 16 or 256 colours, with transparency in the AND
mask, for the systems and display modes that still ask for such images.
"""
import struct
import sys
import zlib

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def read_png(path):
    """Returns (width, height, rgba rows, file bytes) of an 8-bit RGBA, non-interlaced PNG."""
    data = open(path, "rb").read()
    if data[:8] != PNG_SIGNATURE:
        sys.exit(f"{path}: not a PNG file")
    pos, idat, header = 8, b"", None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    if header is None:
        sys.exit(f"{path}: no IHDR")
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 6, 0):
        sys.exit(f"{path}: want 8-bit RGBA non-interlaced, got depth {depth} colour {colour}")
    raw = zlib.decompress(idat)
    stride = width * 4
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for x in range(stride):
            left = line[x - 4] if x >= 4 else 0
            up = previous[x]
            corner = previous[x - 4] if x >= 4 else 0
            if kind == 1:
                line[x] = (line[x] + left) & 0xFF
            elif kind == 2:
                line[x] = (line[x] + up) & 0xFF
            elif kind == 3:
                line[x] = (line[x] + ((left + up) >> 1)) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else (up if pb <= pc else corner)
                line[x] = (line[x] + pred) & 0xFF
            elif kind != 0:
                sys.exit(f"{path}: bad filter {kind}")
        rows.append(bytes(line))
        previous = line
    return width, height, rows, data


def median_cut(counts, wanted):
    """Splits the colour histogram into at most `wanted` boxes; returns their mean colours."""
    boxes = [list(counts.items())]
    while len(boxes) < wanted:
        best, best_range, best_channel = None, -1, 0
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for channel in range(3):
                values = [c[channel] for c, _ in box]
                spread = max(values) - min(values)
                if spread > best_range:
                    best, best_range, best_channel = i, spread, channel
        if best is None:
            break
        box = sorted(boxes.pop(best), key=lambda item: item[0][best_channel])
        total, half, cut = sum(n for _, n in box), 0, 1
        for cut, (_, n) in enumerate(box, 1):
            half += n
            if half * 2 >= total:
                break
        cut = min(max(cut, 1), len(box) - 1)
        boxes += [box[:cut], box[cut:]]
    palette = []
    for box in boxes:
        total = sum(n for _, n in box)
        palette.append(tuple(round(sum(c[k] * n for c, n in box) / total) for k in range(3)))
    return palette


def and_mask(width, height, rows):
    """Bottom-up 1-bit mask, set where the pixel is (mostly) transparent."""
    stride = (width + 31) // 32 * 4
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x in range(width):
            if row[x * 4 + 3] < 128:
                line[x >> 3] |= 0x80 >> (x & 7)
        out += line
    return bytes(out)


def dib_header(width, height, bits, image_bytes):
    # The height counts the colour bitmap and the mask together.
    return struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, image_bytes, 0, 0, 0, 0)


def dib_32(width, height, rows):
    pixels = bytearray()
    for row in reversed(rows):
        for x in range(width):
            r, g, b, a = row[x * 4:x * 4 + 4]
            pixels += bytes((b, g, r, a))
    mask = and_mask(width, height, rows)
    return dib_header(width, height, 32, len(pixels) + len(mask)) + pixels + mask


def dib_indexed(width, height, rows, bits):
    entries = 1 << bits
    counts = {}
    for row in rows:
        for x in range(width):
            if row[x * 4 + 3] >= 128:
                colour = tuple(row[x * 4:x * 4 + 3])
                counts[colour] = counts.get(colour, 0) + 1
    # Entry 0 is black: masked pixels use it, so the XOR step leaves the screen untouched.
    palette = [(0, 0, 0)] + (median_cut(counts, entries - 1) if counts else [])
    palette += [(0, 0, 0)] * (entries - len(palette))
    nearest = {}

    def index_of(colour):
        if colour not in nearest:
            nearest[colour] = min(
                range(1, entries),
                key=lambda i: sum((palette[i][k] - colour[k]) ** 2 for k in range(3)))
        return nearest[colour]

    stride = (width * bits + 31) // 32 * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x in range(width):
            index = 0 if row[x * 4 + 3] < 128 else index_of(tuple(row[x * 4:x * 4 + 3]))
            if bits == 8:
                line[x] = index
            else:
                line[x >> 1] |= index << (0 if x & 1 else 4)
        pixels += line
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    mask = and_mask(width, height, rows)
    return dib_header(width, height, bits, len(pixels) + len(mask)) + colours + pixels + mask


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    images = []
    for entry in argv[2:]:
        size, bits, path = entry.split(":", 2)
        size, bits = int(size), int(bits)
        width, height, rows, data = read_png(path)
        if (width, height) != (size, size):
            sys.exit(f"{path}: {width}x{height}, expected {size}x{size}")
        if bits == 32:
            body = data if size == 256 else dib_32(width, height, rows)
        elif bits in (4, 8):
            body = dib_indexed(width, height, rows, bits)
        else:
            sys.exit(f"{entry}: bits must be 4, 8 or 32")
        images.append((size, bits, body))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bits, body in images:
        colours = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", size & 0xFF, size & 0xFF, colours, 0, 1, bits, len(body),
                           offset)
        offset += len(body)
    for _, _, body in images:
        out += body
    open(argv[1], "wb").write(out)


if __name__ == "__main__":
    main(sys.argv)
