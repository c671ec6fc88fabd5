#pragma once

#include "SectionHost.h"

#include <map>

// Section windows without a screen: geometry, title and visibility only. The render children
// work as with real windows, so every player runs headless.
class HeadlessSectionHost final : public SectionHost
{
public:
    struct Window
    {
        QString title;
        QRect geometry{0, 0, 400, 400};
        QRect childRect{0, 0, 400, 400};
        bool visible = false;
    };

    void createWindow(SectionRecord& section, const QString& title) override;
    void destroyWindow(SectionRecord& section) override;
    void placeWindow(SectionRecord& section, const QRect& geometry,
                     const QRect& childRect) override;
    void showWindow(SectionRecord& section, bool show) override;
    bool isWindowVisible(const SectionRecord& section) const override;

    // The window of a section, or null when it has none.
    const Window* window(const SectionRecord& section) const;
    int windowCount() const { return static_cast<int>(m_windows.size()); }

private:
    std::map<const SectionRecord*, Window> m_windows;
};
