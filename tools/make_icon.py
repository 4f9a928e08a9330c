#!/usr/bin/env python3
"""Draws the program icon (a page with a hash sign) and writes resources/Dunmo.ico:
a 32x32 and a 16x16 image, 16 colours each, with a transparency mask."""
import os
import struct

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, SILVER, GRAY, BLUE, WHITE = 0, 7, 8, 12, 15
CLEAR = None


def draw(size):
    """Returns rows (top first) of palette indices, None where transparent."""
    px = [[CLEAR] * size for _ in range(size)]
    u = size // 16                      # one unit: 1 pixel at 16, 2 at 32
    left, right = 3 * u, size - 3 * u - 1
    top, bottom = 1 * u, size - 1 * u - 1
    fold = 4 * u
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            if x - (right - fold) > y - top:   # cut corner, top right
                continue
            edge = x in (left, right) or y in (top, bottom) or x - (right - fold) == y - top
            px[y][x] = BLACK if edge else WHITE
    # The folded-over corner.
    for y in range(top, top + fold + 1):
        for x in range(right - fold, right + 1):
            if x - (right - fold) <= y - top:
                on_edge = x == right - fold or y == top + fold or x - (right - fold) == y - top
                px[y][x] = BLACK if on_edge else SILVER
    # A hash sign: two upright and two level bars, thick at the larger size.
    t = u
    xs = [left + 3 * u + u // 2, left + 6 * u + u // 2]
    ys = [top + 6 * u, top + 9 * u]
    x0, x1 = left + 2 * u, right - 2 * u
    y0, y1 = top + 4 * u, bottom - 2 * u
    for bx in xs:
        for y in range(y0, y1 + 1):
            for x in range(bx, bx + t):
                px[y][x] = BLUE
    for by in ys:
        for y in range(by, by + t):
            for x in range(x0, x1 + 1):
                px[y][x] = BLUE
    # A grey rule below it, like a line of output.
    for y in range(bottom - u, bottom - u + max(1, u // 2)):
        for x in range(left + 2 * u, right - 2 * u + 1):
            if px[y][x] == WHITE:
                px[y][x] = GRAY
    return px


def image_bytes(px):
    size = len(px)
    header = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE)
    colour_row = ((size * 4 + 31) // 32) * 4
    mask_row = ((size + 31) // 32) * 4
    colours = b''
    mask = b''
    for row in reversed(px):            # bitmaps are stored bottom-up
        line = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x, index in enumerate(row):
            value = 0 if index is None else index
            line[x // 2] |= value << (4 if x % 2 == 0 else 0)
            if index is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        colours += bytes(line)
        mask += bytes(bits)
    return header + palette + colours + mask


def main():
    images = [image_bytes(draw(32)), image_bytes(draw(16))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'resources', 'Dunmo.ico')
    with open(target, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
