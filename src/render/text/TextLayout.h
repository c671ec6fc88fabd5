#pragma once

#include <QRect>

#include <vector>

// The arithmetic of a text page: how many lines it holds, where each line's slot lies, where each
// character of a line starts, and the colours of the outline layers.
namespace TextLayout {

struct PageLines
{
    int linesPerPage; // n
    int slotHeight;   // h
};

// n = (H - 4) / (hc + spacing), at least 1; h = (H - 4) / n.
PageLines pageLines(int areaHeight, int charHeight, int lineSpacing);

// The slot of line i of a page of m lines (of n) in the area rectangle.
QRect slotRect(const QRect& area, PageLines page, int lineCount, int index, bool centreVertically);

enum class Align
{
    None,
    Left,
    Center,
    Right,
};

// Where each character of a line starts, given the characters' advances. Empty when the line is
// drawn as one piece instead: it fills its slot or is wider (spare <= 0), or it is empty.
// Lines cut by wrapping spread over the whole width; paragraph ends follow the alignment.
void characterPositions(const std::vector<int>& advances, int slotLeft, int slotWidth,
                        bool paragraphEnd, Align align, std::vector<int>& positions);

// Outline colours (COLORREF in, COLORREF out), per component: half x - x/2, dark x - x/3, light
// min(x + x/3, 255).
int halfColour(int colorRef);
int darkColour(int colorRef);
int lightColour(int colorRef);

// Font size in points to pixels at 96 dots per inch, rounded as MulDiv rounds.
int pointsToPixels(int points);

} // namespace TextLayout
