#!/usr/bin/env python3
"""Parse the generated resources and assert their expected properties.

Usage: python3 resources/art/check_art.py [resources-dir]

Checks icon.png, icon.ico and loading.gif with independent decoders
(PNG unfiltering, ICO/DIB parsing, GIF LZW decoding) and verifies that
make_art.py regenerates byte-identical files.
"""

import os
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


# --- PNG --------------------------------------------------------------------

def read_png(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "PNG signature"
    pos, chunks = 8, []
    while pos < len(data):
        n, = struct.unpack(">I", data[pos:pos + 4])
        tag = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + n]
        crc, = struct.unpack(">I", data[pos + 8 + n:pos + 12 + n])
        assert zlib.crc32(tag + body) & 0xFFFFFFFF == crc, "CRC of %r" % tag
        chunks.append((tag, body))
        pos += 12 + n
    assert chunks[0][0] == b"IHDR" and chunks[-1][0] == b"IEND"
    w, h, depth, ctype, comp, filt, lace = struct.unpack(">IIBBBBB",
                                                         chunks[0][1])
    assert (depth, ctype, comp, filt, lace) == (8, 6, 0, 0, 0), \
        "want 8-bit RGBA (colour type 6), got depth %d type %d" % (depth, ctype)
    raw = zlib.decompress(b"".join(b for t, b in chunks if t == b"IDAT"))
    stride = w * 4
    assert len(raw) == h * (stride + 1)
    rows, prev = [], bytearray(stride)
    for y in range(h):
        ft = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if ft == 1:
                line[i] = (line[i] + a) & 0xFF
            elif ft == 2:
                line[i] = (line[i] + b) & 0xFF
            elif ft == 3:
                line[i] = (line[i] + ((a + b) >> 1)) & 0xFF
            elif ft == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pr = a if pa <= pb and pa <= pc else b if pb <= pc else c
                line[i] = (line[i] + pr) & 0xFF
            else:
                assert ft == 0, "filter type %d" % ft
        rows.append([tuple(line[x * 4:x * 4 + 4]) for x in range(w)])
        prev = line
    return w, h, rows


