#include "TransitionEngine.h"

#include "FrameEffect.h"
#include "PixelOps.h"
#include "canvas/SectionLayout.h"
#include "model/CAct.h"
#include "model/Pacer.h"

#include <mutex>
#include <shared_mutex>
#include <vector>

namespace {

// One section as a step sees it: its band of the picture and its render child's size. A zone's
// transition sees one band without a section: the zone's own picture, passed on to the sections.
struct Band
{
    SectionRecord* section; // null: the zone's picture
    int offset;             // start of the band along the split axis of the picture
    int width;
    int height;
};

constexpr int kNone = -1000000; // a line that lies in no band
constexpr int kFrameMs = 10;    // the frame effects draw no closer than this

class Transition
{
public:
    Transition(const QImage& source, int speed, CAct& area, WaitClock::TimePoint start)
        : m_source(source), m_speed(speed), m_area(area), m_pacer(area, start)
    {
        // The settings dialog may be dividing the sections again right now.
        std::shared_lock lock(area.sectionsMutex());
        m_stacked = SectionLayout::splitsHeight(area.settings().splitMode);
        const QRect total = area.TotalRect();
        m_zone = area.zoneRectLocked();
        m_width = m_zone.width();
        m_height = m_zone.height();
        m_bands.reserve(area.sections().size());
        if (m_zone != total && !m_zone.isEmpty()) {
            // A zone: the effect runs on its picture as on one section (the one allocation),
            // and every unit passes what it drew on to the sections under the zone.
            m_zoned = true;
            m_stacked = false;
            m_picture = QImage(m_zone.size(), QImage::Format_RGB32);
            m_picture.fill(Qt::black);
            forZoneParts([&](BackBuffer& child, const QRect& inZone, QPoint bufferAt) {
                std::lock_guard sectionLock(child.sectionMutex);
                if (const QImage* buffer = child.GetBackBuffer())
                    PixelOps::copyRect(*buffer, bufferAt.x(), bufferAt.y(), m_picture, inZone.x(),
                                       inZone.y(), inZone.width(), inZone.height());
            });
        }
    }

    void run(int effect);

private:
    // One step: past the pause gate, with the section list held still while it draws.
    template <class Draw>
    bool step(Draw&& draw)
    {
        if (m_pacer.gate())
            return false;
        std::shared_lock lock(m_area.sectionsMutex());
        refreshBands();
        // What the frame log tells of this step: the deadline it was drawn after.
        m_stamp = FrameStamp{std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 m_pacer.deadline().time_since_epoch())
                                 .count(),
                             m_area.currentIndex(), m_stamp.step + 1};
        draw();
        return true;
    }

    // One drawing unit: lock, draw into the back buffer, present, unlock. `changed` (buffer
    // coordinates) is what the window copies; null: all of it.
    template <class Draw>
    void unit(const Band& band, Draw&& draw, const QRect& changed = QRect()) const
    {
        if (!band.section) {
            draw(m_picture);
            const QRect drawn = changed.isNull() ? m_picture.rect() : changed & m_picture.rect();
            forZoneParts([&](BackBuffer& child, const QRect& inZone, QPoint bufferAt) {
                const QRect part = inZone & drawn;
                if (part.isEmpty())
                    return;
                std::lock_guard lock(child.sectionMutex);
                QImage* buffer = child.GetBackBuffer();
                if (!buffer)
                    return;
                const QPoint at = bufferAt + (part.topLeft() - inZone.topLeft());
                PixelOps::copyRect(m_picture, part.x(), part.y(), *buffer, at.x(), at.y(),
                                   part.width(), part.height());
                child.Present(m_stamp, QRect(at, part.size()));
            });
            return;
        }
        BackBuffer& child = *band.section->renderChild;
        std::lock_guard lock(child.sectionMutex);
        QImage* buffer = child.GetBackBuffer();
        if (!buffer)
            return;
        draw(*buffer);
        if (changed.isNull())
            child.Present(m_stamp);
        else
            child.Present(m_stamp, changed);
    }

