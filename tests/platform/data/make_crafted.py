# Writes the small crafted pictures of the pictures tests (and fuzz seeds),
# byte by byte from the published layouts, into the folder given:
#   python3 make_crafted.py tests/platform/data
# emf_clip_path_rows.emf is the fuzz seed only (fuzz/corpus/metafile); the
# test makes its own.
import struct, math, sys
out = sys.argv[1]
def rec(t, payload):
    while len(payload) % 4: payload += b'\0'
    return struct.pack('<II', t, 8 + len(payload)) + payload
def emf(records, w=100, h=100):
    body = b''.join(records)
    eof = rec(14, struct.pack('<III', 0, 16, 20))
    fw, fh = round(w * 2540 / 96), round(h * 2540 / 96)
    total = 108 + len(body) + len(eof)
    head = struct.pack('<II4i4iIIIIHHIIIiiiiIIIii', 1, 108, 0, 0, w - 1, h - 1, 0, 0, fw, fh,
                       0x464D4520, 0x10000, total, len(records) + 2, 4, 0, 0, 0, 0,
                       1920, 1080, 508, 286, 0, 0, 0, 508000, 285750)
    assert len(head) == 108
    return head + body + eof
def fl(*v): return struct.pack('<%df' % len(v), *v)
def dib24(rows_top_down):
    h = len(rows_top_down); w = len(rows_top_down[0])
    stride = (w * 3 + 3) // 4 * 4
    bits = b''
    for row in reversed(rows_top_down):
        r = b''.join(struct.pack('BBB', c[2], c[1], c[0]) for c in row)
        bits += r + b'\0' * (stride - len(r))
    bmi = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(bits), 0, 0, 0, 0)
    return bmi, bits
SRCCOPY = 0x00CC0020
ident = fl(1, 0, 0, 1, 0, 0)
def sel(ih): return rec(37, struct.pack('<I', ih))
STOCK = 0x80000000
# --- block transfers with a source bitmap
red, blue, green, yellow, black, magenta = (255,0,0), (0,0,255), (0,255,0), (255,255,0), (0,0,0), (255,0,255)
bmi, bits = dib24([[red] * 20] * 10 + [[blue] * 20] * 10)
bitblt = rec(76, struct.pack('<4i4iI2i', 10, 10, 29, 29, 10, 10, 20, 20, SRCCOPY, 0, 0) + ident +
             struct.pack('<IIIIII', 0, 0, 100, 40, 140, len(bits)) + bmi + bits)
bmi2, bits2 = dib24([[green, yellow], [black, magenta]])
stretch = rec(77, struct.pack('<4i4iI2i', 50, 50, 89, 89, 50, 50, 40, 40, SRCCOPY, 0, 0) + ident +
              struct.pack('<IIIIII', 0, 0, 108, 40, 148, len(bits2)) + struct.pack('<ii', 2, 2) + bmi2 + bits2)
open(out + '/emf_blit_source.emf', 'wb').write(emf([bitblt, stretch]))
# --- a geometric pen with its own dashes: 4 wide, 12 on and 6 off, flat ends
pen = rec(95, struct.pack('<IIIII', 1, 0, 0, 0, 0) +
          struct.pack('<IIIIII', 0x10000 | 0x200 | 7, 4, 0, 0, 0, 2) + struct.pack('<II', 12, 6))
open(out + '/emf_user_dashes.emf', 'wb').write(emf([pen, sel(1), rec(27, struct.pack('<ii', 0, 50)),
                                                    rec(54, struct.pack('<ii', 100, 50))]))
# --- a rectangle and an ellipse of 80 x 40 turned by 30 degrees
c, s = math.cos(math.radians(30)), math.sin(math.radians(30))
def turned(cx, cy, t):
    return [rec(35, fl(c, s, -s, c, cx, cy)), rec(t, struct.pack('<4i', -40, -20, 40, 20))]
open(out + '/emf_turned_shapes.emf', 'wb').write(
    emf([sel(STOCK | 4), sel(STOCK | 8)] + turned(50, 50, 43) + turned(150, 50, 42), 200, 100))
