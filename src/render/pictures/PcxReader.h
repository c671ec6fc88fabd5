#pragma once

#include <QByteArrayView>
#include <QImage>

// Reads ZSoft PCX pictures: one plane of 1, 2, 4 or 8 bits per pixel (the 8-bit ones with the
// 256-colour palette at the end of the file), several 1-bit planes (16-colour EGA), and three
// or four 8-bit planes (24-bit colour). Gives a null image for anything else or anything broken;
// it never reads outside the data and refuses sizes the data cannot fill before it allocates.
QImage readPcx(QByteArrayView data);
