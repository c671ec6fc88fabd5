#include "BackBuffer.h"

#include "base/ColorRef.h"

#include <QPainter>

#include <cstring>

namespace {

quint64 packSize(QSize size)
{
    return (quint64(quint32(size.width())) << 32) | quint32(size.height());
}

QSize unpackSize(quint64 packed)
{
    return QSize(int(quint32(packed >> 32)), int(quint32(packed)));
}

} // namespace

void BackBuffer::setClientSize(QSize size)
{
    m_size.store(packSize(size));
}

QSize BackBuffer::clientSize() const
{
    return unpackSize(m_size.load());
}

void BackBuffer::setView(SectionView* view)
{
    std::lock_guard lock(sectionMutex);
    m_view = view;
}

QImage* BackBuffer::GetBackBuffer()
{
    if (!hasWindow())
        return m_buffer.isNull() ? nullptr : &m_buffer;
    const QRect client(QPoint(0, 0), clientSize());
    if (!m_buffer.isNull() && client == m_bufferRect)
        return &m_buffer;
    m_bufferRect = client;
    if (client.isEmpty()) {
        m_buffer = QImage();
        m_changed = QRect();
        return nullptr;
    }
    m_buffer = QImage(client.size(), QImage::Format_RGB32);
    m_buffer.fill(colorRefToRgb(fillColor()));
    m_changed = m_bufferRect;
    return &m_buffer;
}

void BackBuffer::Blank(QRgb color)
{
    if (QImage* buffer = GetBackBuffer())
        buffer->fill(color);
    Present();
}

void BackBuffer::Present()
{
    m_changed = m_bufferRect;
    m_presentCount.fetch_add(1);
    if (m_view)
        m_view->backBufferPresented();
}

void BackBuffer::Present(const FrameStamp& stamp)
{
    m_stamps.add(stamp);
    Present();
}

void BackBuffer::Present(const FrameStamp& stamp, const QRect& changed)
{
    m_stamps.add(stamp);
    m_changed |= changed & m_bufferRect;
    m_presentCount.fetch_add(1);
    if (m_view)
        m_view->backBufferPresented();
}

bool BackBuffer::copyChanged(QImage& target, QPoint at, QRect* copied, FrameStamps* stamps)
{
    std::lock_guard lock(sectionMutex);
    *copied = QRect();
    const QImage::Format format = target.format();
    if (m_buffer.isNull() ||
        (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied))
        return false;
    // RGB32 keeps its pixels opaque (0xffRRGGBB), so they are premultiplied ARGB too.
    const QRect part = (m_changed & m_bufferRect) & target.rect().translated(-at);
    m_changed = QRect();
    if (!part.isEmpty()) {
        const auto bytes = size_t(part.width()) * 4;
        for (int y = part.top(); y <= part.bottom(); ++y)
            std::memcpy(target.scanLine(y + at.y()) + size_t(part.x() + at.x()) * 4,
                        m_buffer.constScanLine(y) + size_t(part.x()) * 4, bytes);
        *copied = part;
    }
    *stamps = m_stamps;
    m_stamps.clear();
    return true;
}

bool BackBuffer::takeStamps(FrameStamps* stamps)
{
    std::lock_guard lock(sectionMutex);
    *stamps = m_stamps;
    m_stamps.clear();
    return !stamps->isEmpty();
}

void FrameStamps::add(const FrameStamp& stamp)
{
    if (stamp.deadlineNs < 0)
        return;
    FrameStamp* oldest = nullptr;
    for (int k = 0; k < m_count; ++k) {
        FrameStamp& held = m_stamps[size_t(k)];
        if (held.item == stamp.item) {
            held = stamp; // painted together: the later step counts
            return;
        }
        if (!oldest || held.deadlineNs < oldest->deadlineNs)
            oldest = &held;
    }
    if (m_count < kMost)
        m_stamps[size_t(m_count++)] = stamp;
    else
        *oldest = stamp;
}

void BackBuffer::Paint(QPainter& painter, const QRect& update)
{
    std::lock_guard lock(sectionMutex);
    const QColor fill = QColor::fromRgb(colorRefToRgb(fillColor()));
    if (m_buffer.isNull()) {
        painter.fillRect(update, fill);
        return;
    }
    const QRect fromBuffer = update & m_bufferRect;
    if (!fromBuffer.isEmpty())
        painter.drawImage(fromBuffer.topLeft(), m_buffer, fromBuffer);
    // What lies right of or below the buffer shows the fill colour.
    if (update.right() > m_bufferRect.right()) {
        const int x = m_bufferRect.right() + 1;
        painter.fillRect(
            QRect(QPoint(std::max(x, update.left()), update.top()), update.bottomRight()), fill);
    }
    if (update.bottom() > m_bufferRect.bottom()) {
        const int y = m_bufferRect.bottom() + 1;
        painter.fillRect(
            QRect(QPoint(update.left(), std::max(y, update.top())), update.bottomRight()), fill);
    }
}
