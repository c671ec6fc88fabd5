#include "SectionLayout.h"

#include <algorithm>

namespace SectionLayout {

QRect windowRect(int splitMode, int firstOffset, int ledWidth, int ledHeight, int index,
                 int sectionLength, int sectionPos)
{
    if (!splitsHeight(splitMode))
        return QRect(sectionPos, firstOffset + index * ledHeight, sectionLength, ledHeight);
    return QRect(firstOffset + index * ledWidth, sectionPos, ledWidth, sectionLength);
}

QRect childRect(QSize client, int frameLines, int sectionCount, int sectionIndex, int splitMode)
{
    int left = 0;
    int top = 0;
    int right = client.width();
    int bottom = client.height();
    const bool first = sectionIndex == 0;
    const bool last = sectionIndex == sectionCount - 1;
    for (int i = 0; i < frameLines; ++i) {
        if (sectionCount <= 1) {
            ++left, ++top, --right, --bottom;
        } else if (!splitsHeight(splitMode)) {
            ++top, --bottom;
            if (first)
                ++left;
            if (last)
                --right;
        } else {
            ++left, --right;
            if (first)
                ++top;
            if (last)
                --bottom;
        }
    }
    return QRect(left, top, std::max(0, right - left), std::max(0, bottom - top));
}

QSize totalSize(const std::vector<QSize>& childSizes, int splitMode)
{
    if (childSizes.empty())
        return QSize(0, 0);
    QSize total = childSizes.front();
    for (size_t i = 1; i < childSizes.size(); ++i) {
        if (splitsHeight(splitMode))
            total.rheight() += childSizes[i].height();
        else
            total.rwidth() += childSizes[i].width();
    }
    return total;
}

std::vector<int> bandOffsets(const std::vector<QSize>& childSizes, int splitMode)
{
    std::vector<int> offsets;
    offsets.reserve(childSizes.size());
    int offset = 0;
    for (const QSize& size : childSizes) {
        offsets.push_back(offset);
        offset += splitsHeight(splitMode) ? size.height() : size.width();
    }
    return offsets;
}

std::vector<int> splitLengths(int total, int count)
{
    std::vector<int> lengths;
    if (count <= 0)
        return lengths;
    const int each = (total + count - 1) / count;
    for (int i = 0; i < count - 1; ++i)
        lengths.push_back(each);
    lengths.push_back(total - (count - 1) * each);
    return lengths;
}

QPoint controlWindowPosition(const QRect& available, const QRect& led, QSize window,
                             QPoint fallback)
{
    constexpr int kGap = 8;
    const int top = std::max(available.top(), led.top());
    const int left = std::max(available.left(), led.left());
    const QPoint candidates[] = {
        {led.right() + 1 + kGap, top},              // right of the LED
        {left, led.bottom() + 1 + kGap},            // below it
        {led.left() - kGap - window.width(), top},  // left of it
        {left, led.top() - kGap - window.height()}, // above it
    };
    for (const QPoint& at : candidates) {
        const QRect placed(at, window);
        if (available.contains(placed) && !placed.intersects(led))
            return at;
    }
    return fallback;
}

} // namespace SectionLayout
