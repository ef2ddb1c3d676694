#!/usr/bin/env python3
"""make_site_assets.py -- the page's generated files, made at build time from the program and the logo.

  make_site_assets.py logo LOGO.bmp SITE_DIR
      the logo as vis_gloamer.png (what the page ships and turns back into the bitmap the plug-in reads) and the
      app icons icon-192.png and icon-512.png
  make_site_assets.py embed gloamer.wasm vis_gloamer.png OUT.js
      both as base64 in one script, so that the page also starts from a file:// address, where it cannot fetch
"""
import base64
import os
import struct
import sys
import zlib


def read_bmp(path):
    """Width, height and RGB rows (top row first) of an uncompressed 24-bit bitmap."""
    data = open(path, 'rb').read()
    if data[:2] != b'BM':
        raise ValueError(f'{path} is no bitmap')
    offset, = struct.unpack_from('<I', data, 10)
    width, height, planes, bits, compression = struct.unpack_from('<iiHHI', data, 18)
    if bits != 24 or compression != 0 or width <= 0 or height == 0:
        raise ValueError(f'{path} is not an uncompressed 24-bit bitmap')
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        start = offset + y * stride
        bgr = data[start:start + width * 3]
        if len(bgr) < width * 3:
            raise ValueError(f'{path} is cut short')
        rgb = bytearray(len(bgr))
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        rows.append(bytes(rgb))
    if height > 0:
        rows.reverse()  # bottom-up
    return width, abs(height), rows


def png(width, height, rows):
    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    raw = b''.join(b'\0' + row for row in rows)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def scaled(width, height, rows, size):
    """The picture at size x size, nearest pixel."""
    out = []
    for y in range(size):
        row = rows[y * height // size]
        out.append(b''.join(row[(x * width // size) * 3:(x * width // size) * 3 + 3] for x in range(size)))
    return out


def write(path, data):
    # Whole or not at all: a build stopped half-way leaves no half file for the next one to trust.
    temporary = path + '.part'
    with open(temporary, 'wb') as out:
        out.write(data)
    os.replace(temporary, path)


def main(args):
    if len(args) == 3 and args[0] == 'logo':
        width, height, rows = read_bmp(args[1])
        write(os.path.join(args[2], 'vis_gloamer.png'), png(width, height, rows))
        for size in (192, 512):
            write(os.path.join(args[2], f'icon-{size}.png'), png(size, size, scaled(width, height, rows, size)))
    elif len(args) == 4 and args[0] == 'embed':
        wasm, logo = (base64.b64encode(open(path, 'rb').read()).decode() for path in args[1:3])
        write(args[3], (f"// Generated at build time: the program and the logo for a page opened from a file.\n"
                        f"window.gloamerEmbedded = {{ wasm: '{wasm}', logo: '{logo}' }};\n").encode())
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == '__main__':
    try:
        sys.exit(main(sys.argv[1:]))
    except (OSError, ValueError) as error:
        sys.stderr.write(f'make_site_assets.py: {error}\n')
        sys.exit(1)
