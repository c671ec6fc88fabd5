#pragma once

#include <QRect>
#include <QSize>

#include <vector>

// Where the section windows stand on the desktop and how the frame cuts each one's render child:
// pure functions of the area's settings.
namespace SectionLayout {

// 0 splits the LED width: the windows stand one below the other and each shows a band of
// columns. Any other value splits the height: windows side by side, bands of rows. Every part
// of the program asks this one question, so a stray stored value cannot make the placement and
// the picture disagree.
inline bool splitsHeight(int splitMode)
{
    return splitMode != 0;
}

// The desktop rectangle of section `index`.
QRect windowRect(int splitMode, int firstOffset, int ledWidth, int ledHeight, int index,
                 int sectionLength, int sectionPos);

// The render child's rectangle inside a section window's client area of `client` size: inset by
// the frame so that the joined sections show one frame around the whole picture.
QRect childRect(QSize client, int frameLines, int sectionCount, int sectionIndex, int splitMode);

// The size of the whole picture from the render children's sizes, in section order.
QSize totalSize(const std::vector<QSize>& childSizes, int splitMode);

// Where each section's band starts along the split axis of the picture.
std::vector<int> bandOffsets(const std::vector<QSize>& childSizes, int splitMode);

// A total length divided into `count` sections: each ceil(total / count), the last one the rest.
std::vector<int> splitLengths(int total, int count);

// Where the control window (its frame of `window` size) goes at start: beside the LED rectangle,
// never over it, inside the screen's free area, trying right, below, left and above in turn;
// `fallback` when none of them has room.
QPoint controlWindowPosition(const QRect& available, const QRect& led, QSize window,
                             QPoint fallback);

} // namespace SectionLayout
