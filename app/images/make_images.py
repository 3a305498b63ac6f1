#!/usr/bin/env python3
"""Draws the program's images: the 36 action images (16 x 16) and the palette
glyphs and the proxy images of tables and queries (24 x 24), in the sixteen classic colours, and writes them as PNG files beside
this script. Run it after changing a drawing; the PNG files are compiled in."""
import os
import struct
import zlib

PALETTE = {
    'k': (0, 0, 0), 'm': (128, 0, 0), 'g': (0, 128, 0), 'o': (128, 128, 0),
    'n': (0, 0, 128), 'p': (128, 0, 128), 't': (0, 128, 128), 'G': (128, 128, 128),
    's': (192, 192, 192), 'r': (255, 0, 0), 'l': (0, 255, 0), 'y': (255, 255, 0),
    'b': (0, 0, 255), 'f': (255, 0, 255), 'a': (0, 255, 255), 'w': (255, 255, 255),
}


class Image:
    def __init__(self, size):
        self.size = size
        self.px = [[None] * size for _ in range(size)]

    def set(self, x, y, c):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = c

    def fill(self, x1, y1, x2, y2, c):  # inclusive corners
        for y in range(y1, y2 + 1):
            for x in range(x1, x2 + 1):
                self.set(x, y, c)

    def frame(self, x1, y1, x2, y2, c):
        self.line(x1, y1, x2, y1, c)
        self.line(x1, y2, x2, y2, c)
        self.line(x1, y1, x1, y2, c)
        self.line(x2, y1, x2, y2, c)

    def box(self, x1, y1, x2, y2, border, inside):
        self.fill(x1, y1, x2, y2, inside)
        self.frame(x1, y1, x2, y2, border)

    def line(self, x1, y1, x2, y2, c):
        dx, dy = abs(x2 - x1), -abs(y2 - y1)
        sx, sy = (1 if x1 < x2 else -1), (1 if y1 < y2 else -1)
        err = dx + dy
        while True:
            self.set(x1, y1, c)
            if x1 == x2 and y1 == y2:
                break
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x1 += sx
            if e2 <= dx:
                err += dx
                y1 += sy

    def ellipse(self, cx, cy, rx, ry, border, inside=None):
        for y in range(self.size):
            for x in range(self.size):
                d = ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2
                if d <= 1.0:
                    inner = ((x - cx) / max(rx - 1, 0.5)) ** 2 + ((y - cy) / max(ry - 1, 0.5)) ** 2
                    if inner > 1.0:
                        self.set(x, y, border)
                    elif inside:
                        self.set(x, y, inside)

    def art(self, x, y, rows):
        """Pixel art: one character per pixel, '.' transparent."""
        for j, row in enumerate(rows):
            for i, ch in enumerate(row):
                if ch != '.':
                    self.set(x + i, y + j, ch)

    def png(self, path):
        raw = b''
        for row in self.px:
            raw += b'\x00'
            for c in row:
                raw += bytes(PALETTE[c] + (255,)) if c else b'\x00\x00\x00\x00'

        def chunk(kind, data):
            return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)

        data = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', self.size, self.size, 8, 6, 0, 0, 0))
        data += chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
        with open(path, 'wb') as f:
            f.write(data)


# ---------------------------------------------------------------------------
# Shared pieces.

def page(im, x1=3, y1=1, x2=12, y2=14):
    im.box(x1, y1, x2, y2, 'k', 'w')
    im.fill(x2 - 3, y1, x2, y1 + 3, None)
    im.line(x2 - 3, y1, x2 - 3, y1 + 3, 'k')
    im.line(x2 - 3, y1 + 3, x2, y1 + 3, 'k')
    im.line(x2 - 3, y1, x2, y1 + 3, 'k')
    im.line(x2, y1 + 3, x2, y2, 'k')


def cross(im, x, y, n, c='r'):
    for i in range(n):
        im.set(x + i, y + i, c)
        im.set(x + i + 1, y + i, c)
        im.set(x + n - 1 - i, y + i, c)
        im.set(x + n - i, y + i, c)


def bars_h(im, rows, color='b'):
    """Horizontal bars given as (x1, x2, y) with two-pixel height, outlined."""
    for x1, x2, y in rows:
        im.box(x1, y, x2, y + 2, 'k', color)


def bars_v(im, cols, color='b'):
    for y1, y2, x in cols:
        im.box(x, y1, x + 2, y2, 'k', color)