# --- a clip path whose region, uncut, has millions of pieces: 150 edges each
# over 60,000 rows, side by side
pts = [(-40000, 30000)] + [(-150 + (i - 74) * 400, -30000 if i % 2 == 0 else 30000) for i in range(148)] + [(40000, -30000)]
poly = rec(3, struct.pack('<4iI', -40000, -30000, 40000, 30000, len(pts)) +
           b''.join(struct.pack('<ii', *p) for p in pts))
bomb = emf([sel(STOCK | 4), sel(STOCK | 8), rec(59, b''), poly, rec(60, b''), rec(67, struct.pack('<I', 5)),
            rec(43, struct.pack('<4i', 0, 0, 101, 101))])
open(out + '/emf_clip_path_rows.emf', 'wb').write(bomb)

# --- Windows metafiles
def wrec(fn, params=b''):
    if len(params) % 2: params += b'\0'
    return struct.pack('<IH', 3 + len(params) // 2, fn) + params
def wmf(records, objects, mtype=1):
    body = b''.join(records) + wrec(0)
    maxrec = max(struct.unpack('<I', r[:4])[0] for r in records + [wrec(0)])
    return struct.pack('<HHHIHIH', mtype, 9, 0x300, 9 + len(body) // 2, objects, maxrec, 0) + body
def placeable(w, h, inch, data, counted=False):
    head = struct.pack('<IHhhhhHI', 0x9AC6CDD7, 0, 0, 0, w, h, inch, 0)
    ck = 0
    for i in range(10): ck ^= struct.unpack('<H', head[2*i:2*i+2])[0]
    head += struct.pack('<H', ck)
    if counted:
        data = bytearray(data)
        data[6:10] = struct.pack('<I', struct.unpack('<I', data[6:10])[0] + 11)
        data = bytes(data)
    return head + data
square = [wrec(0x0103, struct.pack('<h', 8)),           # MM_ANISOTROPIC
          wrec(0x020B, struct.pack('<hh', 0, 0)), wrec(0x020C, struct.pack('<hh', 40, 40)),
          wrec(0x02FC, struct.pack('<HIH', 0, 0, 0)), wrec(0x012D, struct.pack('<H', 0)),  # black brush
          wrec(0x041B, struct.pack('<hhhh', 30, 30, 10, 10))]
open(out + '/wmf_counted_header.wmf', 'wb').write(placeable(40, 40, 96, wmf(square, 1), counted=True))
open(out + '/wmf_type2.wmf', 'wb').write(wmf(square, 1, mtype=2))
def font(height, charset, face):
    f = face.encode('ascii') + b'\0'
    return wrec(0x02FB, struct.pack('<hhhhhBBBBBBBB', height, 0, 0, 0, 400, 0, 0, 0, charset, 0, 0, 0, 0) + f)
def textout(x, y, b):
    p = struct.pack('<h', len(b)) + b + (b'\0' if len(b) % 2 else b'') + struct.pack('<hh', y, x)
    return wrec(0x0521, p)
def exttextout(x, y, b, dx):
    p = struct.pack('<hhhH', y, x, len(b), 0) + b + (b'\0' if len(b) % 2 else b'') + struct.pack('<%dh' % len(dx), *dx)
    return wrec(0x0A32, p)
text = wmf([wrec(0x0103, struct.pack('<h', 8)), wrec(0x020B, struct.pack('<hh', 0, 0)),
            wrec(0x020C, struct.pack('<hh', 80, 200)), font(-16, 204, 'Arial'), wrec(0x012D, struct.pack('<H', 0)),
            textout(10, 10, 'Привет'.encode('cp1251')),
            font(-16, 128, 'MS Gothic'), wrec(0x012D, struct.pack('<H', 1)),
            exttextout(10, 40, '日本語'.encode('cp932'), [20, 0, 21, 0, 22, 0])], 2)
open(out + '/wmf_charset_text.wmf', 'wb').write(placeable(200, 80, 96, text))
