#include "RichTextFormats.h"

namespace RichTextFormats {
namespace {

enum Property
{
    NaturalColumnWidths = QTextFormat::UserProperty + 0x7E50,
    NaturalPictureSize,
};

} // namespace

void setNaturalColumnWidths(QTextTableFormat& format, const QList<QTextLength>& widths)
{
    format.setProperty(NaturalColumnWidths, widths);
}

QList<QTextLength> naturalColumnWidths(const QTextTableFormat& format)
{
    return format.lengthVectorProperty(NaturalColumnWidths);
}

void setNaturalPictureSize(QTextImageFormat& format, QSizeF size)
{
    format.setProperty(NaturalPictureSize, size);
}

QSizeF naturalPictureSize(const QTextImageFormat& format)
{
    return format.property(NaturalPictureSize).toSizeF();
}

} // namespace RichTextFormats
