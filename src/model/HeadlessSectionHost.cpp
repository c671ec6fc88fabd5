#include "HeadlessSectionHost.h"

#include "SectionRecord.h"
#include "canvas/BackBuffer.h"

void HeadlessSectionHost::createWindow(SectionRecord& section, const QString& title)
{
    Window& window = m_windows[&section];
    window.title = title;
    section.renderChild->setClientSize(window.childRect.size());
    section.renderChild->setHasWindow(true);
}

void HeadlessSectionHost::destroyWindow(SectionRecord& section)
{
    section.renderChild->setHasWindow(false);
    m_windows.erase(&section);
}

void HeadlessSectionHost::placeWindow(SectionRecord& section, const QRect& geometry,
                                      const QRect& childRect)
{
    const auto it = m_windows.find(&section);
    if (it == m_windows.end())
        return;
    it->second.geometry = geometry;
    it->second.childRect = childRect;
    it->second.visible = true;
}

void HeadlessSectionHost::showWindow(SectionRecord& section, bool show)
{
    const auto it = m_windows.find(&section);
    if (it != m_windows.end())
        it->second.visible = show;
}

bool HeadlessSectionHost::isWindowVisible(const SectionRecord& section) const
{
    const Window* w = window(section);
    return w && w->visible;
}

const HeadlessSectionHost::Window* HeadlessSectionHost::window(const SectionRecord& section) const
{
    const auto it = m_windows.find(&section);
    return it == m_windows.end() ? nullptr : &it->second;
}