def window(im, x1, y1, x2, y2):
    im.box(x1, y1, x2, y2, 'k', 'w')
    im.fill(x1 + 1, y1 + 1, x2 - 1, y1 + 2, 'n')


def padlock(im, open_):
    im.box(3, 7, 12, 14, 'k', 'y')
    im.set(7, 10, 'k'); im.set(8, 10, 'k'); im.set(7, 11, 'k'); im.set(8, 11, 'k')
    shackle = [(5, 7), (5, 4), (6, 3), (6, 2), (9, 2), (9, 3), (10, 4), (10, 7)]
    if open_:
        shackle = [(10, 6), (10, 4), (11, 3), (11, 2), (14, 2), (14, 3), (15, 4), (15, 5)]
    for (ax, ay), (bx, by) in zip(shackle, shackle[1:]):
        im.line(ax, ay, bx, by, 'G')


# ---------------------------------------------------------------------------
# Action images, by index.

def img_new(im):
    page(im)


def img_open(im):
    im.box(1, 4, 10, 13, 'k', 'y')
    im.fill(1, 3, 5, 3, 'k')
    im.art(3, 7, ['kkkkkkkkkkkk', '.kyyyyyyyyyk', '..kyyyyyyyk', '...kkkkkkkk'])
    im.fill(4, 8, 13, 9, 'o')
    im.line(3, 7, 14, 7, 'k')
    im.line(14, 7, 11, 13, 'k')
    im.line(3, 7, 1, 13, 'k')
    im.line(1, 13, 11, 13, 'k')


def img_save(im):
    im.box(1, 1, 14, 14, 'k', 'n')
    im.box(4, 1, 11, 6, 'k', 's')
    im.fill(9, 2, 10, 5, 'n')
    im.box(3, 9, 12, 14, 'k', 'w')
    im.line(5, 11, 10, 11, 'G')


def img_close(im):
    page(im, 1, 1, 10, 14)
    cross(im, 7, 7, 7)


def img_closeall(im):
    page(im, 4, 0, 12, 10)
    page(im, 1, 3, 9, 14)
    cross(im, 8, 8, 7)


def img_copy(im):
    page(im, 1, 1, 8, 11)
    page(im, 6, 4, 14, 15)


def img_cut(im):
    im.line(4, 1, 9, 9, 'k')
    im.line(11, 1, 6, 9, 'k')
    im.ellipse(4, 12, 2.6, 2.6, 'r')
    im.ellipse(11, 12, 2.6, 2.6, 'r')


def img_paste(im):
    im.box(2, 2, 12, 14, 'k', 'o')
    im.box(5, 1, 9, 3, 'k', 's')
    page(im, 6, 6, 14, 15)


def img_exit(im):
    im.box(2, 1, 9, 14, 'k', 'm')
    im.fill(3, 2, 8, 13, 'o')
    im.set(7, 8, 'y')
    im.line(10, 8, 15, 8, 'g')
    im.line(13, 6, 15, 8, 'g')
    im.line(13, 10, 15, 8, 'g')


def img_delete(im):
    cross(im, 2, 2, 11)
    cross(im, 2, 3, 11)


def img_lock(im):
    padlock(im, False)


def img_unlock(im):
    padlock(im, True)


def img_aligngrid(im):
    for y in range(1, 16, 3):
        for x in range(1, 16, 3):
            im.set(x, y, 'k')
    im.box(4, 4, 10, 10, 'n', 'b')


def img_sendback(im):
    im.box(6, 6, 14, 14, 'k', 'b')
    im.box(1, 1, 9, 9, 'k', 'w')


def img_bringfront(im):
    im.box(1, 1, 9, 9, 'k', 'w')
    im.box(6, 6, 14, 14, 'k', 'b')


def img_cascade(im):
    window(im, 0, 0, 9, 8)
    window(im, 3, 3, 12, 11)
    window(im, 6, 6, 15, 15)


def img_tileh(im):
    window(im, 1, 0, 14, 6)
    window(im, 1, 8, 14, 15)


def img_tilev(im):
    window(im, 0, 1, 6, 14)
    window(im, 8, 1, 15, 14)


def img_print(im):
    page(im, 4, 0, 11, 6)
    im.box(1, 6, 14, 12, 'k', 's')
    im.line(2, 7, 13, 7, 'w')
    im.set(12, 9, 'l')
    im.box(4, 11, 11, 15, 'k', 'w')
    im.line(5, 13, 10, 13, 'G')


