#include "SectionWindowHost.h"

#include "SectionWindow.h"
#include "model/SectionRecord.h"

SectionWindowHost::~SectionWindowHost() = default;

void SectionWindowHost::createWindow(SectionRecord& section, const QString& title)
{
    auto window = std::make_unique<SectionWindow>(section, title, m_controlWindow.data());
    window->setShown(!m_hidden);
    section.renderChild->setView(window.get());
    section.renderChild->setClientSize(window->childRect().size());
    section.renderChild->setHasWindow(true);
    m_windows[&section] = std::move(window);
}

void SectionWindowHost::destroyWindow(SectionRecord& section)
{
    // Unbound under the section mutex: no present reaches the window once it is going.
    section.renderChild->setView(nullptr);
    section.renderChild->setHasWindow(false);
    m_windows.erase(&section);
    if (m_rectsChanged)
        m_rectsChanged();
}

void SectionWindowHost::placeWindow(SectionRecord& section, const QRect& geometry,
                                    const QRect& childRect)
{
    SectionWindow* w = window(section);
    if (!w)
        return;
    const QRect before = w->wantedGeometry();
    w->place(geometry, childRect);
    if (before != geometry && m_rectsChanged)
        m_rectsChanged();
}

void SectionWindowHost::showWindow(SectionRecord& section, bool show)
{
    // The operator's choice holds for every section, new ones too.
    m_hidden = !show;
    if (SectionWindow* w = window(section))
        w->setShown(show);
}

bool SectionWindowHost::isWindowVisible(const SectionRecord& section) const
{
    const SectionWindow* w = window(section);
    return w && w->isVisible();
}

SectionWindow* SectionWindowHost::window(const SectionRecord& section) const
{
    const auto it = m_windows.find(&section);
    return it == m_windows.end() ? nullptr : it->second.get();
}

QList<QRect> SectionWindowHost::windowRects() const
{
    QList<QRect> rects;
    for (const auto& [section, window] : m_windows)
        if (!window->wantedGeometry().isEmpty())
            rects << window->wantedGeometry();
    return rects;
}
