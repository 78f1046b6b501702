#!/usr/bin/env python3
"""Generate Vondrel's bitmap resources.

Writes, relative to the resources/ directory:

  icon.png     128x128 RGBA product icon (a parcel with a magnifier)
  icon.ico     the same icon at 16, 32, 48 and 128 pixels
  loading.gif  the animated loading bar (220x19, 10 frames)

Everything is drawn from simple vector shapes with supersampled
antialiasing, and encoded with the standard library only (zlib, struct).
The output is deterministic: running the script twice gives identical files.

Usage: python3 resources/art/make_art.py [output-dir]
"""

import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUT = os.path.dirname(HERE)  # resources/


# ---------------------------------------------------------------------------
# Small geometry helpers (coordinates are floats, y grows downwards)
# ---------------------------------------------------------------------------

def seg_dist(px, py, ax, ay, bx, by):
    """Distance from point P to segment AB."""
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
    ex, ey = px - (ax + t * dx), py - (ay + t * dy)
    return math.sqrt(ex * ex + ey * ey)


def in_convex(px, py, poly):
    """True if P lies inside the convex polygon (vertices clockwise on screen)."""
    n = len(poly)
    for i in range(n):
        ax, ay = poly[i]
        bx, by = poly[(i + 1) % n]
        if (bx - ax) * (py - ay) - (by - ay) * (px - ax) < 0.0:
            return False
    return True


def poly_edge_dist(px, py, poly):
    n = len(poly)
    return min(seg_dist(px, py, poly[i][0], poly[i][1],
                        poly[(i + 1) % n][0], poly[(i + 1) % n][1])
               for i in range(n))


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c1, c2, t):
    return tuple(lerp(a, b, t) for a, b in zip(c1, c2))


def clamp01(t):
    return 0.0 if t < 0.0 else 1.0 if t > 1.0 else t


# ---------------------------------------------------------------------------
# The icon: an isometric cardboard parcel with packing tape, and a magnifier
# resting over its lower right corner.  Designed on a 128-unit canvas.
# ---------------------------------------------------------------------------

# Box corners
T = (56.0, 9.0)     # top
L = (9.0, 32.5)     # left
R = (103.0, 32.5)   # right
C = (56.0, 56.0)    # front-top (where the three faces meet)
BL = (9.0, 87.0)
BR = (103.0, 87.0)
B = (56.0, 110.5)   # bottom

HEX = [T, R, BR, B, BL, L]          # clockwise on screen
TOP_FACE = [T, R, C, L]
LEFT_FACE = [L, C, B, BL]
RIGHT_FACE = [C, R, BR, B]

# Magnifier
LENS_C = (87.0, 85.0)
LENS_R = 25.0                      # outer radius of the ring
HANDLE_A = (87.0 + 0.7071 * 23.0, 85.0 + 0.7071 * 23.0)
HANDLE_B = (118.5, 116.5)
LENS_ZOOM = 1.35

# Palette (sRGB)
OUTLINE = (74, 37, 15)
EDGE = (112, 56, 22)
TOP_LIGHT = (255, 196, 110)
TOP_DARK = (246, 160, 62)
LEFT_LIGHT = (240, 132, 40)
LEFT_DARK = (220, 108, 28)
RIGHT_LIGHT = (184, 92, 34)
RIGHT_DARK = (150, 70, 26)
TAPE_TOP = (255, 232, 184)
TAPE_LEFT = (250, 204, 136)
RING = (84, 42, 16)
RING_HI = (150, 82, 34)
HANDLE = (62, 30, 12)
HANDLE_HI = (120, 62, 26)
GLASS = (255, 248, 232)


def face_uv(px, py, o, a, b):
    """Affine coordinates (u, v) of P in the parallelogram o + u*(a-o) + v*(b-o)."""
    ax, ay = a[0] - o[0], a[1] - o[1]
    bx, by = b[0] - o[0], b[1] - o[1]
    qx, qy = px - o[0], py - o[1]
    det = ax * by - ay * bx
    u = (qx * by - qy * bx) / det
    v = (ax * qy - ay * qx) / det
    return u, v


