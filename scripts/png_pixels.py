#!/usr/bin/env python3
"""Checks pixels of a PNG screenshot: png_pixels.py FILE X,Y=R,G,B ... (each
channel within 8). Reads 8-bit RGB or RGBA PNGs, as Chromium writes them."""
import struct
import sys
import zlib


def read_png(path):
    data = open(path, 'rb').read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        raise SystemExit(f'{path}: not a PNG')
    at, idat = 8, b''
    while at < len(data):
        length, kind = struct.unpack('>I4s', data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b'IHDR':
            width, height, depth, colour = struct.unpack('>IIBB', body[:10])
            if depth != 8 or colour not in (2, 6):
                raise SystemExit(f'{path}: only 8-bit RGB or RGBA')
        elif kind == b'IDAT':
            idat += body
        at += 12 + length
    channels = 4 if colour == 6 else 3
    raw, stride = zlib.decompress(idat), width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up, corner = previous[i], previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append(line)
        previous = line
    return width, height, channels, rows


def main():
    width, height, channels, rows = read_png(sys.argv[1])
    failed = 0
    for check in sys.argv[2:]:
        where, wanted = check.split('=')
        x, y = map(int, where.split(','))
        want = list(map(int, wanted.split(',')))
        got = list(rows[y][x * channels:x * channels + 3])
        if any(abs(a - b) > 8 for a, b in zip(got, want)):
            print(f'{sys.argv[1]}: pixel {x},{y} is {got}, not {want}')
            failed += 1
    sys.exit(1 if failed else 0)


if __name__ == '__main__':
    main()