    // Reads a neighbour's back buffer under its own mutex, never while holding another.
    template <class Read>
    void unitRead(const Band& band, Read&& read) const
    {
        if (!band.section) {
            read(m_picture);
            return;
        }
        BackBuffer& child = *band.section->renderChild;
        std::lock_guard lock(child.sectionMutex);
        if (const QImage* buffer = child.GetBackBuffer())
            read(*buffer);
    }

    // With the sections lock held: `unit(child, part of the zone in zone coordinates, where
    // its top left lies in the child's buffer)` for every section under the zone.
    template <class Unit>
    void forZoneParts(Unit&& unit) const
    {
        m_area.forEachBand([&](SectionRecord& section, const QRect& band) {
            const QRect part = band & m_zone;
            if (!part.isEmpty())
                unit(*section.renderChild, part.translated(-m_zone.topLeft()),
                     part.topLeft() - band.topLeft());
        });
    }

    void refreshBands()
    {
        m_bands.clear();
        if (m_zoned) {
            m_bands.push_back(Band{nullptr, 0, m_width, m_height});
            return;
        }
        m_area.forEachBand([&](SectionRecord& section, const QRect& band) {
            m_bands.push_back(
                Band{&section, m_stacked ? band.y() : band.x(), band.width(), band.height()});
        });
    }

    // Local column x of a band from the picture.
    void copyColumn(const Band& b, int x, QImage& buffer) const
    {
        if (m_stacked)
            PixelOps::copyRect(m_source, x, b.offset, buffer, x, 0, 1, b.height);
        else
            PixelOps::copyRect(m_source, b.offset + x, 0, buffer, x, 0, 1, b.height);
    }
    void copyRow(const Band& b, int y, QImage& buffer) const
    {
        if (m_stacked)
            PixelOps::copyRect(m_source, 0, b.offset + y, buffer, 0, y, b.width, 1);
        else
            PixelOps::copyRect(m_source, b.offset, y, buffer, 0, y, b.width, 1);
    }
    void copyWholeBand(const Band& b, QImage& buffer) const
    {
        if (m_stacked)
            PixelOps::copyRect(m_source, 0, b.offset, buffer, 0, 0, b.width, b.height);
        else
            PixelOps::copyRect(m_source, b.offset, 0, buffer, 0, 0, b.width, b.height);
    }

    // Picture column or row j as a local line of a band (outside it when it is not there).
    int localColumn(const Band& b, int j) const { return m_stacked ? j : j - b.offset; }
    int localRow(const Band& b, int j) const { return m_stacked ? j - b.offset : j; }

    // The part of a band that one or two local lines cover.
    template <class Line>
    static QRect lineSpan(bool in1, int a, bool in2, int b, Line&& line)
    {
        QRect span;
        if (in1)
            span = line(a);
        if (in2)
            span |= line(b);
        return span;
    }

    // Draws up to two local lines per band, in one unit for each band they touch.
    template <class Local>
    void drawColumns(Local&& local)
    {
        for (const Band& b : m_bands) {
            const std::pair<int, int> lines = local(b);
            const int x1 = lines.first;
            const int x2 = lines.second;
            const bool in1 = x1 >= 0 && x1 < b.width;
            const bool in2 = x2 >= 0 && x2 < b.width && x2 != x1;
            if (in1 || in2)
                unit(
                    b,
                    [&](QImage& buffer) {
                        if (in1)
                            copyColumn(b, x1, buffer);
                        if (in2)
                            copyColumn(b, x2, buffer);
                    },
                    lineSpan(in1, x1, in2, x2, [&](int x) { return QRect(x, 0, 1, b.height); }));
        }
    }
    template <class Local>
    void drawRows(Local&& local)
    {
        for (const Band& b : m_bands) {
            const std::pair<int, int> lines = local(b);
            const int y1 = lines.first;
            const int y2 = lines.second;
            const bool in1 = y1 >= 0 && y1 < b.height;
            const bool in2 = y2 >= 0 && y2 < b.height && y2 != y1;
            if (in1 || in2)
                unit(
                    b,
                    [&](QImage& buffer) {
                        if (in1)
                            copyRow(b, y1, buffer);
                        if (in2)
                            copyRow(b, y2, buffer);
                    },
                    lineSpan(in1, y1, in2, y2, [&](int y) { return QRect(0, y, b.width, 1); }));
        }
    }

