#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QSize>

// Draws Windows metafiles (WMF) and enhanced metafiles (EMF) as documents carry them in RTF:
// the common records only (lines, polygons, rectangles, ellipses, paths, text, the bitmaps they
// stretch), in the picture's own coordinates fitted to `size` pixels. Every read is checked
// against the record it belongs to, objects, saved states and the drawing work are bounded.
// A null image when the data gives no drawing area (the caller then looks for a bitmap in it).
namespace RtfMetafile {

QImage renderWmf(QByteArrayView data, QSize size);
QImage renderEmf(QByteArrayView data, QSize size);

} // namespace RtfMetafile
