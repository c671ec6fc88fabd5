#!/usr/bin/env python3
"""Writes the picture files of this folder: bitmap variants with a reference PNG each, icons with
AND masks, and JPEG photos with every EXIF orientation. Bitmaps, icons and PNGs are written byte
by byte here; the JPEGs need ImageMagick's convert and exiftool. Run it in this folder."""

import struct
import subprocess
import zlib

W, H = 23, 12  # an odd width, so rows need padding


def colour(x, y):
    return ((x * 11) % 256, (y * 21) % 256, (x * 5 + y * 9 + 40) % 256)


def alpha(x, y):
    return (x * 255) // (W - 1)


def palette(n):
    return [((i * 37) % 256, (i * 91 + 40) % 256, (255 - i * 53) % 256) for i in range(n)]


def index(x, y, n):
    return (x + 2 * y) % n


def png(path, pixels, w, h):
    """pixels[y][x] = (r, g, b, a)"""
    raw = b''.join(b'\0' + bytes(c for p in row for c in p) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))
    data = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))
    open(path, 'wb').write(data)


def pad(row):
    return row + b'\0' * (-len(row) % 4)


def bmp(path, header, palette_bytes, bits, extra=b''):
    offset = 14 + len(header) + len(extra) + len(palette_bytes)
    size = offset + len(bits)
    open(path, 'wb').write(b'BM' + struct.pack('<IHHI', size, 0, 0, offset) + header + extra +
                           palette_bytes + bits)


def info(size, bpp, compression=0, colours=0, height=H, masks=None, image_size=0):
    h = struct.pack('<IiiHHIIiiII', size, W, height, 1, bpp, compression, image_size, 2835, 2835,
                    colours, 0)
    if size > 40:
        h += struct.pack('<4I', *(masks or (0, 0, 0, 0)))
    if size > 56:
        h += struct.pack('<I', 0x73524742) + b'\0' * (size - 60)  # sRGB, no end points
    return h[:size]


