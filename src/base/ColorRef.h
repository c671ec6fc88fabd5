#pragma once

#include <QRgb>

// Colours are COLORREF values (0x00BBGGRR) in the model and on disk; Qt wants 0xAARRGGBB.
inline QRgb colorRefToRgb(int colorRef)
{
    const auto c = static_cast<quint32>(colorRef);
    return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

inline int rgbToColorRef(QRgb rgb)
{
    return static_cast<int>(quint32(qRed(rgb)) | (quint32(qGreen(rgb)) << 8) |
                            (quint32(qBlue(rgb)) << 16));
}
