#pragma once

// A rectangle as the stored records keep it: left, top, right, bottom, with right and bottom
// outside the rectangle (width = right - left).
struct WinRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    friend bool operator==(const WinRect&, const WinRect&) = default;
};
