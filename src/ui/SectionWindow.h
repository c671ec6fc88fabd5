#pragma once

#include "canvas/BackBuffer.h"

#include <QPointer>
#include <QRegion>
#include <QWidget>

class QSocketNotifier;
class QTimer;
class QWindow;
class ShmPresenter;

#include <atomic>
#include <memory>

class SectionRecord;

// The desktop window of one section: borderless, topmost, no taskbar entry, at exact desktop
// pixels. It paints the frame in the frame colour and the render child from its back buffer.
class SectionWindow final : public QWidget, public SectionView
{
    Q_OBJECT

public:
    SectionWindow(SectionRecord& section, const QString& title, QWidget* controlWindow);
    ~SectionWindow() override;

    void place(const QRect& geometry, const QRect& childRect);
    QRect childRect() const { return m_childRect; }
    QRect wantedGeometry() const { return m_wanted; }
    // Shown or hidden as the operator chose ("Show/Hide play window"); placing never shows a
    // hidden window.
    void setShown(bool shown);
    bool shown() const { return m_shown; }

    // Play thread: asks the GUI thread to show the new picture; at most one request is in
    // flight.
    void backBufferPresented() override;
    // GUI thread: copies what changed in the back buffer straight into the window's backing
    // store and puts that part on the screen (MIT-SHM on X11), with no painter, no conversion
    // and no allocation. False when the window cannot take it that way (not exposed, another
    // pixel format, no picture yet): then it repaints by paintEvent.
    bool presentChanged();
    // True while the window puts its pictures through a shared-memory connection of its own
    // (X11 on this machine) rather than through Qt's backing store.
    bool presentsOnItsOwn() const { return m_ownPut != nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    SectionRecord& m_section;
    QPointer<QWidget> m_controlWindow;
    QRect m_childRect;
    // The geometry of the last place(): what the window must end at.
    QRect m_wanted;
    bool m_shown = true;
    QTimer* m_placementCheck = nullptr; // owned as a child

    // GUI thread: the new picture to the screen, as the play thread asked.
    void showPresented();
    // The own shared-memory put: true when it took the change (or will, once the server has
    // read a segment), false when the backing store must.
    bool presentOwn(QWindow* handle);
    void dropOwnPut();
    // A frame-log line for each step the paint showed.
    void logStamps(const FrameStamps& stamps) const;

    std::atomic<bool> m_updatePending{false};
    // Linux: the play thread wakes the GUI thread through an event counter, which allocates
    // nothing (a queued call allocates its event); -1 elsewhere.
    int m_wakeFd = -1;
    std::unique_ptr<QSocketNotifier> m_wake;
    // The regions of the last present, kept: a region of a new rectangle allocates.
    QRect m_paintRect;
    QRegion m_paintRegion;
    QRect m_flushRect;
    QRegion m_flushRegion;

    std::unique_ptr<ShmPresenter> m_ownPut;
    std::unique_ptr<QSocketNotifier> m_ownPutWake; // on while both segments are being read
    // What the own put was last tried for: not tried again until the window or size changes.
    quintptr m_ownPutTriedWindow = 0;
    QSize m_ownPutTriedSize;
};
