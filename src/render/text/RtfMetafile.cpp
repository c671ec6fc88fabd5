#include "RtfMetafile.h"

#include "MetafileCanvas.h"
#include "RtfPicture.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QStringDecoder>
#include <QTransform>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

using namespace MetafileDrawing;

// ------------------------------------------------------------------ WMF

void wmfRecord(Canvas& canvas, const Bytes& r, quint16 function)
{
    DrawState& s = canvas.state();
    // Parameters start after the size (4) and the function (2).
    const auto p16 = [&](int i) { return r.i16(6 + 2 * i); };
    const auto points = [&](qsizetype at, qsizetype count) {
        QPolygonF polygon;
        if (count <= 0 || !r.has(at, count * 4))
            return polygon;
        polygon.reserve(count);
        for (qsizetype i = 0; i < count; ++i)
            polygon << QPointF(r.i16(at + 4 * i), r.i16(at + 4 * i + 2));
        return polygon;
    };
    const auto box = [&](int i) { // bottom, right, top, left
        return QRectF(QPointF(p16(i + 3), p16(i + 2)), QPointF(p16(i + 1), p16(i))).normalized();
    };
    switch (function) {
    case 0x020B: // SETWINDOWORG
        s.windowOrg = QPointF(p16(1), p16(0));
        break;
    case 0x020C: // SETWINDOWEXT
        s.windowExt = QSizeF(p16(1), p16(0));
        break;
    case 0x0209: // SETTEXTCOLOR
        s.textColor = colorRef(r.u32(6));
        break;
    case 0x0201: // SETBKCOLOR
        s.backColor = colorRef(r.u32(6));
        break;
    case 0x0102: // SETBKMODE
        s.opaqueBack = r.u16(6) == 2;
        break;
    case 0x012E: // SETTEXTALIGN
        s.textAlign = r.u16(6);
        break;
    case 0x0106: // SETPOLYFILLMODE
        s.fill = r.u16(6) == 2 ? Qt::WindingFill : Qt::OddEvenFill;
        break;
    case 0x001E: // SAVEDC
        canvas.saveState();
        break;
    case 0x0127: // RESTOREDC
        canvas.restoreState(p16(0));
        break;
    case 0x02FA: { // CREATEPENINDIRECT
        Object o;
        o.kind = Object::Kind::Pen;
        o.pen = penFrom(r.u16(6), p16(1), colorRef(r.u32(12)));
        canvas.store(o);
        break;
    }
    case 0x02FC: { // CREATEBRUSHINDIRECT
        Object o;
        o.kind = Object::Kind::Brush;
        o.brush = brushFrom(r.u16(6), colorRef(r.u32(8)));
        canvas.store(o);
        break;
    }
    case 0x02FB: { // CREATEFONTINDIRECT
        Object o;
        o.kind = Object::Kind::Font;
        o.fontHeight = p16(0);
        o.charset = r.u8(6 + 13);
        QByteArray face;
        for (int i = 0; i < 32 && r.u8(6 + 18 + i) != 0; ++i)
            face.append(char(r.u8(6 + 18 + i)));
        o.font = fontFrom(p16(4), r.u8(6 + 10) != 0, r.u8(6 + 11) != 0, r.u8(6 + 12) != 0,
                          decode8Bit(face, o.charset));
        canvas.store(o);
        break;
    }
    case 0x00F7:   // CREATEPALETTE
    case 0x01F9:   // CREATEPATTERNBRUSH
    case 0x06FF:   // CREATEREGION
    case 0x0142: { // DIBCREATEPATTERNBRUSH
        Object o;
        o.kind = function == 0x0142 ? Object::Kind::Brush : Object::Kind::Other;
        o.brush = QBrush(QColor(128, 128, 128));
        canvas.store(o);
        break;
    }
    case 0x012D: // SELECTOBJECT
        canvas.select(r.u16(6));
        break;
    case 0x01F0: // DELETEOBJECT
        canvas.remove(r.u16(6));
        break;
    case 0x0214: // MOVETO
        s.position = QPointF(p16(1), p16(0));
        break;
    case 0x0213: { // LINETO
        const QPointF to(p16(1), p16(0));
        canvas.polygon(QPolygonF({s.position, to}), false);
        s.position = to;
        break;
    }
    case 0x0324: // POLYGON
    case 0x0325: // POLYLINE
        canvas.polygon(points(8, r.u16(6)), function == 0x0324);
        break;
    case 0x0538: { // POLYPOLYGON
        const int polygons = r.u16(6);
        QPainterPath path;
        path.setFillRule(s.fill);
        qsizetype at = 8 + 2 * qsizetype(polygons);
        for (int i = 0; i < polygons && r.has(8 + 2 * i, 2); ++i) {
            const int count = r.u16(8 + 2 * i);
            const QPolygonF polygon = points(at, count);
            if (polygon.isEmpty())
                break;
            path.addPolygon(polygon);
            path.closeSubpath();
            at += 4 * qsizetype(count);
        }
        canvas.draw(path, true, true);
        break;
    }
    case 0x041B:   // RECTANGLE
    case 0x0418:   // ELLIPSE
    case 0x061C: { // ROUNDRECT
        QPainterPath path;
        if (function == 0x041B)
            path.addRect(box(0));
        else if (function == 0x0418)
            path.addEllipse(box(0));
        else
            path.addRoundedRect(box(2), std::abs(p16(1)) / 2.0, std::abs(p16(0)) / 2.0);
        canvas.draw(path, true, true);
        break;
    }
    case 0x0817:   // ARC: end y x, start y x, bottom, right, top, left
    case 0x0830:   // CHORD
    case 0x081A: { // PIE
        const int kind = function == 0x0817 ? 0 : function == 0x0830 ? 1 : 2;
        const QRectF bounds = box(4);
        canvas.draw(arcPath(bounds, QPointF(p16(3), p16(2)), QPointF(p16(1), p16(0)), kind),
                    kind != 0, true);
        break;
    }
    case 0x0521: { // TEXTOUT
        const int length = std::max<int>(0, p16(0));
        const qsizetype padded = (length + 1) / 2 * 2;
        if (!r.has(8, padded + 4))
            break;
        const QString text = decode8Bit(r.d.sliced(8, length), s.charset);
        canvas.text(QPointF(r.i16(8 + padded + 2), r.i16(8 + padded)), text);
        break;
    }
    case 0x0A32: { // EXTTEXTOUT
        const int length = std::max<int>(0, p16(2));
        const quint16 options = r.u16(12);
        const qsizetype at = 14 + ((options & 6) ? 8 : 0);
        if (!r.has(at, length))
            break;
        canvas.text(QPointF(p16(1), p16(0)), decode8Bit(r.d.sliced(at, length), s.charset));
        break;
    }
    case 0x0F43: // STRETCHDIB: rop, usage, source h w y x, destination h w y x
        if (r.has(28, 40))
            canvas.bitmap(QRectF(p16(10), p16(9), p16(8), p16(7)), r.d.sliced(28));
        break;
    case 0x0B41: // DIBSTRETCHBLT: rop, source h w y x, destination h w y x
        if (r.has(26, 40))
            canvas.bitmap(QRectF(p16(9), p16(8), p16(7), p16(6)), r.d.sliced(26));
        break;
    case 0x0940: // DIBBITBLT: rop, source y x, height, width, destination y x
        if (r.has(22, 40))
            canvas.bitmap(QRectF(p16(7), p16(6), p16(5), p16(4)), r.d.sliced(22));
        break;
    case 0x0D33: // SETDIBTODEV: usage, scans, start, source y x, height, width, destination y x
        if (r.has(24, 40))
            canvas.bitmap(QRectF(p16(8), p16(7), p16(6), p16(5)), r.d.sliced(24));
        break;
    default:
        break;
    }
}