    // Pacing; each returns true when the stop event ended the wait.
    bool coverPace(int j)
    {
        if (m_speed >= 6)
            return m_pacer.wait(m_speed - 5);
        return j % (6 - m_speed) == 0 ? m_pacer.wait(1) : false;
    }
    bool linePace(int i)
    {
        if (m_speed >= 3)
            return m_pacer.wait(m_speed - 2);
        return i % (3 - m_speed) == 0 ? m_pacer.wait(1) : false;
    }
    bool slatPace() { return m_pacer.wait(5 * m_speed + 5); }

    void drawAtOnce();
    void frames(int effect);
    void drawFrame(const FrameEffect& look, const Band& b, QImage& buffer) const;
    void cover(bool columns, bool forward);
    void slats(bool columns);
    void openFromMiddle(bool columns);
    void closeToMiddle(bool columns);
    void moveUpDown(bool up);
    void moveLeftRight(bool left);

    const QImage& m_source;
    const int m_speed;
    CAct& m_area;
    Pacer m_pacer;
    bool m_stacked = false;
    int m_width = 0;
    int m_height = 0;
    QRect m_zone; // where the picture lies in the whole LED
    bool m_zoned = false;
    mutable QImage m_picture; // a zone's: what the effect draws on
    std::vector<Band> m_bands;
    FrameStamp m_stamp;
};

void Transition::run(int effect)
{
    switch (effect) {
    case 1:
        if (!m_pacer.wait(100))
            drawAtOnce();
        return;
    case 2:
        return cover(true, true);
    case 3:
        return cover(true, false);
    case 4:
        return cover(false, true);
    case 5:
        return cover(false, false);
    case 6:
        return slats(true);
    case 7:
        return slats(false);
    case 8:
        return openFromMiddle(true);
    case 9:
        return openFromMiddle(false);
    case 10:
        return closeToMiddle(true);
    case 11:
        return closeToMiddle(false);
    case 12:
        return moveUpDown(true);
    case 13:
        return moveUpDown(false);
    case 14:
        return moveLeftRight(true);
    case 15:
        return moveLeftRight(false);
    default:
        if (FrameEffect::handles(effect))
            return frames(effect);
        return drawAtOnce();
    }
}

void Transition::drawAtOnce()
{
    step([&] {
        for (const Band& b : m_bands)
            unit(b, [&](QImage& buffer) { copyWholeBand(b, buffer); });
    });
}

// What a left cover of `width` columns waits in all at this speed (the cover pacing).
qint64 coverDurationMs(int width, int speed)
{
    if (width <= 0)
        return 0;
    if (speed >= 6)
        return qint64(width) * (qint64(speed) - 5);
    const qint64 every = 6 - qint64(speed);
    return (width + every - 1) / every;
}

void Transition::frames(int effect)
{
    if (m_source.size() != QSize(m_width, m_height) || m_source.depth() != 32 || m_width <= 0 ||
        m_height <= 0)
        return drawAtOnce();
    // The old picture is what the sections show now: the one allocation of the effect.
    QImage old(m_width, m_height, QImage::Format_RGB32);
    old.fill(Qt::black);
    {
        std::shared_lock lock(m_area.sectionsMutex());
        refreshBands();
        for (const Band& b : m_bands)
            unitRead(b, [&](const QImage& buffer) {
                PixelOps::copyRect(buffer, 0, 0, old, m_stacked ? 0 : b.offset,
                                   m_stacked ? b.offset : 0, b.width, b.height);
            });
    }
    FrameEffect look(effect, old, m_source);
    // As long as a left cover of the same picture at the same speed, in frames no closer than
    // kFrameMs; the waits add up to exactly that length.
    const qint64 total = coverDurationMs(m_width, m_speed);
    const qint64 count = std::max<qint64>(1, total / kFrameMs);
    qint64 waited = 0;
    for (qint64 k = 1; k <= count; ++k) {
        const bool drawn = step([&] {
            look.setProgress(k == count ? 1.0 : double(k) / double(count));
            for (const Band& b : m_bands)
                unit(b, [&](QImage& buffer) { drawFrame(look, b, buffer); });
        });
        if (!drawn)
            return;
        const qint64 due = total * k / count;
        if (m_pacer.wait(static_cast<int>(due - waited)))
            return;
        waited = due;
    }
}

