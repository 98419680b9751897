#!/usr/bin/env python3
"""Draws the append edition's icon (a gold disc with a dark frame) as an
.ico of eight images: 32x32 and 16x16 at 4 bits, 48/32/16 at 8 and at
32 bits. Deterministic; run it to regenerate resources/icons/tivarne.ico."""
import struct
import sys

SIZES = [(32, 4), (16, 4), (48, 8), (32, 8), (16, 8), (48, 32), (32, 32), (16, 32)]
# A 16-colour palette (the standard VGA one); the 256-colour palette
# repeats it and pads with black.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
GOLD, FRAME, SHINE = 11, 4, 15  # palette indices


def pixel(size, x, y):
    """Palette index and alpha of the pixel at x, y (top-down)."""
    c = (size - 1) / 2
    d2 = (x - c) ** 2 + (y - c) ** 2
    r = size / 2 - 0.5
    if d2 > r * r:
        return 0, 0
    if d2 > (r - max(1, size // 12)) ** 2:
        return FRAME, 255
    if (x - c * 0.7) ** 2 + (y - c * 0.7) ** 2 < (size / 7) ** 2:
        return SHINE, 255
    return GOLD, 255


def image(size, bits):
    rows = []
    mask_rows = []
    mask_stride = ((size + 31) // 32) * 4
    for y in reversed(range(size)):  # bottom-up
        idx = [pixel(size, x, y) for x in range(size)]
        if bits == 32:
            row = b''.join(bytes((VGA[i][2], VGA[i][1], VGA[i][0], a)) for i, a in idx)
        elif bits == 8:
            row = bytes(i for i, _ in idx)
        else:
            row = bytes((idx[x][0] << 4) | idx[x + 1][0] for x in range(0, size, 2))
        row += b'\0' * ((-len(row)) % 4)
        rows.append(row)
        m = 0
        bits_row = bytearray(mask_stride)
        for x, (_, a) in enumerate(idx):
            if a == 0:
                bits_row[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(bytes(bits_row))
    colours = 16 if bits == 4 else 256 if bits == 8 else 0
    palette = b''
    if colours:
        pal = VGA + [(0, 0, 0)] * (colours - 16)
        palette = b''.join(bytes((b, g, r, 0)) for r, g, b in pal)
    pixels = b''.join(rows) + b''.join(mask_rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0, len(pixels), 0, 0,
                         colours, 0)
    return header + palette + pixels


def main(out):
    images = [image(s, b) for s, b in SIZES]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (s, b), img in zip(SIZES, images):
        data += struct.pack('<BBBBHHII', s % 256, s % 256, 16 if b == 4 else 0, 0, 1, b,
                            len(img), offset)
        offset += len(img)
    data += b''.join(images)
    with open(out, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'resources/icons/tivarne.ico')