def check_icon_pixels(rows, label):
    n = len(rows)
    # (the magnifier handle may reach into the bottom right corner)
    corners = [rows[0][0], rows[0][n - 1], rows[n - 1][0]]
    assert all(p[3] == 0 for p in corners), label + ": corners not transparent"
    solid = [p for row in rows for p in row if p[3] >= 128]
    clear = sum(1 for row in rows for p in row if p[3] == 0)
    partial = sum(1 for row in rows for p in row if 0 < p[3] < 255)
    assert len(solid) > 0.45 * n * n, label + ": too little opaque area"
    assert clear > 0.2 * n * n, label + ": no transparent surround"
    assert partial > 2 * n, label + ": edges are not antialiased"
    # orange/brown: red dominant, then green, then blue, for most pixels
    warm = sum(1 for r, g, b, a in solid if r > g > b and r - b > 60)
    assert warm > 0.7 * len(solid), label + ": not mostly orange/brown"
    return "%d%% covered, %d%% clear, %d antialiased edge px, %d%% warm" % (
        100 * len(solid) // (n * n), 100 * clear // (n * n), partial,
        100 * warm // len(solid))


# --- ICO --------------------------------------------------------------------

def read_ico(data):
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    assert (reserved, kind) == (0, 1), "ICO header"
    entries = {}
    for i in range(count):
        w, h, ncol, res, planes, bpp, size, off = struct.unpack(
            "<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
        w, h = w or 256, h or 256
        assert w == h and ncol == 0 and res == 0
        assert planes in (0, 1) and bpp == 32, "entry %d: %d bpp" % (w, bpp)
        assert off + size <= len(data), "entry %d out of bounds" % w
        blob = data[off:off + size]
        if blob[:8] == b"\x89PNG\r\n\x1a\n":
            pw, ph, rows = read_png(blob)
            assert (pw, ph) == (w, h)
        else:
            hs, bw, bh, bplanes, bbpp, compr = struct.unpack(
                "<IiiHHI", blob[:20])
            assert (hs, bw, bh, bplanes, bbpp, compr) == (40, w, 2 * h, 1,
                                                          32, 0), "DIB header"
            mstride = ((w + 31) // 32) * 4
            assert size == 40 + w * h * 4 + mstride * h, "DIB size"
            rows = []
            for y in range(h):
                src = 40 + (h - 1 - y) * w * 4
                mrow = 40 + w * h * 4 + (h - 1 - y) * mstride
                row = []
                for x in range(w):
                    b, g, r, a = blob[src + 4 * x:src + 4 * x + 4]
                    masked = blob[mrow + (x >> 3)] >> (7 - (x & 7)) & 1
                    assert masked == (a == 0), "AND mask disagrees at %d" % w
                    row.append((r, g, b, a))
                rows.append(row)
        entries[w] = rows
    return entries


# --- GIF --------------------------------------------------------------------

def lzw_decode(data, min_size, npix):
    clear, eoi = 1 << min_size, (1 << min_size) + 1
    width, pos, acc, nbits = min_size + 1, 0, 0, 0
    table, prev, out = None, None, []
    while True:
        while nbits < width:
            assert pos < len(data), "LZW data ran out"
            acc |= data[pos] << nbits
            pos += 1
            nbits += 8
        code = acc & ((1 << width) - 1)
        acc >>= width
        nbits -= width
        if code == clear:
            table = [[i] for i in range(clear)] + [None, None]
            width, prev = min_size + 1, None
            continue
        if code == eoi:
            break
        assert table is not None, "stream must start with a clear code"
        if prev is None:
            entry = table[code]
        else:
            if code < len(table):
                entry = table[code]
            else:
                assert code == len(table), "bad LZW code"
                entry = prev + prev[:1]
            if len(table) < 4096:
                table.append(prev + entry[:1])
                if len(table) == (1 << width) and width < 12:
                    width += 1
        out.extend(entry)
        prev = entry
    assert len(out) == npix, "decoded %d pixels, want %d" % (len(out), npix)
    return out


def read_sub_blocks(data, pos):
    out = bytearray()
    while data[pos]:
        out += data[pos + 1:pos + 1 + data[pos]]
        pos += 1 + data[pos]
    return bytes(out), pos + 1


def read_gif(data):
    assert data[:6] == b"GIF89a", "GIF89a header"
    sw, sh, packed, bg, _aspect = struct.unpack("<HHBBB", data[6:13])
    assert packed & 0x80, "global colour table"
    ncol = 2 << (packed & 7)
    pal = [tuple(data[13 + 3 * i:16 + 3 * i]) for i in range(ncol)]
    pos = 13 + 3 * ncol
    info = {"screen": (sw, sh), "palette": pal, "bg": bg, "loop": None,
            "frames": []}
    gce = None
    while True:
        b = data[pos]
        if b == 0x3B:
            break
        if b == 0x21:
            label = data[pos + 1]
            body, pos = read_sub_blocks(data, pos + 2)
            if label == 0xFF and body[:11] == b"NETSCAPE2.0":
                assert body[11] == 1
                info["loop"], = struct.unpack("<H", body[12:14])
            elif label == 0xF9:
                p, delay, tidx = struct.unpack("<BHB", body[:4])
                gce = {"disposal": (p >> 2) & 7, "transparent": p & 1,
                       "delay": delay, "tindex": tidx}
        elif b == 0x2C:
            x, y, w, h, p = struct.unpack("<HHHHB", data[pos + 1:pos + 10])
            assert not p & 0x80, "unexpected local colour table"
            assert not p & 0x40, "unexpected interlace"
            min_size = data[pos + 10]
            assert 2 <= min_size <= 8, "LZW minimum code size"
            lzw, pos = read_sub_blocks(data, pos + 11)
            pix = lzw_decode(lzw, min_size, w * h)
            info["frames"].append({"rect": (x, y, w, h), "gce": gce,
                                   "pixels": pix})
            gce = None
        else:
            raise AssertionError("unknown GIF block 0x%02x" % b)
    return info



# --- the checks ---------------------------------------------------------------

def main(argv):
    res = argv[1] if len(argv) > 1 else os.path.dirname(HERE)

    def load(name):
        with open(os.path.join(res, name), "rb") as f:
            return f.read()

    png = load("icon.png")
    w, h, icon = read_png(png)
    assert (w, h) == (128, 128), "icon.png is %dx%d" % (w, h)
    print("icon.png: 128x128 RGBA (colour type 6), %d bytes; %s"
          % (len(png), check_icon_pixels(icon, "icon.png")))

    ico = load("icon.ico")
    entries = read_ico(ico)
    assert sorted(entries) == [16, 32, 48, 128], sorted(entries)
    assert entries[128] == icon, "ICO 128 entry differs from icon.png"
    for s in (16, 32, 48):
        check_icon_pixels(entries[s], "icon.ico %d" % s)
    print("icon.ico: entries 16, 32, 48, 128 at 32 bpp, %d bytes; "
          "masks consistent, 128 entry equals icon.png" % len(ico))

    gif = load("loading.gif")
    g = read_gif(gif)
    pal = g["palette"]
    assert g["screen"] == (220, 19), g["screen"]
    assert len(pal) == 32, "palette has %d colours" % len(pal)
    assert pal[g["bg"]] == (232, 247, 255), "background colour"
    assert all(b >= r and b >= g_ and b >= 180 for r, g_, b in pal), \
        "palette is not all blue tones"
    assert g["loop"] == 0, "loop count %r" % g["loop"]
    frames = g["frames"]
    assert len(frames) == 10, "%d frames" % len(frames)
    tidx = frames[0]["gce"]["tindex"]
    heads = []
    for i, f in enumerate(frames):
        c = f["gce"]
        assert c is not None, "frame %d lacks a graphic control block" % i
        assert f["rect"] == (6, 3, 208, 13), "frame %d at %r" % (i, f["rect"])
        assert c["delay"] == 6, "frame %d delay %d" % (i, c["delay"])
        assert c["disposal"] == 2, "frame %d disposal %d" % (i, c["disposal"])
        assert c["transparent"] == 1 and c["tindex"] == tidx, \
            "frame %d transparency" % i
        px = f["pixels"]
        assert max(px) < 32
        assert px[0] == tidx and px[207] == tidx, "rounded corners transparent"
        assert px[6 * 208 + 104] != tidx, "track centre is opaque"
        # where is the bar's head?  the darkest run on the middle row
        mid = px[6 * 208:7 * 208]
        lum = [sum(pal[k]) if k != tidx else 999 for k in mid]
        dark = min(lum)
        assert dark < 500, "frame %d shows no bar" % i
        # the lane is x = 2..205; the bar wraps from its right end to its left
        lane = list(range(2, 206))
        # the head is where the dark bar drops straight to the bare track
        track = max(set(mid[2:206]), key=mid.count)
        ends = [x for j, x in enumerate(lane) if lum[x] <= dark + 30 and
                mid[lane[(j + 2) % len(lane)]] == track]
        ends = [x for x in ends if x + 1 not in ends]
        assert len(ends) == 1, "frame %d: bar head ambiguous %r" % (i, ends)
        heads.append(ends[0])
    steps = [(heads[(i + 1) % 10] - heads[i]) % 204 for i in range(10)]
    assert all(10 <= s <= 40 for s in steps), \
        "bar does not move steadily rightwards: heads %r" % heads
    assert len(set(tuple(f["pixels"]) for f in frames)) == 10
    print("loading.gif: GIF89a 220x19, %d colours, bg %r at index %d, "
          "transparent index %d, loop forever, %d bytes"
          % (len(pal), pal[g["bg"]], g["bg"], tidx, len(gif)))
    print("  10 frames 208x13 at (6,3), 60 ms, disposal 2; bar head x = %s"
          % " ".join(str(x) for x in heads))

    # the generator must reproduce the committed files exactly
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run([sys.executable, os.path.join(HERE, "make_art.py"),
                        tmp], check=True, stdout=subprocess.DEVNULL)
        for name, data in (("icon.png", png), ("icon.ico", ico),
                           ("loading.gif", gif)):
            with open(os.path.join(tmp, name), "rb") as f:
                assert f.read() == data, name + " is not reproducible"
    print("make_art.py reproduces all three files byte for byte")
    print("OK")


if __name__ == "__main__":
    main(sys.argv)
