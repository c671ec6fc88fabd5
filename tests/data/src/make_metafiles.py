#!/usr/bin/env python3
"""Writes a Windows metafile and an enhanced metafile of the common drawing records, and the
flat-ODF document that shows them (tests/data/src).

LibreOffice then writes the document as RTF and .docx, see ../SOURCES and regen.sh.
Both pictures draw the same: on a 2000 x 1000 unit area, a red rectangle (100,100)-(900,500)
with a black outline, a blue ellipse (1100,100)-(1900,500), a yellow triangle, a green
polyline along the bottom and black text at (700,800).
Run from this folder:  python3 make_metafiles.py
"""
import base64
import struct

from make_fodt import doc


def rec(function, *words, raw=b""):
    body = struct.pack("<%dh" % len(words), *words) + raw
    if len(body) % 2:
        body += b"\0"
    return struct.pack("<IH", 3 + len(body) // 2, function) + body


def colour(r, g, b):
    return struct.pack("<BBBB", r, g, b, 0)


def wmf():
    recs = [
        rec(0x020B, 0, 0),  # SETWINDOWORG y, x
        rec(0x020C, 1000, 2000),  # SETWINDOWEXT y, x
        rec(0x0106, 1),  # SETPOLYFILLMODE alternate
        rec(0x02FA, 0, 20, 0, raw=colour(0, 0, 0)),  # CREATEPENINDIRECT solid, width 20 -> 0
        rec(0x02FC, 0, raw=colour(255, 0, 0) + struct.pack("<h", 0)),  # CREATEBRUSH red -> 1
        rec(0x012D, 0),
        rec(0x012D, 1),
        rec(0x041B, 500, 900, 100, 100),  # RECTANGLE bottom, right, top, left
        rec(0x02FC, 0, raw=colour(0, 0, 255) + struct.pack("<h", 0)),  # blue -> 2
        rec(0x012D, 2),
        rec(0x02FA, 5, 0, 0, raw=colour(0, 0, 0)),  # null pen -> 3
        rec(0x012D, 3),
        rec(0x0418, 500, 1900, 100, 1100),  # ELLIPSE
        rec(0x02FC, 0, raw=colour(255, 255, 0) + struct.pack("<h", 0)),  # yellow -> 4
        rec(0x012D, 4),
        rec(0x0324, 3, 950, 150, 1050, 450, 850, 450),  # POLYGON
        rec(0x02FA, 0, 40, 0, raw=colour(0, 160, 0)),  # green pen -> 5
        rec(0x012D, 5),
        rec(0x0325, 4, 100, 950, 600, 650, 1100, 950, 1900, 650),  # POLYLINE
        rec(0x02FB, -200, 0, 0, 0, 400,
            raw=bytes([0, 0, 0, 0, 0, 0, 0, 0]) + b"DejaVu Sans".ljust(32, b"\0")),  # font -> 6
        rec(0x012D, 6),
        rec(0x0209, raw=colour(0, 0, 0)),  # SETTEXTCOLOR
        rec(0x012E, 24),  # SETTEXTALIGN baseline
        rec(0x0521, 8, raw=b"WMF text" + struct.pack("<hh", 800, 700)),  # TEXTOUT y, x
        rec(0x0000),
    ]
    body = b"".join(recs)
    largest = max(struct.unpack_from("<I", r)[0] for r in recs)
    header = struct.pack("<HHHIHIH", 1, 9, 0x300, (18 + len(body)) // 2, 7, largest, 0)
    placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 2000, 1000, 1440, 0)
    check = 0
    for (w,) in struct.iter_unpack("<H", placeable[:20]):
        check ^= w
    return placeable[:20] + struct.pack("<H", check) + header + body


def erec(kind, payload):
    return struct.pack("<II", kind, 8 + len(payload)) + payload


def emf():
    def ints(*v):
        return struct.pack("<%di" % len(v), *v)

    def rectl(l, t, r, b):
        return ints(l, t, r, b)

    def logbrush(ih, rgb):
        return erec(39, ints(ih, 0) + colour(*rgb) + ints(0))

    text = "EMF text".encode("utf-16-le")
    font = ints(-200, 0, 0, 0, 400) + bytes(8) + "DejaVu Sans".encode("utf-16-le").ljust(64, b"\0")
    # EXTTEXTOUTW: bounds, mode, scales, then reference, count, offset, options, rect, offDx.
    text_off = 8 + 16 + 12 + 8 + 4 + 4 + 4 + 16 + 4
    exttext = erec(84, rectl(0, 0, -1, -1) + ints(1) + struct.pack("<ff", 1, 1)
                   + ints(700, 800, len("EMF text"), text_off, 0) + rectl(0, 0, -1, -1)
                   + ints(0) + text + bytes(-len(text) % 4))
    tri = [(950, 150), (1050, 450), (850, 450)]
    line = [(100, 950), (600, 650), (1100, 950), (1900, 650)]
    poly16 = lambda kind, pts: erec(kind, rectl(0, 0, 2000, 1000) + ints(len(pts))
                                    + b"".join(struct.pack("<hh", *p) for p in pts))
    recs = [
        erec(17, ints(8)),  # SETMAPMODE anisotropic
        erec(9, ints(2000, 1000)),  # SETWINDOWEXTEX
        erec(11, ints(200, 100)),  # SETVIEWPORTEXTEX: device pixels
        erec(38, ints(1, 0, 2, 0) + colour(0, 0, 0)),  # CREATEPEN 1: solid black, width 2
        logbrush(2, (255, 0, 0)),
        erec(37, ints(1)), erec(37, ints(2)),
        erec(43, rectl(100, 100, 900, 500)),  # RECTANGLE
        logbrush(3, (0, 0, 255)),
        erec(37, ints(3)), erec(37, struct.pack("<I", 0x80000008)),  # null pen
        erec(42, rectl(1100, 100, 1900, 500)),  # ELLIPSE
        logbrush(4, (255, 255, 0)),
        erec(37, ints(4)),
        poly16(86, tri),  # POLYGON16
        erec(38, ints(5, 0, 4, 0) + colour(0, 160, 0)),
        erec(37, ints(5)),
        poly16(87, line),  # POLYLINE16
        erec(82, ints(6) + font),  # EXTCREATEFONTINDIRECTW
        erec(37, ints(6)),
        erec(24, colour(0, 0, 0)),  # SETTEXTCOLOR
        erec(22, ints(24)),  # SETTEXTALIGN baseline
        exttext,
    ]
    eof = erec(14, ints(0, 16, 20))
    body = b"".join(recs) + eof
    # Header: bounds (device pixels), frame (0.01 mm), " EMF", version, size, records,
    # handles, reserved, description, palette, device pixels and millimetres.
    header_len = 88
    size = header_len + len(body)
    header = erec(1, rectl(0, 0, 199, 99) + rectl(0, 0, 5292, 2646) + struct.pack("<I", 0x464D4520)
                  + ints(0x10000, size, len(recs) + 2) + struct.pack("<HH", 7, 0)
                  + ints(0, 0, 0) + ints(1024, 768, 271, 203))
    assert len(header) == header_len
    return header + body


def frame(name, b64, w, h):
    return (f'<draw:frame draw:name="{name}" text:anchor-type="as-char" svg:width="{w}" '
            f'svg:height="{h}" draw:z-index="0"><draw:image><office:binary-data>{b64}'
            f'</office:binary-data></draw:image></draw:frame>')


if __name__ == "__main__":
    w, e = wmf(), emf()
    open("drawing-records.wmf", "wb").write(w)
    open("drawing-records.emf", "wb").write(e)
    body = (
        '<text:p text:style-name="Standard">Metafiles: a WMF and an EMF drawing.</text:p>\n'
        f'<text:p text:style-name="Standard">{frame("wmf", base64.b64encode(w).decode(), "8cm", "4cm")}</text:p>\n'
        f'<text:p text:style-name="Standard">{frame("emf", base64.b64encode(e).decode(), "8cm", "4cm")}</text:p>\n'
        '<text:p text:style-name="Standard">After the drawings.</text:p>\n')
    open("lo-metafiles.fodt", "w", encoding="utf-8").write(doc(body))
    print("wrote drawing-records.wmf drawing-records.emf lo-metafiles.fodt")
