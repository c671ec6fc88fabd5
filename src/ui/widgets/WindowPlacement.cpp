#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace {

qint64 coveredArea(const QList<QRect>& covered, const QRect& frame)
{
    qint64 total = 0;
    for (const QRect& r : covered) {
        const QRect both = r.intersected(frame);
        if (!both.isEmpty())
            total += qint64(both.width()) * both.height();
    }
    return total;
}

} // namespace

QRect WindowPlacement::clampInto(const QRect& available, QRect frame)
{
    if (frame.right() > available.right())
        frame.moveRight(available.right());
    if (frame.bottom() > available.bottom())
        frame.moveBottom(available.bottom());
    // Last, so that a window larger than the screen keeps its title bar in view.
    if (frame.left() < available.left())
        frame.moveLeft(available.left());
    if (frame.top() < available.top())
        frame.moveTop(available.top());
    return frame;
}

QPoint WindowPlacement::clearOf(const QRect& available, const QList<QRect>& covered,
                                const QRect& frame)
{
    const QRect here = clampInto(available, frame);
    QRect led;
    for (const QRect& r : covered)
        led |= r;
    if (led.isEmpty() || coveredArea(covered, here) == 0)
        return here.topLeft();
    const QRect candidates[] = {
        here.translated(0, led.bottom() + 1 + kGapPx - here.top()), // below
        here.translated(led.right() + 1 + kGapPx - here.left(), 0), // right of
        here.translated(led.left() - kGapPx - here.right() - 1, 0), // left of
        here.translated(0, led.top() - kGapPx - here.bottom() - 1), // above
    };
    QRect best = here;
    qint64 least = coveredArea(covered, here);
    for (const QRect& candidate : candidates) {
        const QRect placed = clampInto(available, candidate);
        const qint64 cover = coveredArea(covered, placed);
        if (cover == 0 && available.contains(placed))
            return placed.topLeft();
        if (cover < least) {
            least = cover;
            best = placed;
        }
    }
    return best.topLeft();
}

QMargins WindowPlacement::frameMargins(const QWidget* reference)
{
    if (!reference)
        return {};
    const QWidget* window = reference->window();
    const QRect frame = frameOf(window);
    const QRect client = window->geometry();
    return {client.left() - frame.left(), client.top() - frame.top(),
            frame.right() - client.right(), frame.bottom() - client.bottom()};
}

QRect WindowPlacement::frameOf(const QWidget* window)
{
    const QWindow* handle = window->windowHandle();
    return handle ? handle->frameGeometry() : window->frameGeometry();
}

void WindowPlacement::moveFrameTo(QWidget* window, QPoint frameTopLeft)
{
    // The client area moves by as much as the frame must: every platform places a shown
    // window's client area where it is told.
    const QRect frame = frameOf(window);
    if (frame.topLeft() != frameTopLeft)
        window->setGeometry(
            QRect(window->geometry().topLeft() + (frameTopLeft - frame.topLeft()), window->size()));
}

void WindowPlacement::placeDialog(QWidget* dialog, const QWidget* parent,
                                  const QList<QRect>& covered)
{
    if (!dialog || covered.isEmpty())
        return;
    dialog->ensurePolished();
    dialog->adjustSize();
    const QMargins margins = frameMargins(parent);
    QRect frame(QPoint(), dialog->size().grownBy(margins));
    const QScreen* screen = parent ? parent->window()->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    // Where the dialog would open by itself: centred over its parent's window.
    frame.moveCenter(parent ? frameOf(parent->window()).center() : available.center());
    const QPoint at = clearOf(available, covered, frame);
    dialog->move(at);
    whenFramed(dialog, [dialog, available, covered, at] {
        if (!dialog->isVisible())
            return;
        QRect wanted = frameOf(dialog);
        wanted.moveTopLeft(at);
        moveFrameTo(dialog, clearOf(available, covered, wanted));
    });
}

void WindowPlacement::whenFramed(QWidget* window, std::function<void()> then)
{
    // Owned by the window: a window closed before it is framed takes the look with it.
    auto* check = new QTimer(window);
    check->setInterval(kFrameCheckMs);
    QObject::connect(check, &QTimer::timeout, window,
                     [window, check, then = std::move(then), tries = 0]() mutable {
                         const QWindow* handle = window->windowHandle();
                         if (++tries < kFrameChecks &&
                             (!window->isVisible() || !handle || handle->frameMargins().isNull()))
                             return;
                         check->stop();
                         check->deleteLater();
                         then();
                     });
    check->start();
}
