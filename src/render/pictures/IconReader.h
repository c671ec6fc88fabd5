#pragma once

#include <QByteArrayView>
#include <QImage>

// Reads the first picture of a Windows icon or cursor file (the one Qt's reader shows) when it
// is a 24-bit or 32-bit bitmap, so that its AND mask makes the masked pixels transparent: Qt
// draws a 24-bit icon opaque and a 32-bit one whose alpha is all zero as nothing at all. A 32-bit
// icon with real alpha keeps it. Gives a null image for any other picture kind, leaving those
// to Qt, and for anything broken. Gives Format_ARGB32.
QImage readMaskedIcon(QByteArrayView data);
