#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <memory>

class BackBuffer;
class FrameStamps;

// The present path of one section window on X11: what changed in the back buffer is copied into
// one of two shared-memory segments and put to the window from an X connection of its own. A
// segment is written again only once the server has said (its completion event) that it read
// it, so the GUI thread never waits for the server, and nobody else's reader thread wakes for
// our puts. Made only where the display is X11 on this machine with MIT-SHM.
class ShmPresenter
{
public:
    enum class Result
    {
        Put,     // the change is on its way to the server (or nothing had changed)
        Busy,    // both segments are still being read: try again when wakeFd() is readable
        NoImage, // the back buffer has no picture yet, or not in a 32-bit format
        Failed,  // the connection or the window is gone: drop this presenter
    };

    // Null when this cannot work: another platform, a remote display, no MIT-SHM, a visual
    // that is not 32 bits a pixel in this machine's byte order, or no shared memory. `window`
    // is the X window id, `childSize` the size of the part it puts.
    static std::unique_ptr<ShmPresenter> create(quintptr window, QSize childSize);
    ~ShmPresenter();
    ShmPresenter(const ShmPresenter&) = delete;
    ShmPresenter& operator=(const ShmPresenter&) = delete;

    quintptr window() const { return m_window; }
    QSize childSize() const { return m_childSize; }

    // Copies what changed in `child` since its last copy into a free segment and puts it at
    // `at` in the window. `copied` is the part put, in child coordinates; `stamps` as
    // BackBuffer::copyChanged takes it. Allocates nothing.
    Result present(BackBuffer& child, QPoint at, QRect* copied, FrameStamps* stamps);
    // The connection's socket: readable when a completion (or an error) has come in.
    int wakeFd() const;
    // Takes in what the server sent; false when the connection broke or the window is gone.
    bool takeEvents();

private:
    struct Connection;
    struct Segment;
    ShmPresenter() = default;
    bool setUp(quintptr window, QSize childSize);

    std::unique_ptr<Connection> m_connection;
    std::unique_ptr<Segment[]> m_segments;
    quintptr m_window = 0;
    QSize m_childSize;
    int m_next = 0;
    bool m_broken = false;
};
