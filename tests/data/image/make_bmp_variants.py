#!/usr/bin/env python3
"""Builds the BMP variants that ImageMagick 6 does not write (or writes wrongly) from the
files it does write: RLE8 with absolute runs, RLE4, top-down rows, the 64-byte and 108-byte
headers, a bare DIB, and 16-bit files with and without bit-field masks. For the 16-bit files
it also writes the expected decode, which keeps the 5- and 6-bit channels shifted (not
bit-replicated) into 8 bits."""
import struct
import sys

tmp = sys.argv[1]


def read_bmp(path):
    data = open(path, 'rb').read()
    offset = struct.unpack('<I', data[10:14])[0]
    header = data[14:54]
    size, w, h, planes, bpp, comp, image, xp, yp, used, important = struct.unpack('<IiiHHIIiiII', header)
    palette = data[14 + size:offset]
    return dict(data=data, offset=offset, w=w, h=h, bpp=bpp, comp=comp, used=used, palette=palette,
                pixels=data[offset:], xp=xp, yp=yp)


def info_header(size, w, h, bpp, comp, image, used, xp=0, yp=0):
    return struct.pack('<IiiHHIIiiII', size, w, h, 1, bpp, comp, image, xp, yp, used, 0)


def bmp_file(dib_header, palette, pixels, extra=b''):
    offset = 14 + len(dib_header) + len(extra) + len(palette)
    body = dib_header + extra + palette + pixels
    return b'BM' + struct.pack('<IHHI', 14 + len(body), 0, 0, offset) + body


def row_bytes(w, bpp):
    return ((w * bpp + 31) // 32) * 4


def rows(b):
    stride = row_bytes(b['w'], b['bpp'])
    return [b['pixels'][r * stride:(r + 1) * stride] for r in range(b['h'])]


def indices(b, row):
    if b['bpp'] == 8:
        return list(row[:b['w']])
    out = []
    for x in range(b['w']):
        byte = row[x // 2]
        out.append(byte >> 4 if x % 2 == 0 else byte & 0x0F)
    return out


def rle8(b):
    out = bytearray()
    chunks = [4, 1, 3, 1, 5, 2]
    for r in rows(b):
        px = indices(b, r)
        x = 0
        i = 0
        while x < len(px):
            n = min(chunks[i % len(chunks)], len(px) - x)
            i += 1
            run = px[x:x + n]
            if n >= 3:
                out += bytes([0, n]) + bytes(run) + (b'\0' if n % 2 else b'')
            else:
                for v in run:
                    out += bytes([1, v])
            x += n
        out += b'\0\0'
    out += b'\0\1'
    return bytes(out)


def rle4(b):
    out = bytearray()
    chunks = [5, 2, 3, 1, 4, 2, 6]
    for r in rows(b):
        px = indices(b, r)
        x = 0
        i = 0
        while x < len(px):
            n = min(chunks[i % len(chunks)], len(px) - x)
            i += 1
            run = px[x:x + n]
            if n >= 3:
                packed = bytearray()
                for k in range(0, n, 2):
                    hi = run[k]
                    lo = run[k + 1] if k + 1 < n else 0
                    packed.append((hi << 4) | lo)
                out += bytes([0, n]) + packed + (b'\0' if len(packed) % 2 else b'')
            else:
                hi = run[0]
                lo = run[1] if n > 1 else 0
                out += bytes([n, (hi << 4) | lo])
            x += n
        out += b'\0\0'
    out += b'\0\1'
    return bytes(out)


def expand16(pixels, w, h, rmask, gmask, bmask):
    """Top-down RGB by the decoder's rule: mask, then shift by the channel widths."""
    r, g, bb = (bin(m).count('1') for m in (rmask, gmask, bmask))
    stride = row_bytes(w, 16)

    def shift(v, n):
        return v >> n if n >= 0 else v << -n

    out = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            p = struct.unpack('<H', pixels[y * stride + 2 * x:y * stride + 2 * x + 2])[0]
            blue = shift((p & 0xFF) & (bmask & 0xFF), r - 8) & 0xFF
            green = shift(p & gmask, r + g - 8) & 0xFF
            red = shift(p & rmask, r + g + bb - 8) & 0xFF
            out += bytes([red, green, blue])
    return bytes(out)


b8 = read_bmp('b8.bmp')
b4 = read_bmp('b4.bmp')
b24 = read_bmp('b24.bmp')

data = rle8(b8)
open('rle8_absolute.bmp', 'wb').write(bmp_file(info_header(40, b8['w'], b8['h'], 8, 1, len(data), 256),
                                               b8['palette'], data))
data = rle4(b4)
open('rle4.bmp', 'wb').write(bmp_file(info_header(40, b4['w'], b4['h'], 4, 2, len(data), 16),
                                      b4['palette'], data))

flipped = b''.join(reversed(rows(b24)))
open('topdown24.bmp', 'wb').write(bmp_file(info_header(40, b24['w'], -b24['h'], 24, 0, len(flipped), 0),
                                           b'', flipped))
flipped = b''.join(reversed(rows(b8)))
open('topdown8.bmp', 'wb').write(bmp_file(info_header(40, b8['w'], -b8['h'], 8, 0, len(flipped), 256),
                                          b8['palette'], flipped))

# OS/2 2.x: 64-byte header (24 bytes past the common 40), 4-byte palette entries.
open('h64_8.bmp', 'wb').write(bmp_file(info_header(64, b8['w'], b8['h'], 8, 0, len(b8['pixels']), 256),
                                       b8['palette'], b8['pixels'], extra=bytes(24)))
# 108-byte header: the common 40 bytes, masks and colour space left zero.
open('v4_24.bmp', 'wb').write(bmp_file(info_header(108, b24['w'], b24['h'], 24, 0, len(b24['pixels']), 0),
                                       b'', b24['pixels'], extra=bytes(68)))
# Header and pixels without the 14-byte file header.
open('bare24.dib', 'wb').write(b24['data'][14:])

s555 = read_bmp(tmp + '/s555.bmp')
s565 = read_bmp(tmp + '/s565.bmp')
w, h = s555['w'], s555['h']
size16 = row_bytes(w, 16) * h
open('p555.bmp', 'wb').write(bmp_file(info_header(40, w, h, 16, 0, size16, 0), b'', s555['pixels'][:size16]))
open('p555.rgb', 'wb').write(expand16(s555['pixels'], w, h, 0x7C00, 0x03E0, 0x001F))
masks = struct.pack('<III', 0xF800, 0x07E0, 0x001F)
open('bf565.bmp', 'wb').write(bmp_file(info_header(40, w, h, 16, 3, size16, 0), b'', s565['pixels'][:size16],
                                       extra=masks))
open('bf565.rgb', 'wb').write(expand16(s565['pixels'], w, h, 0xF800, 0x07E0, 0x001F))
