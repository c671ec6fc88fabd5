#pragma once

#include "VirtualClock.h"
#include "model/CAct.h"
#include "model/HeadlessSectionHost.h"

#include <QFile>
#include <QImage>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

// How many pixels of the image have this colour.
inline int countColour(const QImage& image, QRgb rgb)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == rgb;
    return n;
}

// The area cut into sections of these lengths on a headless host, waiting on a virtual clock and
// telling `observer` what it shows.
inline void setUpSections(CAct& area, HeadlessSectionHost& host, VirtualClock& clock,
                          PlayObserver* observer, int splitMode, int width, int height,
                          const std::vector<int>& lengths)
{
    area.ClearSections();
    area.setSectionHost(&host);
    area.setClock(clock);
    area.setPlayObserver(observer);
    area.changeSettings([&](AreaSettings& s) {
        s.splitMode = splitMode;
        s.ledWidth = width;
        s.ledHeight = height;
    });
    for (size_t i = 0; i < lengths.size(); ++i)
        area.AddSection(int(i), lengths[i], 0);
    area.LayoutSections();
}

// The sections' pictures put back together as the area's picture, read pixel by pixel (black
// where no section shows).
inline QImage joinedSections(const CAct& area)
{
    const QRect total = area.TotalRect();
    QImage picture(total.size(), QImage::Format_RGB32);
    picture.fill(Qt::black);
    int offset = 0;
    const bool stacked = area.settings().splitMode != 0;
    for (const auto& section : area.sections()) {
        BackBuffer& child = *section->renderChild;
        std::lock_guard lock(child.sectionMutex);
        const QImage* buffer = child.GetBackBuffer();
        for (int y = 0; y < buffer->height(); ++y)
            for (int x = 0; x < buffer->width(); ++x) {
                const QPoint at = stacked ? QPoint(x, offset + y) : QPoint(offset + x, y);
                if (picture.rect().contains(at))
                    picture.setPixel(at, buffer->pixel(x, y));
            }
        offset += stacked ? buffer->height() : buffer->width();
    }
    return picture;
}

// An area of one section on a headless host, waiting on a virtual clock, that records every
// picture its items report: the details and what section 0 showed then.
class PlayerFixture : public testing::Test, public PlayObserver
{
protected:
    void setUpArea(int width, int height)
    {
        setUpSections(area, host, clock, this, area.settings().splitMode, width, height, {width});
    }

    void pictureShown(const CPropBase&, const QJsonObject& details) override
    {
        pages.push_back(details);
        shown.push_back(section(0));
    }

    QImage section(int k)
    {
        BackBuffer& child = *area.sections()[size_t(k)]->renderChild;
        std::lock_guard lock(child.sectionMutex);
        return child.GetBackBuffer()->copy();
    }

    // A file in the fixture's folder; its path.
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    static int countColour(const QImage& image, QRgb rgb) { return ::countColour(image, rgb); }

    QTemporaryDir dir;
    VirtualClock clock;
    HeadlessSectionHost host;
    CAct area;
    std::vector<QJsonObject> pages;
    std::vector<QImage> shown;
};
