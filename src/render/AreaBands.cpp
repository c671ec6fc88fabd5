#include "AreaBands.h"

#include "PixelOps.h"
#include "canvas/BackBuffer.h"
#include "canvas/SectionLayout.h"
#include "model/CAct.h"

#include <QImage>

#include <mutex>
#include <shared_mutex>

void AreaBands::collect(const CAct& area, std::vector<AreaBand>& bands)
{
    bands.clear();
    // In the zone's own coordinates: a player draws its zone as it draws a whole LED.
    const QPoint zone = area.zoneRectLocked().topLeft();
    area.forEachBand([&](SectionRecord& section, const QRect& band) {
        bands.push_back(AreaBand{section.renderChild.get(), band.translated(-zone)});
    });
}

namespace {

// Calls `unit(child, buffer, part in picture coordinates, band origin)` for every section that
// `dirty` touches, each under its own mutex, with the sections lock held.
template <class Unit>
void forEachPart(CAct& area, const QRect& dirty, Unit&& unit)
{
    if (dirty.isEmpty())
        return;
    std::shared_lock sections(area.sectionsMutex());
    const QRect zone = area.zoneRectLocked();
    // `dirty` is in the zone's coordinates, cut to it.
    const QRect inZone = dirty & QRect(QPoint(0, 0), zone.size());
    area.forEachBand([&](SectionRecord& section, const QRect& whole) {
        BackBuffer& child = *section.renderChild;
        const QRect band = whole.translated(-zone.topLeft());
        const QRect part = band & inZone;
        if (part.isEmpty())
            return;
        std::lock_guard lock(child.sectionMutex);
        if (QImage* buffer = child.GetBackBuffer())
            unit(child, *buffer, part, band.topLeft());
    });
}

} // namespace

void AreaBands::present(CAct& area, const QImage& picture, const QRect& region,
                        const FrameStamp* stamp)
{
    forEachPart(area, region & picture.rect(),
                [&](BackBuffer& child, QImage& buffer, const QRect& part, QPoint origin) {
                    PixelOps::copyRect(picture, part.x(), part.y(), buffer, part.x() - origin.x(),
                                       part.y() - origin.y(), part.width(), part.height());
                    if (stamp)
                        child.Present(*stamp, part.translated(-origin));
                    else
                        child.Present();
                });
}

void AreaBands::stage(CAct& area, const QImage& picture, const QRect& region)
{
    forEachPart(area, region & picture.rect(),
                [&](BackBuffer&, QImage& buffer, const QRect& part, QPoint origin) {
                    PixelOps::copyRect(picture, part.x(), part.y(), buffer, part.x() - origin.x(),
                                       part.y() - origin.y(), part.width(), part.height());
                });
}

void AreaBands::presentStaged(CAct& area, const QRect& region, const FrameStamp& stamp)
{
    forEachPart(area, region, [&](BackBuffer& child, QImage&, const QRect& part, QPoint origin) {
        child.Present(stamp, part.translated(-origin));
    });
}
