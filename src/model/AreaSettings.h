#pragma once

// The area's stored settings, in their stored order, and the first section's start offset (kept
// in the settings store, not in project files). A value: the area hands out copies and takes
// changes whole.
struct AreaSettings
{
    static constexpr int kDefaultWidth = 480;
    static constexpr int kDefaultHeight = 360;
    static constexpr int kDefaultFrameColor = 0x00FF0000; // blue

    int splitMode = 0; // 0 = split horizontally (rows), 1 = split vertically (columns)
    int reserved1 = 32;
    int frameLines = 0; // 0..3, list 150
    int frameColor = kDefaultFrameColor;
    int posX = 0;
    int posY = 0;
    int ledWidth = kDefaultWidth;
    int ledHeight = kDefaultHeight;
    int backColor = 0;
    int manualPlay = 0;
    // Settings store only: the start offset of the first section along the stacking axis.
    int firstOffset = 0;
};
