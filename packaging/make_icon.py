#!/usr/bin/env python3
"""Draws the program's icon: a report page with its title band, column header, detail
lines and a summary total. Writes reportdesigner.svg and PNG files of the usual icon
sizes into icons/, every one from the same rectangles (pixel coverage computed
exactly, so small sizes stay crisp). Run it after changing the drawing; the files are
installed as they are."""
import os
import struct
import zlib

UNITS = 64  # the drawing's coordinate space
SIZES = [16, 22, 24, 32, 48, 64, 128, 256]

# (left, top, right, bottom, (r, g, b, alpha)) painted in order.
RECTS = [
    (12, 6, 54, 62, (0, 0, 0, 50)),          # shadow
    (9, 3, 52, 60, (96, 104, 116, 255)),     # page edge
    (10.5, 4.5, 50.5, 58.5, (255, 255, 255, 255)),
    (13, 8, 48, 17, (33, 92, 176, 255)),     # title band
    (16, 11, 36, 14, (255, 255, 255, 255)),
    (13, 20, 48, 24.5, (178, 204, 238, 255)),  # column header
    (15, 21.5, 26, 23, (33, 92, 176, 255)),
    (31, 21.5, 45, 23, (33, 92, 176, 255)),
]
for row in range(4):  # detail lines
    y = 28 + 5 * row
    RECTS.append((15, y, 27, y + 2.5, (80, 84, 92, 255)))
    RECTS.append((31, y, 38 + (row % 2) * 4, y + 2.5, (80, 84, 92, 255)))
RECTS += [
    (13, 49, 48, 50.2, (96, 104, 116, 255)),  # summary rule
    (31, 52, 46, 55.5, (40, 150, 70, 255)),   # total
]


def coverage(a0, a1, p0, p1):
    return max(0.0, min(a1, p1) - max(a0, p0))


def render(size):
    scale = size / UNITS
    px = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]  # premultiplied
    for (l, t, r, b, (cr, cg, cb, ca)) in RECTS:
        l, t, r, b = l * scale, t * scale, r * scale, b * scale
        for y in range(max(0, int(t)), min(size, int(b) + 1)):
            cy = coverage(t, b, y, y + 1)
            if cy <= 0:
                continue
            for x in range(max(0, int(l)), min(size, int(r) + 1)):
                a = coverage(l, r, x, x + 1) * cy * ca / 255.0
                if a <= 0:
                    continue
                pr, pg, pb, pa = px[y][x]
                px[y][x] = (cr * a + pr * (1 - a), cg * a + pg * (1 - a), cb * a + pb * (1 - a), a + pa * (1 - a))
    return px


def write_png(path, px):
    size = len(px)
    raw = bytearray()
    for row in px:
        raw.append(0)
        for (r, g, b, a) in row:
            if a > 0:
                r, g, b = r / a, g / a, b / a
            raw += bytes(int(round(min(255.0, v))) for v in (r, g, b, a * 255))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)

    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n')
        f.write(chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)))
        f.write(chunk(b'IDAT', zlib.compress(bytes(raw), 9)))
        f.write(chunk(b'IEND', b''))


def write_svg(path):
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             f'<svg xmlns="http://www.w3.org/2000/svg" width="{UNITS}" height="{UNITS}" viewBox="0 0 {UNITS} {UNITS}">']
    for (l, t, r, b, (cr, cg, cb, ca)) in RECTS:
        opacity = '' if ca == 255 else f' fill-opacity="{ca / 255:.3f}"'
        lines.append(f'  <rect x="{l:g}" y="{t:g}" width="{r - l:g}" height="{b - t:g}" '
                     f'fill="#{cr:02x}{cg:02x}{cb:02x}"{opacity}/>')
    lines.append('</svg>')
    with open(path, 'w') as f:
        f.write('\n'.join(lines) + '\n')


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'icons')
    os.makedirs(out, exist_ok=True)
    write_svg(os.path.join(out, 'reportdesigner.svg'))
    for size in SIZES:
        write_png(os.path.join(out, f'reportdesigner-{size}.png'), render(size))


if __name__ == '__main__':
    main()