class IconStyle:
    """Stroke widths in canvas units, thickened for tiny renderings."""

    def __init__(self, size):
        px = 128.0 / size          # canvas units per output pixel
        self.outline = max(4.0, 0.95 * px)
        self.edge = max(2.2, 0.6 * px)
        self.ring = max(7.0, 1.3 * px)
        self.gap = max(3.0, 0.9 * px)
        self.handle = max(11.0, 2.0 * px)
        self.tape = 0.13 if size > 24 else 0.16   # half width, face units
        self.glint = size >= 32


class Layer:
    """Straight-alpha colour accumulator for one sample point."""

    __slots__ = ("out",)

    def __init__(self):
        self.out = None

    def over(self, col, alpha=1.0):
        if alpha >= 1.0 or self.out is None:
            if alpha >= 1.0:
                self.out = (col[0], col[1], col[2], 1.0)
                return
            self.out = (0.0, 0.0, 0.0, 0.0)
        r0, g0, b0, a0 = self.out
        a = alpha + a0 * (1.0 - alpha)
        if a <= 0.0:
            return
        k = a0 * (1.0 - alpha)
        self.out = ((col[0] * alpha + r0 * k) / a,
                    (col[1] * alpha + g0 * k) / a,
                    (col[2] * alpha + b0 * k) / a, a)


def box_sample(x, y, st, lay):
    """Paint the parcel at canvas point (x, y) into the layer."""
    over = lay.over
    # --- the box -----------------------------------------------------------
    inside = in_convex(x, y, HEX)
    d_edge = poly_edge_dist(x, y, HEX)
    half = st.outline / 2.0
    if inside or d_edge < half:
        over(OUTLINE)
        if inside and d_edge >= half:
            if in_convex(x, y, TOP_FACE):
                u, v = face_uv(x, y, T, L, R)
                t = clamp01((y - T[1]) / (C[1] - T[1]))
                col = mix(TOP_LIGHT, TOP_DARK, t)
                if abs(v - 0.5) < st.tape:
                    col = TAPE_TOP
                over(col)
            elif x < C[0]:
                u, v = face_uv(x, y, L, C, BL)
                t = clamp01((y - L[1]) / (B[1] - L[1]))
                col = mix(LEFT_LIGHT, LEFT_DARK, t)
                if abs(u - 0.5) < st.tape:
                    col = mix(TAPE_LEFT, LEFT_DARK, 0.25 * t)
                over(col)
            else:
                t = clamp01((y - R[1]) / (B[1] - R[1]))
                over(mix(RIGHT_LIGHT, RIGHT_DARK, t))
            # creases between the faces
            e = st.edge / 2.0
            if (seg_dist(x, y, C[0], C[1], L[0], L[1]) < e or
                    seg_dist(x, y, C[0], C[1], R[0], R[1]) < e or
                    seg_dist(x, y, C[0], C[1], B[0], B[1]) < e):
                over(EDGE)


def icon_sample(x, y, st):
    """Colour (r, g, b, a) with a in 0..1 at canvas point (x, y), or None."""
    lay = Layer()
    over = lay.over
    dx, dy = x - LENS_C[0], y - LENS_C[1]
    r = math.sqrt(dx * dx + dy * dy)
    inner = LENS_R - st.ring
    d_handle = seg_dist(x, y, HANDLE_A[0], HANDLE_A[1],
                        HANDLE_B[0], HANDLE_B[1])
    hw = st.handle / 2.0

    if r < inner:
        # seen through the lens the parcel is enlarged
        box_sample(LENS_C[0] + dx / LENS_ZOOM, LENS_C[1] + dy / LENS_ZOOM,
                   st, lay)
    elif r >= LENS_R + st.gap and d_handle >= hw + st.gap:
        # a transparent gap around the magnifier keeps it readable
        box_sample(x, y, st, lay)

    if d_handle < hw and r >= LENS_R - st.ring * 0.5:
        # handle: dark, with a lighter stripe along its upper side
        ax, ay = HANDLE_A
        bx, by = HANDLE_B
        lx, ly = bx - ax, by - ay
        ln = math.sqrt(lx * lx + ly * ly)
        side = ((x - ax) * ly - (y - ay) * lx) / ln
        over(HANDLE_HI if side > hw * 0.3 else HANDLE)
    if r < inner:
        # glass: a pale, half-transparent disc over whatever is behind
        over(GLASS, 0.62 if lay.out is not None else 0.85)
        if st.glint:
            ang = math.atan2(dy, dx)
            if inner * 0.58 < r < inner * 0.80 and -2.80 < ang < -1.70:
                over((255, 255, 255), 0.9)
    elif r < LENS_R:
        # ring with a soft highlight towards the upper left
        t = clamp01(0.5 - 0.5 * (dx + dy) / (r * 1.4142 + 1e-9))
        over(mix(RING, RING_HI, 0.8 * t * t))

    return lay.out


