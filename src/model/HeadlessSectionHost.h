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

    void createWindow(CActWnd& section, const QString& title) override;
    void destroyWindow(CActWnd& section) override;
    void placeWindow(CActWnd& section, const QRect& geometry, const QRect& childRect) override;
    void showWindow(CActWnd& section, bool show) override;
    bool isWindowVisible(const CActWnd& section) const override;

    // The window of a section, or null when it has none.
    const Window* window(const CActWnd& section) const;
    int windowCount() const { return static_cast<int>(m_windows.size()); }

private:
    std::map<const CActWnd*, Window> m_windows;
};
