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
    const bool stacked = SectionLayout::splitsHeight(area.settings().splitMode);
    int offset = 0;
    for (const auto& section : area.sections()) {
        BackBuffer* child = section->renderChild.get();
        const QSize size = child->clientSize();
        bands.push_back(AreaBand{child, stacked ? QRect(QPoint(0, offset), size)
                                                : QRect(QPoint(offset, 0), size)});
        offset += stacked ? size.height() : size.width();
    }
}

void AreaBands::present(CAct& area, const QImage& picture, const QRect& region,
                        const FrameStamp* stamp)
{
    const QRect dirty = region & picture.rect();
    if (dirty.isEmpty())
        return;
    std::shared_lock sections(area.sectionsMutex());
    const bool stacked = SectionLayout::splitsHeight(area.settings().splitMode);
    int offset = 0;
    for (const auto& section : area.sections()) {
        BackBuffer& child = *section->renderChild;
        const QSize size = child.clientSize();
        const QRect band =
            stacked ? QRect(QPoint(0, offset), size) : QRect(QPoint(offset, 0), size);
        offset += stacked ? size.height() : size.width();
        const QRect part = band & dirty;
        if (part.isEmpty())
            continue;
        std::lock_guard lock(child.sectionMutex);
        if (QImage* buffer = child.GetBackBuffer()) {
            PixelOps::copyRect(picture, part.x(), part.y(), *buffer, part.x() - band.x(),
                               part.y() - band.y(), part.width(), part.height());
            if (stamp)
                child.Present(*stamp, part.translated(-band.topLeft()));
            else
                child.Present();
        }
    }
}
