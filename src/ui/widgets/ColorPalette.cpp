#include "ColorPalette.h"

ColorPalette::ColorPalette()
    : m_colors{0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000,
               0xC0C0C0, 0xC0DCC0, 0xF0CAA6, 0xF0FBFF, 0xA4A0A0, 0x808080, 0x0000FF,
               0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF},
      m_ages{1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 20, 18, 16, 14, 12, 10, 8, 6, 4, 2}
{}

ColorPalette& ColorPalette::shared()
{
    static ColorPalette palette;
    return palette;
}

void ColorPalette::choose(int slot)
{
    if (slot < 0 || slot >= kSize)
        return;
    const int chosenAge = m_ages[size_t(slot)];
    for (int& a : m_ages) {
        if (a < chosenAge)
            ++a;
    }
    m_ages[size_t(slot)] = 1;
}

int ColorPalette::chooseOther(int colorRef)
{
    int slot = -1;
    for (int j = 0; j < kSize && slot < 0; ++j) {
        if (m_colors[size_t(j)] == colorRef)
            slot = j;
    }
    if (slot < 0) {
        for (int j = 0; j < kSize && slot < 0; ++j) {
            if (m_ages[size_t(j)] == kSize)
                slot = j;
        }
        m_colors[size_t(slot)] = colorRef;
    }
    choose(slot);
    return slot;
}

QPoint colorPopupPosition(const QRect& buttonOnScreen, QSize popup, QSize screen)
{
    QPoint at(buttonOnScreen.left(), buttonOnScreen.top() + buttonOnScreen.height());
    const int bottom = at.y() + popup.height();
    if (bottom > screen.height())
        at.ry() -= bottom - buttonOnScreen.top();
    const int right = at.x() + popup.width();
    if (right > screen.width())
        at.rx() -= right - screen.width();
    return at;
}