def img_preview(im):
    page(im, 1, 1, 10, 14)
    im.ellipse(9, 7, 3.6, 3.6, 'k', 'a')
    im.line(11, 10, 15, 14, 'm')
    im.line(12, 10, 15, 13, 'm')


def img_properties(im):
    im.box(1, 1, 14, 14, 'k', 'w')
    im.fill(2, 2, 13, 3, 'n')
    for y in (6, 9, 12):
        im.line(3, y, 6, y, 'k')
        im.line(8, y, 12, y, 'b')
    im.line(7, 5, 7, 13, 's')


def img_vcenterwin(im):
    im.frame(0, 0, 15, 15, 'G')
    im.line(1, 8, 14, 8, 'r')
    im.box(5, 5, 10, 11, 'k', 'b')


def img_hcenters(im):
    im.line(8, 0, 8, 15, 'r')
    bars_h(im, [(3, 13, 2), (5, 11, 7), (2, 14, 12)])


def img_hspace(im):
    bars_v(im, [(2, 13, 1), (4, 11, 7), (3, 12, 13)])


def img_hcenterwin(im):
    im.frame(0, 0, 15, 15, 'G')
    im.line(8, 1, 8, 14, 'r')
    im.box(5, 5, 11, 10, 'k', 'b')


def img_unused(im):
    im.frame(2, 2, 13, 13, 'G')


def img_alleft(im):
    im.line(1, 0, 1, 15, 'r')
    bars_h(im, [(2, 13, 2), (2, 9, 7), (2, 11, 12)])


def img_alright(im):
    im.line(14, 0, 14, 15, 'r')
    bars_h(im, [(2, 13, 2), (6, 13, 7), (4, 13, 12)])


def img_altop(im):
    im.line(0, 1, 15, 1, 'r')
    bars_v(im, [(2, 13, 2), (2, 9, 7), (2, 11, 12)])


def img_vcenters(im):
    im.line(0, 8, 15, 8, 'r')
    bars_v(im, [(3, 13, 2), (5, 11, 7), (2, 14, 12)])


def img_vspace(im):
    bars_h(im, [(1, 12, 1), (4, 11, 7), (3, 14, 13)])


def img_albottom(im):
    im.line(0, 14, 15, 14, 'r')
    bars_v(im, [(2, 13, 2), (6, 13, 7), (4, 13, 12)])


def img_changedata(im):
    # Index 18 serves both "Change data" and "Tile Vertically".
    img_tilev(im)


def img_repprops(im):
    page(im)
    im.line(5, 6, 10, 6, 'G')
    im.line(5, 8, 10, 8, 'G')
    im.ellipse(11, 11, 3.5, 3.5, 'k', 's')
    im.fill(10, 10, 12, 12, 'G')


# An arrow that turns back to the left over a bend; Redo is its mirror image.
UNDO_ARROW = [
    '.....n..........',
    '....nn..........',
    '...nbnnnnnnn....',
    '..nbbbbbbbbbnn..',
    '.nbbbbbbbbbbbbn.',
    '..nbbbbbbbbbbbbn',
    '...nbnnnnnnnnbbn',
    '....nn.......nbn',
    '.....n.......nbn',
    '.............nbn',
    '............nbbn',
    '..........nnbbn.',
    '.......nnnbbbn..',
    '.......nbbbnn...',
    '.......nnnn.....',
]


def img_undo(im):
    im.art(0, 1, UNDO_ARROW)


def img_redo(im):
    im.art(0, 1, [row[::-1] for row in UNDO_ARROW])


ACTIONS = [
    img_new, img_open, img_save, img_close, img_closeall, img_copy, img_cut, img_paste,
    img_exit, img_delete, img_lock, img_unlock, img_aligngrid, img_sendback, img_bringfront,
    img_unused, img_cascade, img_tileh, img_changedata, img_print, img_preview, img_properties,
    img_vcenterwin, img_hcenters, img_hspace, img_hcenterwin, img_unused, img_alleft, img_alright,
    img_altop, img_vcenters, img_vspace, img_albottom, img_repprops, img_undo, img_redo,
]

# ---------------------------------------------------------------------------
# Palette glyphs (24 x 24).

LETTER_A = ['...kk...', '..kkkk..', '.kk..kk.', '.kk..kk.', '.kkkkkk.', '.kk..kk.', '.kk..kk.', '.kk..kk.']


