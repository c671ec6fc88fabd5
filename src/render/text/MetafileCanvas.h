#pragma once

#include "RtfCharsets.h"
#include "RtfPicture.h"

#include <QByteArrayView>
#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
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

// What the WMF and EMF records of RtfMetafile draw with: bounded reads of a record, the object
// table, the state stack and the painter on the picture, each bounded.
namespace MetafileDrawing {

constexpr int kMaxObjects = 4096;
constexpr int kMaxSavedStates = 64;
constexpr int kMaxDrawings = 50000;
// Pixels the drawings may cover in all: a file of many full-picture fills ends early.
constexpr double kMaxPaintedPixels = 400.0 * 1000 * 1000;

// Little-endian reads that give 0 past the end.
struct Bytes
{
    QByteArrayView d;
    bool has(qsizetype pos, qsizetype n) const { return pos >= 0 && n >= 0 && pos <= d.size() - n; }
    quint32 u32(qsizetype pos) const
    {
        return has(pos, 4) ? qFromLittleEndian<quint32>(d.data() + pos) : 0;
    }
    qint32 i32(qsizetype pos) const { return qint32(u32(pos)); }
    quint16 u16(qsizetype pos) const
    {
        return has(pos, 2) ? qFromLittleEndian<quint16>(d.data() + pos) : 0;
    }
    qint16 i16(qsizetype pos) const { return qint16(u16(pos)); }
    quint8 u8(qsizetype pos) const { return has(pos, 1) ? quint8(d[pos]) : 0; }
    float f32(qsizetype pos) const
    {
        const quint32 bits = u32(pos);
        float f = 0;
        std::memcpy(&f, &bits, 4);
        return std::isfinite(f) ? std::clamp(f, -1e6f, 1e6f) : 0.0f;
    }
};

inline QColor colorRef(quint32 c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

struct Object
{
    enum class Kind
    {
        None,
        Pen,
        Brush,
        Font,
        Other
    } kind = Kind::None;
    QPen pen;
    QBrush brush;
    QFont font;
    double fontHeight = 0; // logical units; negative: the character height
    int charset = 0;
};

struct DrawState
{
    QPen pen{Qt::black};
    QBrush brush{Qt::white};
    QFont font;
    double fontHeight = 12;
    int charset = 0;
    QColor textColor{Qt::black};
    QColor backColor{Qt::white};
    bool opaqueBack = true;
    quint32 textAlign = 0;
    Qt::FillRule fill = Qt::OddEvenFill;
    QPointF position;
    // Logical to device (window and viewport) and the world transform of EMF.
    QPointF windowOrg, viewportOrg;
    QSizeF windowExt{1, 1}, viewportExt{1, 1};
    int mapMode = 1;
    QTransform world;
};

inline QString decode8Bit(QByteArrayView bytes, int charset)
{
    QByteArray encoding = RtfCharsets::encodingForCharset(charset);
    if (encoding.isEmpty())
        encoding = "windows-1252";
    QStringDecoder decoder(encoding.constData());
    return decoder.isValid() ? decoder.decode(bytes) : QString::fromLatin1(bytes);
}

// What both kinds share: the object table, the state stack and the drawing onto the image.
class Canvas
{
public:
    Canvas(QImage& image, const QTransform& deviceToImage)
        : m_painter(&image), m_deviceToImage(deviceToImage), m_bounds(image.rect())
    {
        m_painter.setRenderHint(QPainter::Antialiasing);
        m_state.pen = QPen(Qt::black, 0); // one pixel, as a device draws it
    }

    DrawState& state() { return m_state; }
    bool exhausted() const { return m_exhausted; }

    // Device pixels per millimetre, for the metric and English map modes.
    void setDeviceResolution(double pixelsPerMmX, double pixelsPerMmY)
    {
        m_pxPerMmX = pixelsPerMmX;
        m_pxPerMmY = pixelsPerMmY;
    }

    QTransform logicalToImage() const
    {
        const DrawState& s = m_state;
        double sx = 1, sy = 1;
        // Units per millimetre of MM_LOMETRIC, MM_HIMETRIC, MM_LOENGLISH, MM_HIENGLISH, MM_TWIPS.
        static constexpr double kUnitsPerMm[] = {10, 100, 100 / 25.4, 1000 / 25.4, 1440 / 25.4};
        if (s.mapMode == 7 || s.mapMode == 8) { // isotropic, anisotropic
            if (s.windowExt.width() != 0)
                sx = s.viewportExt.width() / s.windowExt.width();
            if (s.windowExt.height() != 0)
                sy = s.viewportExt.height() / s.windowExt.height();
        } else if (s.mapMode >= 2 && s.mapMode <= 6) {
            sx = m_pxPerMmX / kUnitsPerMm[s.mapMode - 2];
            sy = -m_pxPerMmY / kUnitsPerMm[s.mapMode - 2]; // y grows upwards
        }
        QTransform toDevice(sx, 0, 0, sy, s.viewportOrg.x() - s.windowOrg.x() * sx,
                            s.viewportOrg.y() - s.windowOrg.y() * sy);
        return s.world * toDevice * m_deviceToImage;
    }

    void saveState()
    {
        if (m_saved.size() < kMaxSavedStates)
            m_saved.push_back(m_state);
    }
    void restoreState(int relative)
    {
        // -1 the last saved, -2 the one before; a positive number counts from the first.
        qsizetype index = relative < 0 ? qsizetype(m_saved.size()) + relative : relative - 1;
        if (index < 0 || index >= qsizetype(m_saved.size()))
            return;
        m_state = m_saved[size_t(index)];
        m_saved.resize(size_t(index));
    }

    // Stores an object at `index`, or at the first free place when index < 0.
    void store(const Object& object, qint64 index = -1)
    {
        if (index < 0) {
            const auto free = std::find_if(m_objects.begin(), m_objects.end(), [](const Object& o) {
                return o.kind == Object::Kind::None;
            });
            index = free - m_objects.begin();
        }
        if (index >= kMaxObjects)
            return;
        if (index >= qint64(m_objects.size()))
            m_objects.resize(size_t(index) + 1);
        m_objects[size_t(index)] = object;
    }
    void select(quint32 index)
    {
        if (index & 0x80000000u) {
            selectStock(index & 0x7FFFFFFFu);
            return;
        }
        if (index >= m_objects.size())
            return;
        const Object& o = m_objects[index];
        switch (o.kind) {
        case Object::Kind::Pen:
            m_state.pen = o.pen;
            break;
        case Object::Kind::Brush:
            m_state.brush = o.brush;
            break;
        case Object::Kind::Font:
            m_state.font = o.font;
            m_state.fontHeight = o.fontHeight;
            m_state.charset = o.charset;
            break;
        default:
            break;
        }
    }
    void remove(quint32 index)
    {
        if (index < m_objects.size())
            m_objects[index] = Object();
    }

    // A path in logical units, filled and outlined as the state says.
    void draw(const QPainterPath& path, bool fill, bool stroke)
    {
        if (!begin(path.boundingRect()))
            return;
        const QTransform map = logicalToImage();
        QPen pen = stroke ? m_state.pen : QPen(Qt::NoPen);
        // A line never drawn thinner than a pixel, as on a device.
        if (pen.style() != Qt::NoPen && pen.widthF() * std::sqrt(std::abs(map.determinant())) < 1)
            pen.setWidthF(0);
        m_painter.setTransform(map);
        m_painter.setPen(pen);
        m_painter.setBrush(fill ? m_state.brush : QBrush(Qt::NoBrush));
        m_painter.drawPath(path);
    }

    void polygon(const QPolygonF& points, bool closed)
    {
        QPainterPath path;
        path.setFillRule(m_state.fill);
        path.addPolygon(points);
        if (closed)
            path.closeSubpath();
        draw(path, closed, true);
    }

    void text(QPointF at, const QString& text)
    {
        if (text.isEmpty())
            return;
        const QTransform map = logicalToImage();
        const QPointF origin = map.map(at);
        const double scale = std::hypot(map.m12(), map.m22());
        double pixels = std::abs(m_state.fontHeight) * scale;
        if (m_state.fontHeight > 0)
            pixels *= 0.8; // the cell height, of which the characters take about this much
        if (!(pixels >= 1))
            pixels = 1;
        QFont font = m_state.font;
        font.setPixelSize(int(std::min(pixels, 2000.0)));
        const QFontMetricsF metrics(font);
        const QRectF box(origin, QSizeF(metrics.horizontalAdvance(text), metrics.height()));
        if (!begin(box, false))
            return;
        double x = origin.x();
        double y = origin.y();
        const quint32 align = m_state.textAlign;
        if ((align & 6) == 6)
            x -= box.width() / 2; // TA_CENTER
        else if (align & 2)
            x -= box.width(); // TA_RIGHT
        // TA_BASELINE (24) is where drawText puts the text.
        if ((align & 24) == 8)
            y -= metrics.descent(); // TA_BOTTOM
        else if ((align & 24) == 0)
            y += metrics.ascent(); // TA_TOP
        m_painter.resetTransform();
        m_painter.setFont(font);
        m_painter.setPen(m_state.textColor);
        m_painter.drawText(QPointF(x, y), text);
    }

    // A bitmap into the logical rectangle `to`.
    void bitmap(const QRectF& to, QByteArrayView dib)
    {
        const QByteArray bmp = bmpFromPackedDib(dib);
        if (bmp.isEmpty() || !begin(to.normalized()))
            return;
        const QImage image = QImage::fromData(bmp, "BMP");
        if (image.isNull())
            return;
        m_painter.setTransform(logicalToImage());
        m_painter.drawImage(to, image);
    }

private:
    // Counts the work a drawing costs; false when it is not to be drawn.
    bool begin(const QRectF& logical, bool mapped = true)
    {
        if (m_exhausted)
            return false;
        const QRectF area =
            (mapped ? logicalToImage().mapRect(logical) : logical).intersected(m_bounds);
        m_painted += std::max(1.0, area.width() * area.height());
        if (++m_drawings > kMaxDrawings || m_painted > kMaxPaintedPixels) {
            m_exhausted = true;
            return false;
        }
        return true;
    }

    void selectStock(quint32 stock)
    {
        static const QColor brushes[] = {Qt::white, QColor(192, 192, 192), QColor(128, 128, 128),
                                         QColor(64, 64, 64), Qt::black};
        if (stock <= 4)
            m_state.brush = brushes[stock];
        else if (stock == 5)
            m_state.brush = Qt::NoBrush;
        else if (stock == 6)
            m_state.pen = QPen(Qt::white, 0);
        else if (stock == 7)
            m_state.pen = QPen(Qt::black, 0);
        else if (stock == 8)
            m_state.pen = Qt::NoPen;
    }

    QPainter m_painter;
    QTransform m_deviceToImage;
    QRectF m_bounds;
    double m_pxPerMmX = 96 / 25.4, m_pxPerMmY = 96 / 25.4;
    DrawState m_state;
    std::vector<DrawState> m_saved;
    std::vector<Object> m_objects;
    int m_drawings = 0;
    double m_painted = 0;
    bool m_exhausted = false;
};

inline QPen penFrom(quint32 style, double width, QColor color)
{
    if ((style & 0x0F) == 5) // PS_NULL
        return Qt::NoPen;
    QPen pen(color, std::max(0.0, width)); // 0: a device's thinnest line
    switch (style & 0x0F) {
    case 1:
        pen.setStyle(Qt::DashLine);
        break;
    case 2:
        pen.setStyle(Qt::DotLine);
        break;
    case 3:
        pen.setStyle(Qt::DashDotLine);
        break;
    case 4:
        pen.setStyle(Qt::DashDotDotLine);
        break;
    default:
        break;
    }
    return pen;
}

inline QBrush brushFrom(quint32 style, QColor color)
{
    if (style == 1) // BS_NULL
        return Qt::NoBrush;
    return QBrush(color); // solid; hatches and patterns as their colour
}

// An arc of the ellipse in `box` from the ray through `start` to the ray through `end`,
// counter-clockwise as a device draws it: an open arc, a chord or a pie.
inline QPainterPath arcPath(const QRectF& box, QPointF start, QPointF end, int kind)
{
    const QPointF centre = box.center();
    const auto angle = [&](QPointF p) {
        return std::atan2(-(p.y() - centre.y()), p.x() - centre.x()) * 180 / std::numbers::pi;
    };
    const double from = angle(start);
    double sweep = angle(end) - from;
    if (sweep <= 0)
        sweep += 360;
    QPainterPath path;
    if (kind == 2) {
        path.moveTo(centre);
        path.arcTo(box, from, sweep);
    } else {
        path.arcMoveTo(box, from);
        path.arcTo(box, from, sweep);
    }
    if (kind != 0)
        path.closeSubpath();
    return path;
}

inline QFont fontFrom(int weight, bool italic, bool underline, bool strike, const QString& face)
{
    QFont font(face.isEmpty() ? QStringLiteral("DejaVu Sans") : face);
    font.setWeight(weight >= 600 ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    font.setUnderline(underline);
    font.setStrikeOut(strike);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

inline QImage blankImage(QSize size)
{
    QImage image(size.boundedTo(QSize(4096, 4096)).expandedTo(QSize(1, 1)),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

} // namespace MetafileDrawing
