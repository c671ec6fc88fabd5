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
