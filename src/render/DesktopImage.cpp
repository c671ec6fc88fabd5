#include "DesktopImage.h"

#include "base/ColorRef.h"
#include "canvas/SectionLayout.h"
#include "model/CAct.h"
#include "model/HeadlessSectionHost.h"
#include "model/SectionHost.h"

#include <QPainter>

#include <algorithm>
#include <optional>
#include <shared_mutex>
#include <vector>

namespace {

// Where a section's window stands on the desktop, its render child inside it (window
// coordinates) and whether it is shown.
struct Placement
{
    QRect geometry;
    QRect childRect;
    bool visible = false;
};

// Every section's placement, nothing for one without a window. With the sections' lock held.
template <class Place>
std::vector<std::optional<Placement>> placements(const CAct& area, Place&& place)
{
    std::vector<std::optional<Placement>> all;
    all.reserve(area.sections().size());
    for (int k = 0; k < static_cast<int>(area.sections().size()); ++k)
        all.push_back(place(k));
    return all;
}

bool anyShown(const std::vector<std::optional<Placement>>& all)
{
    return std::any_of(all.begin(), all.end(), [](const auto& at) { return at && at->visible; });
}

// Paints section `section`'s window, as it paints itself, at `target` (its whole window).
void paintWindow(QPainter& painter, const SectionRecord& section, const QRect& target,
                 const QRect& childRect)
{
    painter.fillRect(target, QColor::fromRgb(colorRefToRgb(section.frameColor)));
    const QRect child = childRect.translated(target.topLeft());
    painter.save();
    painter.translate(child.topLeft());
    section.renderChild->Paint(painter, QRect(QPoint(0, 0), child.size()));
    painter.restore();
}

template <class Place>
QImage desktopOf(const CAct& area, Place&& place)
{
    std::shared_lock lock(area.sectionsMutex());
    const std::vector<std::optional<Placement>> all = placements(area, place);
    QRect extent(0, 0, 0, 0);
    for (const auto& at : all)
        if (at && at->visible)
            extent = extent.united(QRect(QPoint(0, 0), at->geometry.bottomRight()));
    QImage desktop(extent.size(), QImage::Format_RGB32);
    desktop.fill(Qt::black);
    if (desktop.isNull())
        return desktop;
    QPainter painter(&desktop);
    for (size_t k = 0; k < all.size(); ++k)
        if (all[k] && all[k]->visible)
            paintWindow(painter, *area.sections()[k], all[k]->geometry, all[k]->childRect);
    return desktop;
}

template <class Place>
QImage wallOf(const CAct& area, Place&& place)
{
    std::shared_lock lock(area.sectionsMutex());
    const std::vector<std::optional<Placement>> all = placements(area, place);
    if (!anyShown(all))
        return QImage();
    // The bands join along the axis AreaBands cuts the picture on.
    const bool stacked = SectionLayout::splitsHeight(area.settings().splitMode);
    std::vector<QPoint> at(all.size());
    QSize size(0, 0);
    for (size_t k = 0; k < all.size(); ++k) {
        if (!all[k])
            continue;
        const QSize window = all[k]->geometry.size();
        if (stacked) {
            at[k] = QPoint(0, size.height());
            size = QSize(std::max(size.width(), window.width()), size.height() + window.height());
        } else {
            at[k] = QPoint(size.width(), 0);
            size = QSize(size.width() + window.width(), std::max(size.height(), window.height()));
        }
    }
    QImage wall(size, QImage::Format_RGB32);
    wall.fill(Qt::black);
    if (wall.isNull())
        return wall;
    QPainter painter(&wall);
    for (size_t k = 0; k < all.size(); ++k)
        if (all[k] && all[k]->visible)
            paintWindow(painter, *area.sections()[k], QRect(at[k], all[k]->geometry.size()),
                        all[k]->childRect);
    return wall;
}

// The placements a headless host keeps.
auto headlessPlace(const CAct& area, const HeadlessSectionHost& host)
{
    return [&area, &host](int k) -> std::optional<Placement> {
        const HeadlessSectionHost::Window* window = host.window(*area.sections()[size_t(k)]);
        if (!window)
            return std::nullopt;
        return Placement{window->geometry, window->childRect, window->visible};
    };
}

// The placements from the area's own layout and its host's visibility.
auto areaPlace(const CAct& area)
{
    return [&area](int k) -> std::optional<Placement> {
        const SectionRecord& section = *area.sections()[size_t(k)];
        const SectionHost* host = area.sectionHost();
        const QRect geometry = area.SectionWindowRect(k);
        return Placement{geometry,
                         SectionLayout::childRect(geometry.size(), section.frameLines,
                                                  static_cast<int>(area.sections().size()),
                                                  section.sectionIndex, section.splitMode),
                         host && host->isWindowVisible(section)};
    };
}

} // namespace

QImage composeDesktop(const CAct& area, const HeadlessSectionHost& host)
{
    return desktopOf(area, headlessPlace(area, host));
}

QImage composeDesktop(const CAct& area)
{
    return desktopOf(area, areaPlace(area));
}

QImage composeWall(const CAct& area, const HeadlessSectionHost& host)
{
    return wallOf(area, headlessPlace(area, host));
}

QImage composeWall(const CAct& area)
{
    return wallOf(area, areaPlace(area));
}
