#include "DesktopImage.h"

#include "base/ColorRef.h"
#include "canvas/SectionLayout.h"
#include "model/CAct.h"
#include "model/HeadlessSectionHost.h"
#include "model/SectionHost.h"

#include <QPainter>

#include <shared_mutex>

QImage composeDesktop(const CAct& area, const HeadlessSectionHost& host)
{
    std::shared_lock lock(area.sectionsMutex());
    QRect extent(0, 0, 0, 0);
    for (const auto& section : area.sections) {
        if (const HeadlessSectionHost::Window* window = host.window(*section);
            window && window->visible)
            extent = extent.united(QRect(QPoint(0, 0), window->geometry.bottomRight()));
    }
    QImage desktop(extent.size(), QImage::Format_RGB32);
    desktop.fill(Qt::black);
    if (desktop.isNull())
        return desktop;
    QPainter painter(&desktop);
    for (const auto& section : area.sections) {
        const HeadlessSectionHost::Window* window = host.window(*section);
        if (!window || !window->visible)
            continue;
        painter.fillRect(window->geometry, QColor::fromRgb(colorRefToRgb(section->frameColor)));
        const QRect child = window->childRect.translated(window->geometry.topLeft());
        painter.save();
        painter.translate(child.topLeft());
        section->renderChild->Paint(painter, QRect(QPoint(0, 0), child.size()));
        painter.restore();
    }
    return desktop;
}

QImage composeDesktop(const CAct& area)
{
    std::shared_lock lock(area.sectionsMutex());
    const SectionHost* host = area.sectionHost();
    const int count = static_cast<int>(area.sections.size());
    QRect extent(0, 0, 0, 0);
    for (int k = 0; k < count; ++k)
        if (host && host->isWindowVisible(*area.sections[size_t(k)]))
            extent = extent.united(QRect(QPoint(0, 0), area.SectionWindowRect(k).bottomRight()));
    QImage desktop(extent.size(), QImage::Format_RGB32);
    desktop.fill(Qt::black);
    if (desktop.isNull())
        return desktop;
    QPainter painter(&desktop);
    for (int k = 0; k < count; ++k) {
        const CActWnd& section = *area.sections[size_t(k)];
        if (!host || !host->isWindowVisible(section))
            continue;
        const QRect geometry = area.SectionWindowRect(k);
        painter.fillRect(geometry, QColor::fromRgb(colorRefToRgb(section.frameColor)));
        const QRect child = SectionLayout::childRect(geometry.size(), section.frameLines, count,
                                                     section.sectionIndex, section.splitMode)
                                .translated(geometry.topLeft());
        painter.save();
        painter.translate(child.topLeft());
        section.renderChild->Paint(painter, QRect(QPoint(0, 0), child.size()));
        painter.restore();
    }
    return desktop;
}