def pal_pointer(im):
    im.art(7, 3, [
        'k..........', 'kk.........', 'kwk........', 'kwwk.......', 'kwwwk......', 'kwwwwk.....',
        'kwwwwwk....', 'kwwwwwwk...', 'kwwwwwwwk..', 'kwwwwwkkkk.', 'kwwkwwk....', 'kwk.kwwk...',
        'kk..kwwk...', 'k....kwwk..', '.....kwwk..', '......kk...'])


def pal_band(im):
    im.box(2, 3, 21, 20, 'G', 'w')
    im.box(2, 8, 21, 15, 'k', 'a')
    im.line(4, 11, 12, 11, 'n')


def pal_label(im):
    im.box(2, 6, 21, 17, 'k', 'w')
    im.art(8, 8, LETTER_A)


def pal_dbtext(im):
    im.box(2, 6, 15, 17, 'k', 'w')
    im.art(5, 8, LETTER_A)
    im.ellipse(18.5, 8.5, 3.6, 1.8, 'k', 'y')
    im.fill(15, 9, 22, 17, 'y')
    im.line(15, 9, 15, 17, 'k')
    im.line(22, 9, 22, 17, 'k')
    im.ellipse(18.5, 17, 3.6, 1.8, 'k', 'y')
    im.ellipse(18.5, 8.5, 3.6, 1.8, 'k', 'y')


def pal_expr(im):
    im.box(2, 6, 21, 17, 'k', 'w')
    im.art(5, 8, ['...kkk.......', '..kk.........', '..kk.........', 'kkkkkk.kk..kk',
                  '..kk....kkkk.', '..kk.....kk..', '..kk....kkkk.', '..kk...kk..kk'])


def pal_sysdata(im):
    im.ellipse(11.5, 11.5, 9.5, 9.5, 'k', 'w')
    im.line(11, 11, 11, 5, 'k')
    im.line(12, 11, 12, 5, 'k')
    im.line(11, 11, 16, 14, 'r')
    for x, y in ((11, 3), (20, 11), (11, 20), (3, 11)):
        im.set(x, y, 'k'); im.set(x + 1, y, 'k')


def pal_memo(im):
    im.box(3, 2, 20, 21, 'k', 'w')
    for y, w in ((5, 14), (8, 12), (11, 15), (14, 10), (17, 13)):
        im.line(6, y, 3 + w, y, 'n')


def pal_exprmemo(im):
    im.box(3, 2, 20, 21, 'k', 'w')
    for y, w in ((5, 14), (8, 12), (11, 8)):
        im.line(6, y, 3 + w, y, 'n')
    im.art(6, 13, ['.kk.......', 'k.........', 'kkk.k..k..', 'k....kk...', 'k....kk...', 'k...k..k..'])


def pal_shape(im):
    im.box(2, 9, 13, 20, 'k', 'b')
    im.ellipse(15, 9, 6.5, 6.5, 'k', 'r')


def pal_childband(im):
    # A band with a smaller band hanging from it, joined at the left.
    im.box(2, 2, 21, 9, 'k', 'a')
    im.line(4, 5, 12, 5, 'n')
    im.line(4, 10, 4, 16, 'k')
    im.line(5, 16, 7, 16, 'k')
    im.box(8, 13, 21, 20, 'k', 'w')
    im.line(10, 16, 16, 16, 'n')


def pal_group(im):
    # A header and a footer band held together by a bracket.
    im.line(2, 3, 2, 20, 'k')
    im.line(3, 3, 4, 3, 'k')
    im.line(3, 20, 4, 20, 'k')
    im.box(6, 2, 21, 8, 'k', 'y')
    im.line(8, 5, 15, 5, 'm')
    im.line(8, 11, 19, 11, 'G')
    im.line(8, 13, 17, 13, 'G')
    im.box(6, 15, 21, 21, 'k', 'y')
    im.line(8, 18, 13, 18, 'm')


def pal_subdetail(im):
    # A band with rows of its own dataset.
    im.box(2, 6, 21, 17, 'k', 'a')
    for y in (9, 12, 15):
        im.line(5, y, 12, y, 'n')
    im.fill(14, 3, 20, 10, 'y')
    im.line(14, 3, 14, 10, 'k')
    im.line(20, 3, 20, 10, 'k')
    im.ellipse(17, 10, 3.6, 1.8, 'k', 'y')
    im.ellipse(17, 3, 3.6, 1.8, 'k', 'y')


def cylinder(im, x1, y1, x2, y2):
    # A database drum: a filled body between two rims.
    cx, rx = (x1 + x2) / 2, (x2 - x1) / 2 + 0.1
    im.fill(x1, y1, x2, y2, 'y')
    im.line(x1, y1, x1, y2, 'k')
    im.line(x2, y1, x2, y2, 'k')
    im.ellipse(cx, y2, rx, 2, 'k', 'y')
    im.ellipse(cx, y1, rx, 2, 'k', 'y')


