#pragma once

#include <QRect>
#include <QString>

class SectionRecord;

// Makes, places, shows and destroys the windows of an area's sections. The area never makes
// widgets itself: the program's host makes real windows; the headless host (tests, tools) only
// keeps their geometry. All calls come on the GUI thread.
class SectionHost
{
public:
    virtual ~SectionHost() = default;
    // Makes the section's window, hidden, and binds its render child to it.
    virtual void createWindow(SectionRecord& section, const QString& title) = 0;
    // Unbinds the render child and destroys the window.
    virtual void destroyWindow(SectionRecord& section) = 0;
    // Moves the window to `geometry` (desktop pixels), puts the render child at `childRect`
    // inside it, repaints it all and shows it.
    virtual void placeWindow(SectionRecord& section, const QRect& geometry,
                             const QRect& childRect) = 0;
    virtual void showWindow(SectionRecord& section, bool show) = 0;
    virtual bool isWindowVisible(const SectionRecord& section) const = 0;
};
