# Turns an XWD screen dump (xwd -root) of 24 or 32 bits a pixel into a PNG,
# for screenshots taken under Xvfb without an image converter at hand.
# Usage: xwd2png.py in.xwd out.png [left top width height]
import sys, struct, zlib
d = open(sys.argv[1], 'rb').read()
f = struct.unpack('>25I', d[:100])
hs, w, h, bo, bpp, bpl = f[0], f[4], f[5], f[7], f[11], f[12]
rm, gm, bm, ncol = f[14], f[15], f[16], f[19]
start = hs + ncol * 12
B = bpp // 8
def ch(p, m):
    s = (m & -m).bit_length() - 1
    return (p & m) >> s
x0, y0, cw, chh = 0, 0, w, h
if len(sys.argv) == 7:
    x0, y0, cw, chh = (int(a) for a in sys.argv[3:7])
    cw, chh = max(0, min(cw, w - x0)), max(0, min(chh, h - y0))
rows = []
for y in range(y0, y0 + chh):
    row = bytearray(b'\0')
    base = start + y * bpl
    for x in range(x0, x0 + cw):
        px = d[base + x * B: base + x * B + B]
        v = int.from_bytes(px, 'little' if bo == 0 else 'big')
        row += bytes((ch(v, rm), ch(v, gm), ch(v, bm)))
    rows.append(bytes(row))
raw = b''.join(rows)
def chunk(t, data):
    c = struct.pack('>I', len(data)) + t + data
    return c + struct.pack('>I', zlib.crc32(t + data) & 0xffffffff)
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', cw, chh, 8, 2, 0, 0, 0)) + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
open(sys.argv[2], 'wb').write(png)