def ds_table(im):
    # A drum with a small grid of records in front.
    cylinder(im, 2, 4, 14, 17)
    im.box(9, 10, 21, 21, 'k', 'w')
    im.fill(10, 11, 20, 12, 'a')
    for y in (15, 18):
        im.line(10, y, 20, y, 'G')
    im.line(15, 13, 15, 20, 'G')


def ds_query(im):
    # A drum with a question mark beside it.
    cylinder(im, 2, 4, 14, 17)
    im.art(15, 6, ['.kkkk.', 'kk..kk', '....kk', '...kk.', '..kk..', '..kk..', '......', '..kk..', '..kk..'])


# Proxies of non-visual components on the design surface (24 x 24).
NONVISUAL_GLYPHS = [('table', ds_table), ('query', ds_query)]

def pal_image(im):
    # A framed picture: sky, sun and a green hill.
    im.box(2, 4, 21, 19, 'k', 'a')
    im.ellipse(16, 8, 2, 2, 'o', 'y')
    for y in range(12, 19):
        half = (y - 11) * 2
        im.fill(max(3, 9 - half), y, min(20, 9 + half), y, 'g')


def pal_dbimage(im):
    # A small picture beside a database drum.
    im.box(1, 6, 14, 17, 'k', 'a')
    for y in range(12, 17):
        im.fill(max(2, 6 - (y - 11)), y, min(13, 6 + (y - 11)), y, 'g')
    im.ellipse(18.5, 8.5, 3.6, 1.8, 'k', 'y')
    im.fill(15, 9, 22, 17, 'y')
    im.line(15, 9, 15, 17, 'k')
    im.line(22, 9, 22, 17, 'k')
    im.ellipse(18.5, 17, 3.6, 1.8, 'k', 'y')
    im.ellipse(18.5, 8.5, 3.6, 1.8, 'k', 'y')


def pal_barcode(im):
    # Bars of two widths over a line of digits.
    im.fill(2, 3, 21, 20, 'w')
    x = 3
    for width in (1, 2, 1, 1, 3, 1, 2, 1, 1, 2):
        im.fill(x, 4, x + width - 1, 15, 'k')
        x += width + 1 if width < 3 else width
    for x in range(3, 21, 2):
        im.set(x, 18, 'k')
        im.set(x, 19, 'k')


def pal_chart(im):
    # Bars of three heights on an axis, a line over them.
    im.line(3, 3, 3, 20, 'k')
    im.line(3, 20, 21, 20, 'k')
    for x, top, c in ((5, 12, 'n'), (10, 7, 'y'), (15, 10, 'g')):
        im.box(x, top, x + 3, 19, 'k', c)
    im.line(6, 9, 11, 4, 'r')
    im.line(11, 4, 16, 7, 'r')
    im.line(16, 7, 20, 3, 'r')


PALETTE_GLYPHS = [
    ('pointer', pal_pointer), ('band', pal_band), ('label', pal_label), ('dbtext', pal_dbtext),
    ('expr', pal_expr), ('sysdata', pal_sysdata), ('memo', pal_memo), ('exprmemo', pal_exprmemo),
    ('shape', pal_shape), ('childband', pal_childband), ('group', pal_group), ('subdetail', pal_subdetail),
    ('image', pal_image), ('dbimage', pal_dbimage), ('barcode', pal_barcode),
    ('chart', pal_chart),
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    names = []
    for index, draw in enumerate(ACTIONS):
        im = Image(16)
        draw(im)
        name = 'img%02d.png' % index
        im.png(os.path.join(here, name))
        names.append(name)
    for prefix, glyphs in (('palette', PALETTE_GLYPHS), ('nonvisual', NONVISUAL_GLYPHS)):
        for glyph, draw in glyphs:
            im = Image(24)
            draw(im)
            name = '%s_%s.png' % (prefix, glyph)
            im.png(os.path.join(here, name))
            names.append(name)
    with open(os.path.join(here, 'images.qrc'), 'w') as f:
        f.write('<!DOCTYPE RCC>\n<RCC version="1.0">\n<qresource prefix="/images">\n')
        for name in names:
            f.write('  <file>%s</file>\n' % name)
        f.write('</qresource>\n</RCC>\n')


if __name__ == '__main__':
    main()
