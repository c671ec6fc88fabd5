#include "CMyBitmap.h"

#include "BmpReader.h"
#include "IconReader.h"
#include "PcxReader.h"
#include "base/ColorRef.h"
#include "base/SafeFile.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>

namespace {

QImage decode(const QByteArray& bytes, const QString& path)
{
    const bool namedPcx = path.endsWith(QLatin1String(".pcx"), Qt::CaseInsensitive);
    if (namedPcx) {
        QImage pcx = readPcx(bytes);
        if (!pcx.isNull())
            return pcx;
    }
    // Qt ignores the AND mask of true-colour icons and refuses or miscolours some bitmaps.
    QImage own = readMaskedIcon(bytes);
    if (own.isNull() && bmpWantsOwnReader(bytes))
        own = readBmp(bytes);
    if (!own.isNull())
        return own;

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    // Phone photos are stored sideways with an EXIF orientation saying how to turn them.
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull())
        image = readBmp(bytes);
    if (image.isNull() && !namedPcx)
        image = readPcx(bytes);
    return image;
}

} // namespace

bool CMyBitmap::Load(const QString& path)
{
    QByteArray bytes;
    if (SafeFile::readAll(path, &bytes) != SafeFile::ReadError::None)
        return false; // not read: the picture stays
    return LoadData(bytes, path);
}

bool CMyBitmap::LoadData(const QByteArray& bytes, const QString& path)
{
    m_image = QImage();
    QImage image;
    try {
        image = decode(bytes, path);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (image.isNull())
        return false;
    // Icons and other pictures with transparency keep it and draw over what is below them.
    m_image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                            : QImage::Format_RGB32);
    return !m_image.isNull();
}

void CMyBitmap::Draw(QImage& destination, int left, int top, int right, int bottom,
                     bool stretch) const
{
    if (m_image.isNull() || destination.isNull())
        return;
    QPainter painter(&destination);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const QRect target(left, top, right - left, bottom - top);
    if (stretch) {
        if (target.width() > 0 && target.height() > 0)
            painter.drawImage(target, m_image);
    } else {
        painter.drawImage(QPoint(left, top), m_image, QRect(0, 0, target.width(), target.height()));
    }
}

void CMyBitmap::DrawAt(QImage& destination, int x, int y, int width, int height) const
{
    if (width > 0 && height > 0)
        Draw(destination, x, y, x + width, y + height, false);
    else
        Draw(destination, x, y, x + m_image.width(), y + m_image.height(), false);
}

void CMyBitmap::DrawFitted(QImage& destination, const QRect& rect, int fitMode) const
{
    if (m_image.isNull())
        return;
    const int left = rect.left();
    const int top = rect.top();
    const int rw = rect.width();
    const int rh = rect.height();
    const int bw = m_image.width();
    const int bh = m_image.height();
    switch (fitMode) {
    case Center:
        DrawAt(destination, left + (rw - bw) / 2, top + (rh - bh) / 2, bw, bh);
        return;
    case Zoom:
        if (rw <= 0 || rh <= 0)
            return;
        if (double(bh) / rh < double(bw) / rw) {
            const int sh = int(qint64(rw) * bh / bw);
            const int o = (rh - sh) / 2;
            Draw(destination, left, top + o, left + rw, top + o + sh, true);
        } else {
            const int sw = int(qint64(rh) * bw / bh);
            const int o = (rw - sw) / 2;
            Draw(destination, left + o, top, left + o + sw, top + rh, true);
        }
        return;
    case Stretch:
        Draw(destination, left, top, left + rw, top + rh, true);
        return;
    default: {
        if (bw <= 0 || bh <= 0 || rw <= 0 || rh <= 0 || destination.isNull())
            return;
        // Copies of the picture from the rectangle's top-left corner, cut at its edges: one
        // textured fill rather than a copy per tile.
        QPainter painter(&destination);
        painter.setBrushOrigin(left, top);
        painter.fillRect(QRect(left, top, rw, rh), QBrush(m_image));
        return;
    }
    }
}

void CMyBitmap::FillBackground(QImage& destination, int colorRef, const QString& path, int fitMode)
{
    destination.fill(colorRefToRgb(colorRef));
    CMyBitmap background;
    if (!path.isEmpty() && background.Load(path))
        background.DrawFitted(destination, destination.rect(), fitMode);
}