void Transition::drawFrame(const FrameEffect& look, const Band& b, QImage& buffer) const
{
    // The band's part of the picture, cut to the picture and to the buffer.
    const int x0 = m_stacked ? 0 : b.offset;
    const int y0 = m_stacked ? b.offset : 0;
    const int columns = std::min({b.width, buffer.width(), m_width - x0});
    const int rows = std::min({b.height, buffer.height(), m_height - y0});
    if (columns <= 0 || buffer.depth() != 32)
        return;
    for (int y = 0; y < rows; ++y)
        look.row(y0 + y, x0, columns, reinterpret_cast<QRgb*>(buffer.scanLine(y)));
}

void Transition::cover(bool columns, bool forward)
{
    const int count = columns ? m_width : m_height;
    for (int n = 0; n < count; ++n) {
        const int j = forward ? n : count - 1 - n;
        const bool drawn = step([&] {
            if (columns)
                drawColumns([&](const Band& b) { return std::pair(localColumn(b, j), kNone); });
            else
                drawRows([&](const Band& b) { return std::pair(localRow(b, j), kNone); });
        });
        if (!drawn || coverPace(j))
            return;
    }
}

void Transition::slats(bool columns)
{
    for (int i = 0; i < 10; ++i) {
        const bool drawn = step([&] {
            for (const Band& b : m_bands) {
                unit(b, [&](QImage& buffer) {
                    if (columns) {
                        for (int x = i; x < b.width; x += 10)
                            copyColumn(b, x, buffer);
                    } else {
                        for (int y = i; y < b.height; y += 10)
                            copyRow(b, y, buffer);
                    }
                });
            }
        });
        if (!drawn || slatPace())
            return;
    }
}

void Transition::openFromMiddle(bool columns)
{
    const int m = ((columns ? m_width : m_height) + 1) / 2;
    for (int i = 0; i <= m; ++i) {
        const bool drawn = step([&] {
            if (columns)
                drawColumns([&](const Band& b) {
                    return std::pair(localColumn(b, m - i), localColumn(b, m + i));
                });
            else
                drawRows([&](const Band& b) {
                    return std::pair(localRow(b, m - i), localRow(b, m + i));
                });
        });
        if (!drawn || linePace(i))
            return;
    }
}

void Transition::closeToMiddle(bool columns)
{
    const int m = ((columns ? m_width : m_height) + 1) / 2;
    for (int i = 0; i <= m; ++i) {
        const bool drawn = step([&] {
            if (columns) {
                // Stacked, every section closes on its own width.
                drawColumns([&](const Band& b) {
                    return m_stacked ? std::pair(i, b.width - i)
                                     : std::pair(localColumn(b, i), localColumn(b, m_width - i));
                });
            } else {
                // Side by side, every section closes on its own height.
                drawRows([&](const Band& b) {
                    return m_stacked ? std::pair(localRow(b, i), localRow(b, m_height - i))
                                     : std::pair(i, b.height - i);
                });
            }
        });
        if (!drawn || linePace(i))
            return;
    }
}