// ------------------------------------------------------------------ EMF

QPolygonF emfPoints(const Bytes& r, qsizetype at, qsizetype count, bool small)
{
    QPolygonF polygon;
    const qsizetype step = small ? 4 : 8;
    if (count <= 0 || count > r.d.size() / step || !r.has(at, count * step))
        return polygon;
    polygon.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype p = at + i * step;
        polygon << (small ? QPointF(r.i16(p), r.i16(p + 2)) : QPointF(r.i32(p), r.i32(p + 4)));
    }
    return polygon;
}

struct EmfPath
{
    bool open = false;
    QPainterPath path;
};

void emfRecord(Canvas& canvas, const Bytes& r, quint32 type, EmfPath& figure)
{
    DrawState& s = canvas.state();
    const auto pointAt = [&](qsizetype at) { return QPointF(r.i32(at), r.i32(at + 4)); };
    const auto rectAt = [&](qsizetype at) {
        return QRectF(pointAt(at), pointAt(at + 8)).normalized();
    };
    // Outside a path, shapes are drawn; inside one, they add to it.
    const auto shape = [&](const QPainterPath& path, bool fill) {
        if (figure.open)
            figure.path.addPath(path);
        else
            canvas.draw(path, fill, true);
    };
    switch (type) {
    case 9: // SETWINDOWEXTEX
        s.windowExt = QSizeF(r.i32(8), r.i32(12));
        break;
    case 10: // SETWINDOWORGEX
        s.windowOrg = pointAt(8);
        break;
    case 11: // SETVIEWPORTEXTEX
        s.viewportExt = QSizeF(r.i32(8), r.i32(12));
        break;
    case 12: // SETVIEWPORTORGEX
        s.viewportOrg = pointAt(8);
        break;
    case 17: // SETMAPMODE: text, anisotropic and isotropic keep the extents as given
        s.mapMode = r.i32(8);
        break;
    case 18: // SETBKMODE
        s.opaqueBack = r.u32(8) == 2;
        break;
    case 19: // SETPOLYFILLMODE
        s.fill = r.u32(8) == 2 ? Qt::WindingFill : Qt::OddEvenFill;
        break;
    case 22: // SETTEXTALIGN
        s.textAlign = r.u32(8);
        break;
    case 24: // SETTEXTCOLOR
        s.textColor = colorRef(r.u32(8));
        break;
    case 25: // SETBKCOLOR
        s.backColor = colorRef(r.u32(8));
        break;
    case 27: // MOVETOEX
        s.position = pointAt(8);
        if (figure.open)
            figure.path.moveTo(s.position);
        break;
    case 54: { // LINETO
        const QPointF to = pointAt(8);
        if (figure.open) {
            figure.path.lineTo(to);
        } else {
            QPainterPath path(s.position);
            path.lineTo(to);
            canvas.draw(path, false, true);
        }
        s.position = to;
        break;
    }
    case 33: // SAVEDC
        canvas.saveState();
        break;
    case 34: // RESTOREDC
        canvas.restoreState(r.i32(8));
        break;
    case 35: { // SETWORLDTRANSFORM
        s.world = QTransform(r.f32(8), r.f32(12), r.f32(16), r.f32(20), r.f32(24), r.f32(28));
        break;
    }
    case 36: { // MODIFYWORLDTRANSFORM
        const QTransform t(r.f32(8), r.f32(12), r.f32(16), r.f32(20), r.f32(24), r.f32(28));
        const quint32 mode = r.u32(32);
        if (mode == 1)
            s.world = QTransform();
        else if (mode == 2)
            s.world = t * s.world;
        else if (mode == 3)
            s.world = s.world * t;
        else if (mode == 4)
            s.world = t;
        break;
    }
    case 38: { // CREATEPEN
        Object o;
        o.kind = Object::Kind::Pen;
        o.pen = penFrom(r.u32(12), r.i32(16), colorRef(r.u32(24)));
        canvas.store(o, r.u32(8));
        break;
    }
    case 95: { // EXTCREATEPEN
        Object o;
        o.kind = Object::Kind::Pen;
        o.pen = penFrom(r.u32(28), r.u32(32), colorRef(r.u32(40)));
        canvas.store(o, r.u32(8));
        break;
    }
    case 39: { // CREATEBRUSHINDIRECT
        Object o;
        o.kind = Object::Kind::Brush;
        o.brush = brushFrom(r.u32(12), colorRef(r.u32(16)));
        canvas.store(o, r.u32(8));
        break;
    }
    case 93:   // CREATEMONOBRUSH
    case 94: { // CREATEDIBPATTERNBRUSHPT
        Object o;
        o.kind = Object::Kind::Brush;
        o.brush = QBrush(QColor(128, 128, 128));
        canvas.store(o, r.u32(8));
        break;
    }
    case 82: { // EXTCREATEFONTINDIRECTW
        Object o;
        o.kind = Object::Kind::Font;
        o.fontHeight = r.i32(12);
        o.charset = r.u8(12 + 23);
        QString face;
        for (int i = 0; i < 32; ++i) {
            const quint16 c = r.u16(12 + 28 + 2 * i);
            if (c == 0)
                break;
            face += QChar(c);
        }
        o.font = fontFrom(r.i32(12 + 16), r.u8(12 + 20) != 0, r.u8(12 + 21) != 0,
                          r.u8(12 + 22) != 0, face);
        canvas.store(o, r.u32(8));
        break;
    }
    case 48: // SELECTPALETTE
        break;
    case 49: { // CREATEPALETTE
        Object o;
        o.kind = Object::Kind::Other;
        canvas.store(o, r.u32(8));
        break;
    }
    case 37: // SELECTOBJECT
        canvas.select(r.u32(8));
        break;
    case 40: // DELETEOBJECT
        canvas.remove(r.u32(8));
        break;
    case 2:    // POLYBEZIER
    case 3:    // POLYGON
    case 4:    // POLYLINE
    case 5:    // POLYBEZIERTO
    case 6:    // POLYLINETO
    case 85:   // POLYBEZIER16
    case 86:   // POLYGON16
    case 87:   // POLYLINE16
    case 88:   // POLYBEZIERTO16
    case 89: { // POLYLINETO16
        const bool small = type >= 85;
        const quint32 kind = small ? type - 83 : type; // as the 32-bit numbers
        const QPolygonF points = emfPoints(r, 28, r.u32(24), small);
        if (points.isEmpty())
            break;
        QPainterPath path;
        path.setFillRule(s.fill);
        const bool continues = kind == 5 || kind == 6;
        path.moveTo(continues ? s.position : points.front());
        const qsizetype first = continues ? 0 : 1;
        if (kind == 2 || kind == 5) {
            for (qsizetype i = first; i + 2 < points.size(); i += 3)
                path.cubicTo(points[i], points[i + 1], points[i + 2]);
        } else {
            for (qsizetype i = first; i < points.size(); ++i)
                path.lineTo(points[i]);
        }
        if (kind == 3)
            path.closeSubpath();
        if (continues)
            s.position = points.back();
        if (figure.open && continues)
            figure.path.connectPath(path);
        else
            shape(path, kind == 3);
        break;
    }
    case 7:    // POLYPOLYLINE
    case 8:    // POLYPOLYGON
    case 90:   // POLYPOLYLINE16
    case 91: { // POLYPOLYGON16
        const bool small = type >= 90;
        const bool closed = type == 8 || type == 91;
        const quint32 polygons = r.u32(24);
        if (polygons == 0 || polygons > quint32(r.d.size() / 4))
            break;
        qsizetype at = 32 + 4 * qsizetype(polygons);
        QPainterPath path;
        path.setFillRule(s.fill);
        for (quint32 i = 0; i < polygons; ++i) {
            const quint32 count = r.u32(32 + 4 * qsizetype(i));
            const QPolygonF points = emfPoints(r, at, count, small);
            if (points.isEmpty())
                break;
            path.addPolygon(points);
            if (closed)
                path.closeSubpath();
            at += qsizetype(count) * (small ? 4 : 8);
        }
        shape(path, closed);
        break;
    }
    case 42:   // ELLIPSE
    case 43:   // RECTANGLE
    case 44: { // ROUNDRECT
        QPainterPath path;
        const QRectF box = rectAt(8);
        if (type == 42)
            path.addEllipse(box);
        else if (type == 43)
            path.addRect(box);
        else
            path.addRoundedRect(box, std::abs(r.i32(24)) / 2.0, std::abs(r.i32(28)) / 2.0);
        shape(path, true);
        break;
    }
    case 59: // BEGINPATH
        figure.open = true;
        figure.path = QPainterPath();
        figure.path.setFillRule(s.fill);
        figure.path.moveTo(s.position);
        break;
    case 60: // ENDPATH
        figure.open = false;
        break;
    case 61: // CLOSEFIGURE
        if (figure.open)
            figure.path.closeSubpath();
        break;
    case 62:   // FILLPATH
    case 63:   // STROKEANDFILLPATH
    case 64: { // STROKEPATH
        figure.open = false;
        QPainterPath path = figure.path;
        path.setFillRule(s.fill);
        if (type == 62) {
            const QPen pen = s.pen;
            s.pen = Qt::NoPen;
            canvas.draw(path, true, false);
            s.pen = pen;
        } else {
            canvas.draw(path, type == 63, true);
        }
        figure.path = QPainterPath();
        break;
    }
    case 83:   // EXTTEXTOUTA
    case 84: { // EXTTEXTOUTW: bounds, mode, scales, then the text: reference, count, offset
        const QPointF at = pointAt(36);
        const quint32 count = r.u32(44);
        const quint32 offset = r.u32(48);
        const qsizetype width = type == 84 ? 2 : 1;
        if (count == 0 || count > 0x10000 || !r.has(offset, qsizetype(count) * width))
            break;
        if (type == 83) {
            canvas.text(at, decode8Bit(r.d.sliced(offset, count), s.charset));
            break;
        }
        QString text(qsizetype(count), Qt::Uninitialized);
        for (quint32 i = 0; i < count; ++i)
            text[i] = QChar(r.u16(offset + 2 * qsizetype(i)));
        canvas.text(at, text);
        break;
    }
    case 45:   // ARC: box, start, end
    case 46:   // CHORD
    case 47: { // PIE
        const int kind = type == 45 ? 0 : type == 46 ? 1 : 2;
        shape(arcPath(rectAt(8), pointAt(24), pointAt(32), kind), kind != 0);
        break;
    }
    case 81:   // STRETCHDIBITS
    case 80:   // SETDIBITSTODEVICE
    case 76:   // BITBLT
    case 77: { // STRETCHBLT
        QRectF to;
        qsizetype fields = 48;
        if (type == 81) {
            to = QRectF(r.i32(24), r.i32(28), r.i32(72), r.i32(76));
        } else if (type == 80) {
            to = QRectF(r.i32(24), r.i32(28), r.i32(40), r.i32(44));
        } else {
            to = QRectF(r.i32(24), r.i32(28), r.i32(32), r.i32(36));
            fields = 84;
        }
        const quint32 offBmi = r.u32(fields), cbBmi = r.u32(fields + 4);
        const quint32 offBits = r.u32(fields + 8), cbBits = r.u32(fields + 12);
        if (cbBmi < 12 || cbBits == 0 || !r.has(offBmi, cbBmi) || !r.has(offBits, cbBits))
            break;
        QByteArray dib = r.d.sliced(offBmi, cbBmi).toByteArray();
        dib += r.d.sliced(offBits, cbBits);
        canvas.bitmap(to, dib);
        break;
    }
    default:
        break;
    }
}

} // namespace