def scale(v, bits):
    top = (1 << bits) - 1
    q = (v * top + 127) // 255
    return q, (q * 255 + top // 2) // top


def shift_of(mask):
    return (mask & -mask).bit_length() - 1


def truecolour(path, header_size, bpp, masks, compression, with_alpha, after=b''):
    """masks: red, green, blue, alpha; the reference holds what the masks can keep."""
    rows, ref = [], [[None] * W for _ in range(H)]
    for y in range(H - 1, -1, -1):
        row = b''
        for x in range(W):
            vals = list(colour(x, y)) + [alpha(x, y) if with_alpha else 255]
            p = 0
            kept = []
            for v, m in zip(vals, masks):
                if m == 0:
                    kept.append(255)
                    continue
                bits = bin(m >> shift_of(m)).count('1')
                q, back = scale(v, bits)
                p |= q << shift_of(m)
                kept.append(back)
            ref[y][x] = tuple(kept)
            row += struct.pack('<H' if bpp == 16 else '<I', p)
        rows.append(pad(row))
    header = info(header_size, bpp, compression, masks=masks if header_size > 40 else None)
    bmp(path + '.bmp', header, b'', b''.join(rows), after)
    png(path + '.png', ref, W, H)


def paletted(path, header_size, bpp, n, stored_colours=None, colours_field=None, top_down=False):
    pal = palette(n)
    entry = 3 if header_size == 12 else 4
    stored = pal + [(9, 9, 9)] * ((stored_colours or n) - n)
    pal_bytes = b''.join(bytes((b, g, r)) + (b'' if entry == 3 else b'\0') for r, g, b in stored)
    rows, ref = [], [[None] * W for _ in range(H)]
    order = range(H) if top_down else range(H - 1, -1, -1)
    for y in order:
        bits, acc, nbits = b'', 0, 0
        for x in range(W):
            i = index(x, y, n)
            ref[y][x] = pal[i] + (255,)
            acc = (acc << bpp) | i
            nbits += bpp
            if nbits == 8:
                bits += bytes([acc])
                acc, nbits = 0, 0
        if nbits:
            bits += bytes([acc << (8 - nbits)])
        rows.append(pad(bits))
    if header_size == 12:
        header = struct.pack('<IHHHH', 12, W, H, 1, bpp)
    else:
        field = len(stored) if colours_field is None else colours_field
        header = info(min(header_size, 40), bpp, 0, field, -H if top_down else H)
        if header_size == 16:
            header = struct.pack('<I', 16) + header[4:16]
        elif header_size > 40:
            header += b'\0' * (header_size - 40)
            header = struct.pack('<I', header_size) + header[4:]
    bmp(path + '.bmp', header, pal_bytes, b''.join(rows))
    png(path + '.png', ref, W, H)


def rle(path, four):
    """RLE8 or RLE4 with runs, literal stretches, a move that skips pixels and an early end."""
    n = 16 if four else 40
    pal = palette(n)
    # Pixels the stream skips take palette entry 0, as ImageMagick and Pillow show them.
    ref = [[pal[0] + (255,)] * W for _ in range(H)]

    def idx(x, y):
        return (x // 3 + y) % n  # runs of three

    out = b''
    for y in range(H - 1, -1, -1):
        x = 0
        if y == 4:
            out += b'\0\2' + bytes([5, 0])  # skip five pixels
            x = 5
        while x < W:
            run = 1
            while x + run < W and idx(x + run, y) == idx(x, y):
                run += 1
            if run >= 2 and not (four and x % 2):
                a = idx(x, y)
                out += bytes([run, (a << 4 | a) if four else a])
            else:  # a literal stretch of up to four pixels
                run = min(4, W - x)
                vals = [idx(x + i, y) for i in range(run)]
                if four:
                    vals += [0] * (run % 2)
                    packed = bytes(vals[i] << 4 | vals[i + 1] for i in range(0, len(vals), 2))
                else:
                    packed = bytes(vals)
                if run < 3:  # two-pixel literals would read as an escape; use single runs
                    packed = b''
                    for i in range(run):
                        a = idx(x + i, y)
                        packed += bytes([1, (a << 4) if four else a])
                    out += packed
                    for i in range(run):
                        ref[y][x + i] = pal[idx(x + i, y)] + (255,)
                    x += run
                    continue
                out += bytes([0, run]) + packed + b'\0' * (len(packed) % 2)
            for i in range(run):
                ref[y][x + i] = pal[idx(x + i, y)] + (255,)
            x += run
        if y == 1:
            out += b'\0\1'  # end of picture: the top row is skipped
            break
        out += b'\0\0'
    pal_bytes = b''.join(bytes((b, g, r, 0)) for r, g, b in pal)
    header = info(40, 4 if four else 8, 2 if four else 1, n, image_size=len(out))
    bmp(path + '.bmp', header, pal_bytes, out)
    png(path + '.png', ref, W, H)


def icon(path, bpp, with_alpha=False):
    """16x16: red left half, blue right half; the mask hides the top-left corner and the two
    bottom rows. 4-bit icons use a palette; 32-bit ones without alpha leave the channel zero."""
    w = h = 16

    def masked(x, y):
        return x + y < 6 or y >= 14

    rows, mask_rows = b'', b''
    for y in range(h - 1, -1, -1):
        row = b''
        for x in range(w):
            r, g, b = (255, 0, 0) if x < 8 else (0, 0, 255)
            if bpp == 24:
                row += bytes((b, g, r))
            elif bpp == 32:
                row += bytes((b, g, r, (0 if masked(x, y) else 200) if with_alpha else 0))
        if bpp == 4:
            row = bytes((0x11 if x < 8 else 0x22) for x in range(0, w, 2))
        rows += pad(row)
        bits = bytearray(4)
        for x in range(w):
            if masked(x, y) and not with_alpha:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask_rows += bytes(bits)
    pal = b''
    if bpp == 4:
        pal = bytes((0, 0, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0)) + b'\0' * 52
    dib = struct.pack('<IiiHHIIiiII', 40, w, 2 * h, 1, bpp, 0, len(rows) + len(mask_rows), 0, 0,
                      16 if bpp == 4 else 0, 0) + pal + rows + mask_rows
    directory = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', w, h, 16 if bpp == 4 else 0,
                                                           0, 1, bpp, len(dib), 22)
    open(path, 'wb').write(directory + dib)


def photos():
    """48x32, upright: red top left, green top right, blue bottom left, white bottom right.
    Each file stores the pixels so that its orientation tag turns them upright."""
    w, h = 48, 32
    quads = [[(255, 0, 0), (0, 200, 0)], [(0, 0, 255), (255, 255, 255)]]
    ppm = b'P6 %d %d 255\n' % (w, h)
    ppm += b''.join(bytes(quads[y * 2 // h][x * 2 // w]) for y in range(h) for x in range(w))
    open('upright.ppm', 'wb').write(ppm)
    undo = {1: [], 2: ['-flop'], 3: ['-rotate', '180'], 4: ['-flip'], 5: ['-transpose'],
            6: ['-rotate', '270'], 7: ['-transverse'], 8: ['-rotate', '90']}
    for n, ops in undo.items():
        name = 'exif-orientation-%d.jpg' % n
        subprocess.run(['convert', 'upright.ppm', *ops, '-strip', '-quality', '90', name],
                       check=True)
        subprocess.run(['exiftool', '-q', '-overwrite_original', '-n', '-Orientation=%d' % n,
                        name], check=True)
    subprocess.run(['rm', 'upright.ppm'], check=True)


R, G, B, A = 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000
truecolour('rgb16-555', 40, 16, (0x7C00, 0x03E0, 0x001F, 0), 0, False)
truecolour('rgb16-565', 40, 16, (0xF800, 0x07E0, 0x001F, 0), 3, False,
           struct.pack('<3I', 0xF800, 0x07E0, 0x001F))
truecolour('rgba16-4444-v5', 124, 16, (0x0F00, 0x00F0, 0x000F, 0xF000), 3, True)
truecolour('rgb32-111110', 40, 32, (0xFFE00000, 0x001FFC00, 0x000003FF, 0), 3, False,
           struct.pack('<3I', 0xFFE00000, 0x001FFC00, 0x000003FF))
truecolour('rgb32-h52', 52, 32, (R, G, B, 0), 3, False)
truecolour('rgba32-h56', 56, 32, (R, G, B, A), 3, True)
truecolour('rgba32-abf', 40, 32, (R, G, B, A), 6, True, struct.pack('<4I', R, G, B, A))
paletted('pal8-os2v1-short', 12, 8, 200)
paletted('pal8-os2v2-16', 16, 8, 256)
paletted('pal8-os2v2-64', 64, 8, 100)
paletted('pal8-oversize', 40, 8, 256, stored_colours=300)
paletted('pal2', 40, 2, 4)
paletted('pal4-short-topdown', 40, 4, 5, top_down=True)
paletted('pal1-v4', 108, 1, 2)
rle('pal8-rle8', False)
rle('pal4-rle4', True)
icon('icon24-mask.ico', 24)
icon('icon32-zeroalpha-mask.ico', 32)
icon('icon32-alpha.ico', 32, with_alpha=True)
icon('icon4-mask.ico', 4)
photos()