void Transition::moveUpDown(bool up)
{
    if (m_height < 1)
        return;
    // The chain through stacked sections passes lines on through a one-line scratch surface.
    QImage scratch;
    if (m_stacked)
        scratch = QImage(std::max(1, m_width), 1, QImage::Format_RGB32);
    for (int i = 0; i < m_height; ++i) {
        const int sourceRow = up ? i : m_height - 1 - i;
        const bool drawn = step([&] {
            if (!m_stacked) {
                for (const Band& b : m_bands) {
                    unit(b, [&](QImage& buffer) {
                        up ? PixelOps::scrollUp(buffer) : PixelOps::scrollDown(buffer);
                        PixelOps::copyRect(m_source, b.offset, sourceRow, buffer, 0,
                                           up ? b.height - 1 : 0, b.width, 1);
                    });
                }
                return;
            }
            const int n = static_cast<int>(m_bands.size());
            for (int s = 0; s < n; ++s) {
                const int k = up ? s : n - 1 - s;
                const int neighbour = up ? k + 1 : k - 1;
                const bool fromPicture = neighbour < 0 || neighbour >= n;
                if (!fromPicture) {
                    // The neighbour's edge line, read before the neighbour moves in this step.
                    const Band& nb = m_bands[static_cast<size_t>(neighbour)];
                    unitRead(nb, [&](const QImage& buffer) {
                        PixelOps::copyRect(buffer, 0, up ? 0 : buffer.height() - 1, scratch, 0, 0,
                                           buffer.width(), 1);
                    });
                }
                const Band& b = m_bands[static_cast<size_t>(k)];
                unit(b, [&](QImage& buffer) {
                    up ? PixelOps::scrollUp(buffer) : PixelOps::scrollDown(buffer);
                    const int y = up ? b.height - 1 : 0;
                    if (fromPicture)
                        PixelOps::copyRect(m_source, 0, sourceRow, buffer, 0, y, b.width, 1);
                    else
                        PixelOps::copyRect(scratch, 0, 0, buffer, 0, y, b.width, 1);
                });
            }
        });
        if (!drawn || linePace(i))
            return;
    }
}

void Transition::moveLeftRight(bool left)
{
    if (m_width < 1)
        return;
    QImage scratch;
    if (!m_stacked)
        scratch = QImage(1, std::max(1, m_height), QImage::Format_RGB32);
    for (int i = 0; i < m_width; ++i) {
        const bool drawn = step([&] {
            if (m_stacked) {
                for (const Band& b : m_bands) {
                    unit(b, [&](QImage& buffer) {
                        left ? PixelOps::scrollLeft(buffer) : PixelOps::scrollRight(buffer);
                        const int sourceColumn = left ? i : b.width - 1 - i;
                        PixelOps::copyRect(m_source, sourceColumn, b.offset, buffer,
                                           left ? b.width - 1 : 0, 0, 1, b.height);
                    });
                }
                return;
            }
            const int n = static_cast<int>(m_bands.size());
            for (int s = 0; s < n; ++s) {
                const int k = left ? s : n - 1 - s;
                const int neighbour = left ? k + 1 : k - 1;
                const bool fromPicture = neighbour < 0 || neighbour >= n;
                if (!fromPicture) {
                    const Band& nb = m_bands[static_cast<size_t>(neighbour)];
                    unitRead(nb, [&](const QImage& buffer) {
                        PixelOps::copyRect(buffer, left ? 0 : buffer.width() - 1, 0, scratch, 0, 0,
                                           1, buffer.height());
                    });
                }
                const Band& b = m_bands[static_cast<size_t>(k)];
                unit(b, [&](QImage& buffer) {
                    left ? PixelOps::scrollLeft(buffer) : PixelOps::scrollRight(buffer);
                    const int x = left ? b.width - 1 : 0;
                    if (fromPicture)
                        PixelOps::copyRect(m_source, left ? i : m_width - 1 - i, 0, buffer, x, 0, 1,
                                           b.height);
                    else
                        PixelOps::copyRect(scratch, 0, 0, buffer, x, 0, 1, b.height);
                });
            }
        });
        if (!drawn || linePace(i))
            return;
    }
}

} // namespace

bool RunTransition(const QImage& source, int effect, int speed, CAct& area, TransitionStart start)
{
    WaitClock::TimePoint at = area.clock().now();
    if (start == TransitionStart::Group && area.enterStep(effect, at))
        return true;
    Transition transition(source, speed, area, at);
    transition.run(effect);
    return true;
}
