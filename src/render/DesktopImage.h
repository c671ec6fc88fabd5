#pragma once

#include <QImage>

class CAct;
class HeadlessSectionHost;

// The desktop as an LED controller reads it: from (0,0) to the bottom-right corner of the
// farthest section window, black where no window is, each window's frame in its frame colour and
// its render child from the back buffer, as the section windows paint themselves.
QImage composeDesktop(const CAct& area, const HeadlessSectionHost& host);
// The same from the area's own layout and its host's visibility, for whatever host it has. On
// the GUI thread.
QImage composeDesktop(const CAct& area);

// The wall as its audience sees it: the same windows' pictures joined back in section order
// along the split axis (side by side when the windows stand one below the other, stacked when
// they stand side by side), the LED width x height, one frame around it all. A hidden window's
// part is black; null when no window is shown.
QImage composeWall(const CAct& area, const HeadlessSectionHost& host);
// The same from the area's own layout. On the GUI thread.
QImage composeWall(const CAct& area);
