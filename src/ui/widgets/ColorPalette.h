#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>

// The twenty colours every colour button of the process shares, ranked by least recent use:
// age 1 is the colour used last, age 20 the one used longest ago, which a new colour replaces.
// Not stored: every start begins with the defaults.
class ColorPalette
{
public:
    static constexpr int kSize = 20;

    ColorPalette();
    static ColorPalette& shared();

    int color(int slot) const { return m_colors[size_t(slot)]; }
    int age(int slot) const { return m_ages[size_t(slot)]; }

    // A swatch chosen: it becomes the most recently used.
    void choose(int slot);
    // A colour from the colour chooser: its slot when the palette has it, else it replaces the
    // least recently used one. Returns the slot chosen.
    int chooseOther(int colorRef);

    void reset() { *this = ColorPalette(); }

private:
    std::array<int, kSize> m_colors;
    std::array<int, kSize> m_ages;
};

// Where the popup of a colour button opens: under the button, or above it when it would leave
// the bottom of the screen, and moved left when it would leave the right edge.
QPoint colorPopupPosition(const QRect& buttonOnScreen, QSize popup, QSize screen);
