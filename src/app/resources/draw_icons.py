#!/usr/bin/env python3
"""Draws the program's two icons (large.ico 32 x 32, small.ico 16 x 16):
two overlapping file sheets, the front one marked with an equals sign, for
"these two are the same". Run it again after changing the drawing; the
.ico files are checked in so the build needs no Python."""
import struct
import sys


def coverage(x, y, shape, n=4):
    """Anti-aliased coverage of pixel (x, y) by `shape`, sampled n x n."""
    hits = 0
    for i in range(n):
        for j in range(n):
            if shape(x + (i + 0.5) / n, y + (j + 0.5) / n):
                hits += 1
    return hits / (n * n)


def sheet(left, top, width, height, fold):
    def inside(px, py):
        if not (left <= px < left + width and top <= py < top + height):
            return False
        # The folded top-right corner is cut away.
        return (px - (left + width - fold)) + (top + fold - py) <= fold
    return inside


def draw(size):
    s = size / 32.0
    back = sheet(3 * s, 2 * s, 18 * s, 23 * s, 6 * s)
    front = sheet(11 * s, 7 * s, 18 * s, 23 * s, 6 * s)
    def bar(top):
        return lambda px, py: 15 * s <= px < 25 * s and top * s <= py < (top + 2.6) * s
    bars = [bar(15.5), bar(21)]
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            colour = [0, 0, 0, 0]
            layers = [
                (back, (0x3A, 0x6F, 0xC8)),
                (front, (0x1E, 0x9E, 0x8A)),
            ] + [(b, (0xFF, 0xFF, 0xFF)) for b in bars]
            for shape, rgb in layers:
                a = coverage(x, y, shape)
                if a == 0:
                    continue
                # "over" compositing in straight alpha
                out_a = a + colour[3] * (1 - a)
                for k in range(3):
                    colour[k] = (rgb[k] * a + colour[k] * colour[3] * (1 - a)) / out_a if out_a else 0
                colour[3] = out_a
            row.append(tuple(int(round(v)) for v in colour[:3]) + (int(round(colour[3] * 255)),))
        pixels.append(row)
    return pixels


def ico(size, pixels):
    # One 32-bit image: BITMAPINFOHEADER (height doubled for the mask),
    # bottom-up BGRA rows, then the 1-bit AND mask (all zero: alpha rules).
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    data = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            data += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    data += bytes(mask_row * size)
    image = header + bytes(data)
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


if __name__ == '__main__':
    out = sys.argv[1] if len(sys.argv) > 1 else '.'
    for name, size in (('large.ico', 32), ('small.ico', 16)):
        with open(f'{out}/{name}', 'wb') as f:
            f.write(ico(size, draw(size)))
