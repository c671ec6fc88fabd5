#pragma once

#include "model/CAct.h"
#include "model/HeadlessSectionHost.h"
#include "support/VirtualClock.h"

#include <gtest/gtest.h>

#include <QImage>

#include <mutex>
#include <set>
#include <vector>

// A picture in which every pixel differs from its neighbours.
inline QImage pattern(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x & 0xFF, y & 0xFF, 0x80 | ((x >> 8) << 3) | (y >> 8)));
    return image;
}

class TransitionTest : public testing::Test
{
protected:
    // Sections of the given lengths along the split axis; `across` is the LED size across it.
    void makeSections(int splitMode, std::vector<int> lengths, int across, int frameLines = 0)
    {
        area.setSectionHost(&host);
        area.setClock(clock);
        int total = 0;
        for (size_t i = 0; i < lengths.size(); ++i) {
            area.AddSection(static_cast<int>(i), lengths[i], 0);
            total += lengths[i];
        }
        area.changeSettings([&](AreaSettings& s) {
            s.splitMode = splitMode;
            s.frameLines = frameLines;
            s.backColor = 0x00404040; // the old picture: grey
            (splitMode == 0 ? s.ledWidth : s.ledHeight) = total;
            (splitMode == 0 ? s.ledHeight : s.ledWidth) = across;
        });
        area.LayoutSections();
        source = pattern(area.TotalRect().size());
    }

    // What the sections show, joined in picture order.
    QImage shown()
    {
        QImage joined(area.TotalRect().size(), QImage::Format_RGB32);
        joined.fill(Qt::magenta);
        int offset = 0;
        for (const auto& section : area.sections()) {
            BackBuffer& child = *section->renderChild;
            std::lock_guard lock(child.sectionMutex);
            const QImage* buffer = child.GetBackBuffer();
            const QPoint at =
                area.settings().splitMode == 0 ? QPoint(offset, 0) : QPoint(0, offset);
            for (int y = 0; y < buffer->height(); ++y)
                for (int x = 0; x < buffer->width(); ++x)
                    joined.setPixel(at + QPoint(x, y), buffer->pixel(x, y));
            offset += area.settings().splitMode == 0 ? buffer->width() : buffer->height();
        }
        return joined;
    }

    // The picture columns that show the new picture.
    std::set<int> newColumns()
    {
        const QImage now = shown();
        std::set<int> columns;
        for (int x = 0; x < now.width(); ++x)
            if (now.pixel(x, now.height() / 2) == source.pixel(x, now.height() / 2))
                columns.insert(x);
        return columns;
    }

    quint64 presents() const
    {
        quint64 n = 0;
        for (const auto& section : area.sections())
            n += section->renderChild->presentCount();
        return n;
    }

    VirtualClock clock;
    HeadlessSectionHost host;
    CAct area;
    QImage source;
};
