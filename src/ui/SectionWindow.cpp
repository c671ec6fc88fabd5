#include "SectionWindow.h"

#include "ShmPresenter.h"
#include "base/ColorRef.h"
#include "base/FrameLog.h"
#include "model/SectionRecord.h"
#include "ui/widgets/UiLog.h"

#include <QBackingStore>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include <chrono>

#ifdef Q_OS_LINUX
#include <sys/eventfd.h>
#include <unistd.h>
#endif

namespace {

// How long a window manager gets to move a new window before we take placement into our own
// hands.
constexpr int kPlacementCheckMs = 250;

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// `region` made for `rect` only when the rectangle changed.
const QRegion& regionOf(const QRect& rect, QRect& kept, QRegion& region)
{
    if (rect != kept) {
        kept = rect;
        region = QRegion(rect);
    }
    return region;
}

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
#ifdef Q_OS_LINUX
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd >= 0) {
        m_wake = std::make_unique<QSocketNotifier>(m_wakeFd, QSocketNotifier::Read);
        connect(m_wake.get(), &QSocketNotifier::activated, this, [this] {
            eventfd_t count = 0;
            eventfd_read(m_wakeFd, &count);
            showPresented();
        });
    }
#endif
}

SectionWindow::~SectionWindow()
{
    m_wake.reset(); // off the event loop before its descriptor goes
    m_ownPutWake.reset();
#ifdef Q_OS_LINUX
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
#endif
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
#ifdef Q_OS_LINUX
    if (m_wakeFd >= 0 && eventfd_write(m_wakeFd, 1) == 0)
        return;
#endif
    QMetaObject::invokeMethod(
        this, [this] { showPresented(); }, Qt::QueuedConnection);
}

void SectionWindow::showPresented()
{
    m_updatePending.store(false);
    if (!presentChanged())
        update(m_childRect);
}

bool SectionWindow::presentChanged()
{
    QWindow* handle = windowHandle();
    QBackingStore* store = backingStore();
    if (!isVisible() || !handle || !handle->isExposed() || !store || store->size() != size() ||
        m_childRect.isEmpty())
        return false;
    if (presentOwn(handle))
        return true;
    store->beginPaint(regionOf(m_childRect, m_paintRect, m_paintRegion));
    QPaintDevice* device = store->paintDevice();
    QRect copied;
    FrameStamps stamps;
    // The device of a raster backing store is its picture, at one device pixel a pixel here.
    const bool done = device && device->devType() == QInternal::Image &&
                      static_cast<QImage*>(device)->size() == size() &&
                      m_section.renderChild->copyChanged(*static_cast<QImage*>(device),
                                                         m_childRect.topLeft(), &copied, &stamps);
    store->endPaint();
    if (!done)
        return false;
    if (!copied.isEmpty())
        store->flush(regionOf(copied.translated(m_childRect.topLeft()), m_flushRect, m_flushRegion),
                     handle);
    logStamps(stamps);
    return true;
}

bool SectionWindow::presentOwn(QWindow* handle)
{
    const quintptr id = handle->winId();
    const QSize size = m_childRect.size();
    if (m_ownPut && (m_ownPut->window() != id || m_ownPut->childSize() != size))
        dropOwnPut();
    if (!m_ownPut) {
        if (id == m_ownPutTriedWindow && size == m_ownPutTriedSize)
            return false;
        m_ownPutTriedWindow = id;
        m_ownPutTriedSize = size;
        m_ownPut = ShmPresenter::create(id, size);
        if (!m_ownPut)
            return false;
        qCInfo(lcUi) << "section" << m_section.sectionIndex
                     << "puts its pictures to the X server through shared memory of its own";
        // An expose shows the backing store, which the own put leaves behind: it is repainted.
        handle->installEventFilter(this);
        m_ownPutWake = std::make_unique<QSocketNotifier>(m_ownPut->wakeFd(), QSocketNotifier::Read);
        m_ownPutWake->setEnabled(false);
        connect(m_ownPutWake.get(), &QSocketNotifier::activated, this, [this] {
            m_ownPutWake->setEnabled(false);
            if (!m_ownPut->takeEvents()) {
                dropOwnPut();
                return;
            }
            showPresented();
        });
    }
    QRect copied;
    FrameStamps stamps;
    switch (m_ownPut->present(*m_section.renderChild, m_childRect.topLeft(), &copied, &stamps)) {
    case ShmPresenter::Result::Put:
        logStamps(stamps);
        return true;
    case ShmPresenter::Result::Busy:
        m_ownPutWake->setEnabled(true); // the change waits in the back buffer
        return true;
    case ShmPresenter::Result::NoImage:
        return false;
    case ShmPresenter::Result::Failed:
        dropOwnPut();
        return false;
    }
    return false;
}

void SectionWindow::dropOwnPut()
{
    m_ownPutWake.reset();
    m_ownPut.reset();
    // The backing store missed every picture the own put showed.
    update(m_childRect);
}

bool SectionWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Expose && m_ownPut && watched == windowHandle())
        update(m_childRect);
    return QWidget::eventFilter(watched, event);
}

void SectionWindow::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect update = event->rect();
    if (!m_childRect.contains(update)) {
        const QColor frame = QColor::fromRgb(colorRefToRgb(m_section.frameColor));
        for (const QRect& r : QRegion(update) - m_childRect)
            painter.fillRect(r, frame);
    }
    const QRect inChild = update & m_childRect;
    if (inChild.isEmpty())
        return;
    painter.translate(m_childRect.topLeft());
    m_section.renderChild->Paint(painter, inChild.translated(-m_childRect.topLeft()));
    FrameStamps stamps;
    if (FrameLog::enabled() && m_section.renderChild->takeStamps(&stamps))
        logStamps(stamps);
}

void SectionWindow::logStamps(const FrameStamps& stamps) const
{
    if (stamps.isEmpty() || !FrameLog::enabled())
        return;
    const qint64 paintNs = nowNs();
    for (const FrameStamp& stamp : stamps)
        FrameLog::write(paintNs, stamp.deadlineNs, stamp.item, stamp.step, m_section.sectionIndex);
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