namespace RtfMetafile {

QImage renderWmf(QByteArrayView data, QSize size)
{
    const Bytes d{data};
    qsizetype pos = 0;
    QRectF area;
    if (d.u32(0) == 0x9AC6CDD7u) {
        area = QRectF(QPointF(d.i16(6), d.i16(8)), QPointF(d.i16(10), d.i16(12))).normalized();
        pos = 22;
    }
    if (!d.has(pos, 18))
        return {};
    const qsizetype header = qsizetype(d.u16(pos + 2)) * 2;
    if (header < 18)
        return {};
    pos += header;
    // Without a placeable header the window the records set is the drawing area.
    if (area.isEmpty()) {
        QPointF org;
        for (qsizetype p = pos; d.has(p, 6);) {
            const qsizetype words = d.u32(p);
            const quint16 function = d.u16(p + 4);
            if (words < 3 || !d.has(p, words * 2) || function == 0)
                break;
            if (function == 0x020B)
                org = QPointF(d.i16(p + 8), d.i16(p + 6));
            if (function == 0x020C) {
                area = QRectF(org, QSizeF(d.i16(p + 8), d.i16(p + 6))).normalized();
                break;
            }
            p += words * 2;
        }
    }
    if (area.width() < 1 || area.height() < 1 || size.isEmpty())
        return {};
    QImage image = blankImage(size);
    {
        Canvas canvas(image, QTransform());
        // Window coordinates fall on the area; the viewport is the image itself.
        DrawState& s = canvas.state();
        s.mapMode = 8;
        s.windowOrg = area.topLeft();
        s.windowExt = area.size();
        s.viewportExt = image.size();
        for (qsizetype p = pos; d.has(p, 6) && !canvas.exhausted();) {
            const qsizetype words = d.u32(p);
            const quint16 function = d.u16(p + 4);
            if (words < 3 || !d.has(p, words * 2) || function == 0)
                break;
            wmfRecord(canvas, Bytes{data.sliced(p, words * 2)}, function);
            p += words * 2;
        }
    }
    return image;
}

QImage renderEmf(QByteArrayView data, QSize size)
{
    const Bytes d{data};
    if (d.u32(0) != 1 || d.u32(40) != 0x464D4520u || size.isEmpty()) // " EMF"
        return {};
    // The frame is in hundredths of a millimetre; the device size tells pixels per millimetre.
    const QRectF frame = QRectF(QPointF(d.i32(24), d.i32(28)), QPointF(d.i32(32), d.i32(36)));
    const QRectF bounds = QRectF(QPointF(d.i32(8), d.i32(12)), QPointF(d.i32(16), d.i32(20)));
    const double devX = d.i32(72), devY = d.i32(76), mmX = d.i32(80), mmY = d.i32(84);
    QRectF area;
    if (frame.width() > 0 && frame.height() > 0 && devX > 0 && devY > 0 && mmX > 0 && mmY > 0) {
        const double sx = devX / (mmX * 100), sy = devY / (mmY * 100);
        area = QRectF(frame.left() * sx, frame.top() * sy, frame.width() * sx, frame.height() * sy);
    } else {
        area = bounds.normalized().adjusted(0, 0, 1, 1);
    }
    if (!(area.width() >= 1 && area.height() >= 1))
        return {};
    QImage image = blankImage(size);
    {
        const QTransform deviceToImage =
            QTransform::fromTranslate(-area.left(), -area.top()) *
            QTransform::fromScale(image.width() / area.width(), image.height() / area.height());
        Canvas canvas(image, deviceToImage);
        if (devX > 0 && devY > 0 && mmX > 0 && mmY > 0)
            canvas.setDeviceResolution(devX / mmX, devY / mmY);
        EmfPath figure;
        for (qsizetype p = 0; d.has(p, 8) && !canvas.exhausted();) {
            const quint32 type = d.u32(p);
            const qsizetype recordSize = d.u32(p + 4);
            if (recordSize < 8 || recordSize % 4 || !d.has(p, recordSize) || type == 14)
                break;
            emfRecord(canvas, Bytes{data.sliced(p, recordSize)}, type, figure);
            p += recordSize;
        }
    }
    return image;
}

} // namespace RtfMetafile
