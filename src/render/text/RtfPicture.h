#pragma once

#include <QByteArray>
#include <QImage>
#include <QSizeF>

// A picture stored in RTF (\pict): its kind and sizes as the control words gave them, and the
// decoding of its bytes. PNG and JPEG decode directly; device-independent bitmaps and old
// device-dependent ones are rebuilt into images; metafiles (WMF, EMF) are drawn by their common
// records (RtfMetafile), or show the largest bitmap they hold where they give no drawing area.
struct RtfPicture
{
    enum class Kind
    {
        Unknown,
        Png,
        Jpeg,
        Dib,
        DeviceBitmap,
        WindowsMetafile,
        EnhancedMetafile,
    };

    Kind kind = Kind::Unknown;
    int width = 0;  // \picw: pixels, or hundredths of a millimetre for metafiles
    int height = 0; // \pich
    int goalWidthTwips = 0;
    int goalHeightTwips = 0;
    int scaleXPercent = 100;
    int scaleYPercent = 100;
    int bitsPerPixel = 1; // \wbmbitspixel
    int widthBytes = 0;   // \wbmwidthbytes
    QByteArray bytes;

    QImage decode() const;
    // The pixels a metafile is drawn with: its display size, at most 2048 a side and 4 MP.
    QSize metafilePixels() const;
    // The size to show the picture at, in pixels of 96 dots per inch.
    QSizeF displaySize(QSize imageSize) const;
};

// Rebuilds a BMP file from a packed device-independent bitmap (header, colours, bits); empty
// when the header does not hold up.
QByteArray bmpFromPackedDib(QByteArrayView dib);
