#include "DesktopImage.h"

#include "base/ColorRef.h"
#include "canvas/SectionLayout.h"
#include "model/CAct.h"
#include "model/HeadlessSectionHost.h"
#include "model/SectionHost.h"

#include <QPainter>

#include <optional>
#include <shared_mutex>

namespace {

// Where a section's window stands on the desktop and its render child inside it (window
// coordinates); nothing when the window is not shown.
struct Placement
{
    QRect geometry;
    QRect childRect;
};

// The desktop from the placements `place(k)` gives, with the sections' lock held.
template <class Place>
QImage compose(const CAct& area, Place&& place)
{
    std::shared_lock lock(area.sectionsMutex());
    const int count = static_cast<int>(area.sections().size());
    QRect extent(0, 0, 0, 0);
    for (int k = 0; k < count; ++k)
        if (const std::optional<Placement> at = place(k))
            extent = extent.united(QRect(QPoint(0, 0), at->geometry.bottomRight()));
    QImage desktop(extent.size(), QImage::Format_RGB32);
    desktop.fill(Qt::black);
    if (desktop.isNull())
        return desktop;
    QPainter painter(&desktop);
    for (int k = 0; k < count; ++k) {
        const std::optional<Placement> at = place(k);
        if (!at)
            continue;
        const SectionRecord& section = *area.sections()[size_t(k)];
        painter.fillRect(at->geometry, QColor::fromRgb(colorRefToRgb(section.frameColor)));
        const QRect child = at->childRect.translated(at->geometry.topLeft());
        painter.save();
        painter.translate(child.topLeft());
        section.renderChild->Paint(painter, QRect(QPoint(0, 0), child.size()));
        painter.restore();
    }
    return desktop;
}

} // namespace

QImage composeDesktop(const CAct& area, const HeadlessSectionHost& host)
{
    return compose(area, [&](int k) -> std::optional<Placement> {
        const HeadlessSectionHost::Window* window = host.window(*area.sections()[size_t(k)]);
        if (!window || !window->visible)
            return std::nullopt;
        return Placement{window->geometry, window->childRect};
    });
}

QImage composeDesktop(const CAct& area)
{
    const SectionHost* host = area.sectionHost();
    return compose(area, [&](int k) -> std::optional<Placement> {
        const SectionRecord& section = *area.sections()[size_t(k)];
        if (!host || !host->isWindowVisible(section))
            return std::nullopt;
        const QRect geometry = area.SectionWindowRect(k);
        return Placement{geometry,
                         SectionLayout::childRect(geometry.size(), section.frameLines,
                                                  static_cast<int>(area.sections().size()),
                                                  section.sectionIndex, section.splitMode)};
    });
}
