#include "LedPreview.h"

#include "model/CAct.h"
#include "render/DesktopImage.h"

#include <QPixmap>

LedPreview::LedPreview(const CAct& area, QWidget* parent)
    : QLabel(parent), m_area(area), m_timer(this)
{
    setObjectName(QStringLiteral("ledPreview"));
    setAlignment(Qt::AlignCenter);
    // Its picture never sizes the window: the window sizes it.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setFixedHeight(96);
    setStyleSheet(QStringLiteral("background: black;"));
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &LedPreview::refresh);
}

void LedPreview::showEvent(QShowEvent* event)
{
    QLabel::showEvent(event);
    refresh();
    m_timer.start();
}

void LedPreview::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QLabel::hideEvent(event);
}

void LedPreview::refresh()
{
    const QImage picture = composeDesktop(m_area);
    if (picture.isNull()) {
        clear();
        return;
    }
    // Nearest pixels, as the LED shows them; scaled down to fit, never up beyond twice.
    const QSize room = contentsRect().size().boundedTo(picture.size() * 2);
    setPixmap(
        QPixmap::fromImage(picture.scaled(room, Qt::KeepAspectRatio, Qt::FastTransformation)));
}
