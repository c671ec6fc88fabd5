#pragma once

#include <QByteArrayView>
#include <QImage>

// Reads Windows and OS/2 bitmaps: every header size from the 12-byte OS/2 one to the 124-byte
// fifth version, 1, 2, 4 and 8 bits per pixel with palettes of any length, 16, 24 and 32 bits
// with or without bit field masks of any width (alpha included), top-down pictures, RLE4 and
// RLE8, and the JPEG or PNG some bitmaps carry. Gives a null image for anything else or anything
// broken; it never reads outside the data and refuses sizes the data cannot fill before it
// allocates. Pixels an RLE stream leaves out take palette entry 0. Gives Format_RGB32, or
// Format_ARGB32 when the picture has transparency.
QImage readBmp(QByteArrayView data);

// Whether the data is a bitmap of a kind Qt's own reader refuses or draws wrong: OS/2 headers,
// header sizes other than 40, 108 and 124 bytes, 16-bit pixels (Qt leaves 5-bit white at 248),
// bit field masks, and RLE (Qt leaves the pixels the stream skips uninitialised).
bool bmpWantsOwnReader(QByteArrayView data);
