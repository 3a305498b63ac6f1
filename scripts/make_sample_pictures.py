#!/usr/bin/env python3
"""Makes the pictures of the sample database and the example reports: a small PNG
picture for the first product of each category and an EAN-13 code for every product
(sql/catalogue.sql, read after sql/data.sql), and the company logo of the examples
(examples/company_logo.svg). Everything is drawn here, so the output is the same on
every run; run it after changing a drawing and commit what it writes."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SIZE = 48


def png(pixels):
    """PNG bytes of rows of (r, g, b) tuples."""
    height, width = len(pixels), len(pixels[0])
    raw = b''.join(b'\0' + bytes(c for p in row for c in p) for row in pixels)

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)
    header = struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')


class Picture:
    def __init__(self, background=(250, 250, 245)):
        self.px = [[background] * SIZE for _ in range(SIZE)]

    def rect(self, x1, y1, x2, y2, colour):  # inclusive
        for y in range(max(0, y1), min(SIZE, y2 + 1)):
            for x in range(max(0, x1), min(SIZE, x2 + 1)):
                self.px[y][x] = colour

    def disc(self, cx, cy, r, colour):
        for y in range(SIZE):
            for x in range(SIZE):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.px[y][x] = colour

    def triangle(self, apex_x, top, bottom, half_width, colour):
        for y in range(top, bottom + 1):
            w = half_width * (y - top) // max(1, bottom - top)
            self.rect(apex_x - w, y, apex_x + w, y, colour)


def paper(p):
    p.rect(12, 6, 35, 41, (255, 255, 255))
    p.rect(11, 5, 36, 5, (120, 120, 120)), p.rect(11, 42, 36, 42, (120, 120, 120))
    p.rect(11, 5, 11, 42, (120, 120, 120)), p.rect(36, 5, 36, 42, (120, 120, 120))
    for y in range(12, 38, 5):
        p.rect(15, y, 32, y, (90, 140, 220))


def writing(p):
    for i in range(28):
        p.rect(8 + i, 36 - i, 12 + i, 39 - i, (240, 190, 40))
    p.rect(36, 6, 40, 10, (230, 120, 140))
    p.rect(6, 38, 9, 41, (60, 60, 60))


def filing(p):
    p.rect(6, 12, 20, 16, (200, 150, 60))
    p.rect(6, 16, 41, 38, (225, 175, 80))
    p.rect(6, 38, 41, 39, (150, 100, 30))


def furniture(p):
    p.rect(14, 6, 33, 24, (160, 40, 40))
    p.rect(12, 24, 35, 29, (130, 30, 30))
    p.rect(22, 29, 25, 38, (60, 60, 60))
    p.rect(12, 38, 35, 40, (60, 60, 60))


def electronics(p):
    p.rect(12, 6, 35, 41, (50, 55, 65))
    p.rect(15, 9, 32, 16, (170, 220, 170))
    for y in (20, 27, 34):
        for x in (15, 22, 29):
            p.rect(x, y, x + 3, y + 4, (230, 230, 230))


def outdoor(p):
    p.rect(0, 40, 47, 47, (110, 170, 90))
    p.triangle(24, 8, 40, 20, (240, 120, 30))
    p.triangle(24, 24, 40, 6, (60, 40, 20))


def coffee(p):
    p.rect(12, 18, 31, 40, (255, 255, 255))
    p.rect(12, 18, 31, 21, (110, 70, 40))
    p.rect(32, 23, 36, 34, (200, 200, 200))
    p.rect(8, 41, 35, 43, (150, 150, 150))
    for x in (17, 22, 27):
        p.rect(x, 8, x, 14, (170, 170, 170))


def cleaning(p):
    p.rect(16, 18, 31, 41, (60, 150, 220))
    p.rect(20, 10, 27, 17, (240, 240, 240))
    p.rect(27, 10, 36, 12, (240, 240, 240))
    p.rect(19, 26, 28, 33, (255, 255, 255))


# The first product of each category (six products to a category).
DRAWINGS = [(1, paper), (7, writing), (13, filing), (19, furniture), (25, electronics), (31, outdoor),
            (37, coffee), (43, cleaning)]
PRODUCTS = 48


def ean13(product_id):
    """An in-store EAN-13 (prefix 20) of the product number, with its check digit."""
    digits = '20%010d' % product_id
    total = sum(int(d) * (3 if i % 2 else 1) for i, d in enumerate(digits))
    return digits + str((10 - total % 10) % 10)


LOGO = '''<svg xmlns="http://www.w3.org/2000/svg" width="280" height="72" viewBox="0 0 280 72">
  <rect x="2" y="2" width="68" height="68" rx="12" fill="#1d4e89"/>
  <path d="M14 54 L36 16 L58 54 Z" fill="#f6a623"/>
  <path d="M36 30 L46 54 L26 54 Z" fill="#1d4e89"/>
  <text x="82" y="34" font-family="Liberation Sans, Arial, sans-serif" font-size="24" font-weight="bold"
        fill="#1d4e89">Nordkap</text>
  <text x="82" y="58" font-family="Liberation Sans, Arial, sans-serif" font-size="15"
        fill="#555555">Office &amp; Outdoor Supplies</text>
</svg>
'''


def main():
    pictures = {}
    for product_id, draw in DRAWINGS:
        p = Picture()
        draw(p)
        pictures[product_id] = png(p.px)
    rows = []
    for product_id in range(1, PRODUCTS + 1):
        picture = "x'%s'" % pictures[product_id].hex().upper() if product_id in pictures else 'NULL'
        rows.append("  (%d, '%s', %s)" % (product_id, ean13(product_id), picture))
    with open(os.path.join(ROOT, 'sql', 'catalogue.sql'), 'w') as f:
        f.write('-- Written by scripts/make_sample_pictures.py: the EAN-13 code of every product and a\n'
                '-- small picture of the first product of each category (PNG, 48 x 48).\n')
        f.write('CREATE TABLE catalogue (\n  product_id  INTEGER PRIMARY KEY REFERENCES products,\n'
                '  ean         VARCHAR(13) NOT NULL,\n  picture     BLOB\n);\n\n')
        f.write('INSERT INTO catalogue (product_id, ean, picture) VALUES\n')
        f.write(',\n'.join(rows) + ';\n')
    with open(os.path.join(ROOT, 'examples', 'company_logo.svg'), 'w') as f:
        f.write(LOGO)


if __name__ == '__main__':
    main()
