#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

#include <array>
#include <atomic>
#include <mutex>

class QPainter;

// What shows a render child on the screen: told when a new picture is in the back buffer. It is
// called on the play thread with the section mutex held, so it must only post, never wait.
class SectionView
{
public:
    virtual ~SectionView() = default;
    virtual void backBufferPresented() = 0;
};

// What a paced player drew a presented picture for: the deadline of its step (nanoseconds of
// the steady clock), the item and the step. For the frame log.
struct FrameStamp
{
    qint64 deadlineNs = -1;
    int item = -1;
    qint64 step = -1;
};

// The stamps of the steps presented since the last paint: the latest of each item, as the
// players of several zones present into one section. Fixed size: nothing is allocated a step.
class FrameStamps
{
public:
    static constexpr int kMost = 8;

    // A stamp of no paced step (deadline < 0) is none; with every place taken, the oldest
    // deadline goes.
    void add(const FrameStamp& stamp);
    void clear() { m_count = 0; }
    bool isEmpty() const { return m_count == 0; }
    int size() const { return m_count; }
    const FrameStamp* begin() const { return m_stamps.data(); }
    const FrameStamp* end() const { return m_stamps.data() + m_count; }

private:
    std::array<FrameStamp, kMost> m_stamps{};
    int m_count = 0;
};

// The render child of a section: the back buffer the players draw into, the mutex that guards
// it, and the painting rule the window uses. The play thread draws one unit at a time (lock,
// GetBackBuffer, draw, Present, unlock); the GUI thread paints under the same mutex.
class BackBuffer
{
public:
    BackBuffer() = default;
    BackBuffer(const BackBuffer&) = delete;
    BackBuffer& operator=(const BackBuffer&) = delete;

    std::mutex sectionMutex;

    // Set by the layout on the GUI thread.
    void setClientSize(QSize size);
    QSize clientSize() const;
    void setFillColor(int colorRef) { m_fillColor.store(colorRef); }
    int fillColor() const { return m_fillColor.load(); }
    void setHasWindow(bool hasWindow) { m_hasWindow.store(hasWindow); }
    bool hasWindow() const { return m_hasWindow.load(); }
    // Binds the view that Present notifies; null unbinds it. Takes the section mutex.
    void setView(SectionView* view);

    // With the section mutex held. The back buffer of the client size: made, or made again
    // filled with the fill colour when the size changed. Null without a window or with an
    // empty client area.
    QImage* GetBackBuffer();
    // With the section mutex held: fills the back buffer (made as GetBackBuffer makes it) with
    // one colour and presents it, so the window shows that and nothing else.
    void Blank(QRgb color);
    // With the section mutex held: the buffer holds a new picture; the view is told. Never
    // blocks.
    void Present();
    // The same, for the step of a paced player.
    void Present(const FrameStamp& stamp);
    // The same, telling the part of the buffer that changed (buffer coordinates): the window
    // copies only that.
    void Present(const FrameStamp& stamp, const QRect& changed);
    // On the GUI thread after a paint: the stamps presented since the last take (false when
    // none). Takes the section mutex.
    bool takeStamps(FrameStamps* stamps);
    // How many times the back buffer was presented.
    quint64 presentCount() const { return m_presentCount.load(); }

    // On the GUI thread, the present path: copies what changed since the last copy into
    // `target` (a 32-bit picture, such as a window's backing store) at `at`, and takes the
    // stamps as takeStamps does. `copied` is the part copied, in child coordinates (empty when
    // nothing changed). False, copying nothing, when there is no picture yet or `target` is of
    // another format: then the window paints by the painting rule. No allocation. Takes the
    // section mutex.
    bool copyChanged(QImage& target, QPoint at, QRect* copied, FrameStamps* stamps);

    // The painting rule, on the GUI thread: the update rectangle (child coordinates) from the
    // back buffer, the fill colour beyond it, all fill colour when nothing was drawn yet.
    // Takes the section mutex.
    void Paint(QPainter& painter, const QRect& update);

private:
    QImage m_buffer; // null: none made yet
    QRect m_bufferRect;
    QRect m_changed; // presented since the last copy, buffer coordinates
    SectionView* m_view = nullptr;
    FrameStamps m_stamps;
    std::atomic<quint64> m_size{0};
    std::atomic<int> m_fillColor{0};
    std::atomic<bool> m_hasWindow{false};
    std::atomic<quint64> m_presentCount{0};
};
