#include "BackBuffer.h"

#include "base/ColorRef.h"

#include <QPainter>

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
        return nullptr;
    }
    m_buffer = QImage(client.size(), QImage::Format_RGB32);
    m_buffer.fill(colorRefToRgb(fillColor()));
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
    m_presentCount.fetch_add(1);
    if (m_view)
        m_view->backBufferPresented();
}

void BackBuffer::Present(const FrameStamp& stamp)
{
    m_stamp = stamp;
    m_stampTaken = false;
    Present();
}

bool BackBuffer::takeStamp(FrameStamp* stamp)
{
    std::lock_guard lock(sectionMutex);
    if (m_stampTaken)
        return false;
    *stamp = m_stamp;
    m_stampTaken = true;
    return true;
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
