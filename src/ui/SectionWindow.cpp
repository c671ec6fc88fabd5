#include "SectionWindow.h"

#include "base/ColorRef.h"
#include "base/FrameLog.h"
#include "model/SectionRecord.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include <chrono>

namespace {

// How long a window manager gets to move a new window before we take placement into our own
// hands.
constexpr int kPlacementCheckMs = 250;

} // namespace

SectionWindow::SectionWindow(SectionRecord& section, const QString& title, QWidget* controlWindow)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool),
      m_section(section), m_controlWindow(controlWindow), m_childRect(0, 0, 400, 400)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::ArrowCursor);
    setWindowTitle(title);
    setGeometry(0, 0, 400, 400);
}

void SectionWindow::place(const QRect& geometry, const QRect& childRect)
{
    m_childRect = childRect;
    m_wanted = geometry;
    setGeometry(geometry);
    update();
    // A window the operator hid stays hidden, whatever moves it.
    if (m_shown)
        show();
    // The LED controller reads exact desktop pixels: a window manager that moved the window
    // gets bypassed. One check, restarted by every change, against the last geometry asked
    // for: an earlier change must never come back.
    if (!m_placementCheck) {
        m_placementCheck = new QTimer(this);
        m_placementCheck->setSingleShot(true);
        m_placementCheck->setInterval(kPlacementCheckMs);
        connect(m_placementCheck, &QTimer::timeout, this, [this] {
            if (!isVisible() || this->geometry() == m_wanted)
                return;
            if (!windowFlags().testFlag(Qt::X11BypassWindowManagerHint)) {
                setWindowFlag(Qt::X11BypassWindowManagerHint, true);
                setVisible(m_shown); // a change of flags hides the window
            }
            setGeometry(m_wanted);
        });
    }
    m_placementCheck->start();
}

void SectionWindow::setShown(bool shown)
{
    m_shown = shown;
    if (!shown)
        hide();
    else if (m_wanted.isValid())
        show(); // not before its first placement
}

void SectionWindow::backBufferPresented()
{
    if (m_updatePending.exchange(true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_updatePending.store(false);
            update(m_childRect);
        },
        Qt::QueuedConnection);
}

void SectionWindow::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect update = event->rect();
    painter.fillRect(update, QColor::fromRgb(colorRefToRgb(m_section.frameColor)));
    const QRect inChild = update & m_childRect;
    if (inChild.isEmpty())
        return;
    painter.translate(m_childRect.topLeft());
    m_section.renderChild->Paint(painter, inChild.translated(-m_childRect.topLeft()));
    FrameStamp stamp;
    if (FrameLog::enabled() && m_section.renderChild->takeStamp(&stamp)) {
        const qint64 paintNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count();
        FrameLog::write(paintNs, stamp.deadlineNs, stamp.item, stamp.step, m_section.sectionIndex);
    }
}

void SectionWindow::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    raise();
}

void SectionWindow::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    // Directly behind the control window.
    if (m_controlWindow)
        m_controlWindow->raise();
}

void SectionWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton && m_controlWindow) {
        m_controlWindow->setWindowState(m_controlWindow->windowState() & ~Qt::WindowMinimized);
        m_controlWindow->show();
        m_controlWindow->raise();
        m_controlWindow->activateWindow();
    }
    QWidget::mousePressEvent(event);
}
