#pragma once

#include <QList>
#include <QSizeF>
#include <QTextFormat>
#include <QTextLength>

// What the RTF reader records beside Qt's own formats: the sizes a table's columns and a picture
// were given in the file, so that a page narrower than them can fit them and a wider one can
// give them back.
namespace RichTextFormats {

void setNaturalColumnWidths(QTextTableFormat& format, const QList<QTextLength>& widths);
QList<QTextLength> naturalColumnWidths(const QTextTableFormat& format);

void setNaturalPictureSize(QTextImageFormat& format, QSizeF size);
QSizeF naturalPictureSize(const QTextImageFormat& format);

} // namespace RichTextFormats
