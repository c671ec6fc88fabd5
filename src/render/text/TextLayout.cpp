#include "TextLayout.h"

#include <algorithm>
#include <cstdint>

namespace TextLayout {
namespace {

template <class F>
int perComponent(int colorRef, F&& f)
{
    const auto c = static_cast<std::uint32_t>(colorRef);
    const int r = f(int(c & 0xFF));
    const int g = f(int((c >> 8) & 0xFF));
    const int b = f(int((c >> 16) & 0xFF));
    return r | (g << 8) | (b << 16);
}

} // namespace

PageLines pageLines(int areaHeight, int charHeight, int lineSpacing)
{
    const int pitch = charHeight + lineSpacing;
    int n = pitch > 0 ? (areaHeight - 4) / pitch : 1;
    if (n < 1)
        n = 1;
    return {n, (areaHeight - 4) / n};
}

QRect slotRect(const QRect& area, PageLines page, int lineCount, int index, bool centreVertically)
{
    const int H = area.height();
    const int n = page.linesPerPage;
    const int h = page.slotHeight;
    if (!centreVertically) {
        const int y = area.top() + 2 + index * h + ((H - 4 - n * h) * index) / n;
        return QRect(area.left(), y, area.width(), h);
    }
    if (lineCount <= 1)
        return area;
    const double gap = double(H - 4 - n * h) / n;
    const double pitch = h + gap;
    const int y = int((H - lineCount * pitch) * 0.5 + area.top() + pitch * index);
    return QRect(area.left(), y, area.width(), h);
}

void characterPositions(const std::vector<int>& advances, int slotLeft, int slotWidth,
                        bool paragraphEnd, Align align, std::vector<int>& positions)
{
    positions.clear();
    int textWidth = 0;
    for (int a : advances)
        textWidth += a;
    const int spare = slotWidth - textWidth;
    if (spare <= 0 || textWidth == 0 || advances.empty())
        return;
    double extra = double(spare) / double(advances.size());
    int x0 = slotLeft;
    if (paragraphEnd) {
        extra = 0;
        if (align == Align::Center)
            x0 = slotLeft + spare / 2;
        else if (align == Align::Right)
            x0 = slotLeft + spare;
    }
    int prefix = 0;
    for (size_t j = 0; j < advances.size(); ++j) {
        positions.push_back(int(double(j) * extra + x0 + prefix));
        prefix += advances[j];
    }
}

int halfColour(int colorRef)
{
    return perComponent(colorRef, [](int x) { return x - x / 2; });
}

int darkColour(int colorRef)
{
    return perComponent(colorRef, [](int x) { return x - x / 3; });
}

int lightColour(int colorRef)
{
    return perComponent(colorRef, [](int x) { return std::min(x + x / 3, 255); });
}

int pointsToPixels(int points)
{
    // MulDiv(points, 96, 72), rounded half away from zero.
    const long long product = static_cast<long long>(points) * 96;
    return static_cast<int>(product >= 0 ? (product + 36) / 72 : (product - 36) / 72);
}

} // namespace TextLayout