def render_icon(size):
    """Render the icon at size x size; returns rows of (r, g, b, a) bytes."""
    st = IconStyle(size)
    ss = 4 if size >= 96 else 8
    scale = 128.0 / size
    offs = [(i + 0.5) / ss for i in range(ss)]
    n = ss * ss
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            ra = ga = ba = aa = 0.0
            for oy in offs:
                cy = (py + oy) * scale
                for ox in offs:
                    s = icon_sample((px + ox) * scale, cy, st)
                    if s is not None and s[3] > 0.0:
                        a = s[3]
                        ra += s[0] * a
                        ga += s[1] * a
                        ba += s[2] * a
                        aa += a
            if aa > 0.0:
                pix = (int(ra / aa + 0.5), int(ga / aa + 0.5),
                       int(ba / aa + 0.5), int(aa / n * 255.0 + 0.5))
            else:
                pix = (0, 0, 0, 0)
            row.append(pix)
        rows.append(row)
    return rows


# ---------------------------------------------------------------------------
# PNG and ICO encoders
# ---------------------------------------------------------------------------

def _png_chunk(tag, data):
    return (struct.pack(">I", len(data)) + tag + data +
            struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def encode_png(rows):
    """Encode RGBA rows as a colour-type-6 PNG, choosing a filter per row."""
    h = len(rows)
    w = len(rows[0])
    bpp = 4
    raw = []
    prev = bytes(w * bpp)
    for row in rows:
        cur = bytes(v for p in row for v in p)
        best = None
        for ftype in range(5):
            f = bytearray(len(cur))
            for i, x in enumerate(cur):
                a = cur[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                if ftype == 0:
                    pred = 0
                elif ftype == 1:
                    pred = a
                elif ftype == 2:
                    pred = b
                elif ftype == 3:
                    pred = (a + b) >> 1
                else:
                    pred = _paeth(a, b, c)
                f[i] = (x - pred) & 0xFF
            score = sum(v if v < 128 else 256 - v for v in f)
            if best is None or score < best[0]:
                best = (score, ftype, f)
        raw.append(bytes([best[1]]) + bytes(best[2]))
        prev = cur
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + _png_chunk(b"IHDR", ihdr) +
            _png_chunk(b"IDAT", zlib.compress(b"".join(raw), 9)) +
            _png_chunk(b"IEND", b""))


def encode_dib(rows):
    """32-bit BI_RGB icon image: header, bottom-up BGRA, then the AND mask."""
    h = len(rows)
    w = len(rows[0])
    mask_stride = ((w + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x >> 3] |= 0x80 >> (x & 7)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def encode_ico(images):
    """images: list of (size, data bytes).  Returns the .ico file bytes."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for size, data in images:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32,
                           len(data), offset)
        offset += len(data)
        body += data
    return out + body


# ---------------------------------------------------------------------------
# The loading animation
# ---------------------------------------------------------------------------

GIF_W, GIF_H = 220, 19
FRAME_X, FRAME_Y = 6, 3
FRAME_W, FRAME_H = 208, 13
N_FRAMES = 10
DELAY_CS = 6           # hundredths of a second
BG_INDEX = 0
TRANSPARENT_INDEX = 1
TRACK_INDEX = 7

BG = (232, 247, 255)
TRACK = (212, 236, 252)
TRACK_RIM = (146, 194, 232)
# The bar is drawn in three horizontal bands (highlight, body, shade); each
# band fades into the track along its own colour ramp in the palette, so the
# quantised tail stays smooth.
BAR_BANDS = [
    ((2, 4), (118, 186, 244), 7),    # rows 2-3: highlight
    ((4, 9), (58, 142, 226), 10),    # rows 4-8: body
    ((9, 11), (36, 108, 200), 7),    # rows 9-10: shade
]

SEGMENT = 92.0         # length of the moving bar, tail included
TAIL = 60.0            # fading part of it


def gif_palette():
    """Exactly 32 light/mid blue colours: background, transparent key, ramps."""
    pal = [BG, (224, 243, 255)]                  # 0 background, 1 transparent
    for i in range(1, 3):                       # background -> rim blends
        pal.append(mix(BG, TRACK_RIM, i / 3.0))
    pal.append(TRACK_RIM)
    for i in range(1, 3):                       # rim -> track blends
        pal.append(mix(TRACK_RIM, TRACK, i / 3.0))
    assert len(pal) == TRACK_INDEX
    pal.append(TRACK)
    for _rows, col, steps in BAR_BANDS:         # track -> each bar band
        for i in range(1, steps + 1):
            pal.append(mix(TRACK, col, i / float(steps)))
    pal = [tuple(int(round(c)) for c in p) for p in pal]
    assert len(pal) == 32, len(pal)
    assert len(set(pal)) == 32
    return pal


def band_of(row):
    """(first palette index of its ramp, colour, steps) for a bar row."""
    base = TRACK_INDEX + 1
    for (r0, r1), col, steps in BAR_BANDS:
        if r0 <= row < r1:
            return base, col, steps
        base += steps
    raise ValueError(row)


def inner_pixel(px, py):
    """True if the whole pixel lies in the lane the bar moves along."""
    return all(pill_inside(x, y, 2.0, 2.0, FRAME_W - 2.0, FRAME_H - 2.0)
               for x in (px, px + 1.0) for y in (py, py + 1.0))


def pill_inside(x, y, x0, y0, x1, y1):
    """Point inside the capsule spanning the box (x0, y0)-(x1, y1)."""
    r = (y1 - y0) / 2.0
    cy = y0 + r
    if x < x0 + r:
        cx = x0 + r
    elif x > x1 - r:
        cx = x1 - r
    else:
        return y0 <= y <= y1
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def bar_sample(x, y, head):
    """RGB at frame point (x, y) with the bar's head at x=head; None outside."""
    if not pill_inside(x, y, 0.0, 0.0, FRAME_W, FRAME_H):
        return None
    if not pill_inside(x, y, 1.0, 1.0, FRAME_W - 1.0, FRAME_H - 1.0):
        return TRACK_RIM
    col = TRACK
    if pill_inside(x, y, 2.0, 2.0, FRAME_W - 2.0, FRAME_H - 2.0):
        # the bar wraps around the track so some of it is always visible
        for h in (head, head + FRAME_W - 4.0, head - (FRAME_W - 4.0)):
            d = h - x                      # distance behind the head
            if d < 0.0 or d > SEGMENT:
                continue
            # rounded head: a half-disc of radius 4.5 ahead of the body
            if d < 4.5:
                dy = y - FRAME_H / 2.0
                if (4.5 - d) ** 2 + dy * dy > 4.5 * 4.5:
                    continue
            body = band_of(int(y))[1]
            fade = clamp01((SEGMENT - d) / TAIL)
            col = mix(TRACK, body, fade * fade * (3.0 - 2.0 * fade))
            break
    return col


BAYER4 = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def render_frame(k, pal):
    """Indices (bytes) for frame k, quantised to the palette."""
    travel = FRAME_W - 4.0
    head = 2.0 + travel * k / N_FRAMES + SEGMENT * 0.5
    ss = 4
    offs = [(i + 0.5) / ss for i in range(ss)]
    cache = {}
    out = bytearray()
    for py in range(FRAME_H):
        for px in range(FRAME_W):
            acc = [0.0, 0.0, 0.0]
            cov = 0
            for oy in offs:
                for ox in offs:
                    s = bar_sample(px + ox, py + oy, head)
                    if s is None:
                        continue
                    cov += 1
                    acc[0] += s[0]
                    acc[1] += s[1]
                    acc[2] += s[2]
            if cov * 2 < ss * ss:
                out.append(TRANSPARENT_INDEX)
                continue
            # edge pixels are matted against the background colour
            n = ss * ss
            rgb = tuple((acc[i] + BG[i] * (n - cov)) / n for i in range(3))
            if inner_pixel(px, py):
                # inside the bar's lane every colour lies on the row's ramp
                # from the track to the band colour: quantise along it with
                # an ordered dither, so the tail fades smoothly while flat
                # areas stay flat
                base, col, steps = band_of(py)
                v = [col[i] - TRACK[i] for i in range(3)]
                f = (sum((rgb[i] - TRACK[i]) * v[i] for i in range(3)) /
                     float(sum(c * c for c in v)))
                o = (BAYER4[py & 3][px & 3] + 0.5) / 16.0 - 0.5
                q = int(math.floor(clamp01(f) * steps + o + 0.5))
                q = 0 if q < 0 else steps if q > steps else q
                out.append(TRACK_INDEX if q == 0 else base + q - 1)
                continue
            key = tuple(int(round(c)) for c in rgb)
            idx = cache.get(key)
            if idx is None:
                best = None
                for i, p in enumerate(pal):
                    if i == TRANSPARENT_INDEX:
                        continue
                    d = ((p[0] - key[0]) ** 2 * 3 + (p[1] - key[1]) ** 2 * 4 +
                         (p[2] - key[2]) ** 2 * 2)
                    if best is None or d < best[0]:
                        best = (d, i)
                idx = cache[key] = best[1]
            out.append(idx)
    return bytes(out)


def lzw_encode(indices, min_code_size):
    """GIF flavoured variable-width LZW, returned as packed bytes."""
    clear = 1 << min_code_size
    eoi = clear + 1
    out = bytearray()
    acc = 0
    nbits = 0

    def emit(code, width):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    def reset():
        return {(i,): i for i in range(clear)}, eoi + 1, min_code_size + 1

    table, next_code, width = reset()
    emit(clear, width)
    w = ()
    for c in indices:
        wc = w + (c,)
        if wc in table:
            w = wc
            continue
        emit(table[w], width)
        table[wc] = next_code
        next_code += 1
        if next_code > (1 << width) and width < 12:
            width += 1
        if next_code >= 4096:
            emit(clear, width)
            table, next_code, width = reset()
        w = (c,)
    if w:
        emit(table[w], width)
    emit(eoi, width)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def encode_gif(frames, pal):
    out = bytearray(b"GIF89a")
    # logical screen: global table present, 8-bit colour resolution, 32 entries
    out += struct.pack("<HHBBB", GIF_W, GIF_H, 0x80 | (7 << 4) | 4,
                       BG_INDEX, 0)
    for p in pal:
        out += bytes(p)
    # loop forever
    out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01" + struct.pack("<H", 0) + b"\x00"
    for idx in frames:
        # graphic control: disposal 2 (restore to background), transparency
        out += b"\x21\xF9\x04" + struct.pack("<BHB", (2 << 2) | 1, DELAY_CS,
                                             TRANSPARENT_INDEX) + b"\x00"
        out += b"\x2C" + struct.pack("<HHHHB", FRAME_X, FRAME_Y,
                                     FRAME_W, FRAME_H, 0)
        out.append(5)                            # LZW minimum code size
        out += sub_blocks(lzw_encode(idx, 5))
    out.append(0x3B)
    return bytes(out)


# ---------------------------------------------------------------------------

def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (path, len(data)))


def main(argv):
    out_dir = argv[1] if len(argv) > 1 else DEFAULT_OUT
    os.makedirs(out_dir, exist_ok=True)

    icons = {s: render_icon(s) for s in (16, 32, 48, 128)}
    write(os.path.join(out_dir, "icon.png"), encode_png(icons[128]))
    write(os.path.join(out_dir, "icon.ico"),
          encode_ico([(s, encode_dib(icons[s])) for s in (16, 32, 48, 128)]))

    pal = gif_palette()
    frames = [render_frame(k, pal) for k in range(N_FRAMES)]
    write(os.path.join(out_dir, "loading.gif"), encode_gif(frames, pal))


if __name__ == "__main__":
    main(sys.argv)
