// Any bytes read as a bitmap and as an icon: a picture of a sane size, or none.
#include "render/pictures/BmpReader.h"
#include "render/pictures/IconReader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QImage bitmap = readBmp(bytes);
    if (!bitmap.isNull() &&
        (bitmap.width() <= 0 || bitmap.height() <= 0 ||
         (bitmap.format() != QImage::Format_RGB32 && bitmap.format() != QImage::Format_ARGB32)))
        std::abort();
    bmpWantsOwnReader(bytes);
    const QImage icon = readMaskedIcon(bytes);
    if (!icon.isNull() && icon.format() != QImage::Format_ARGB32)
        std::abort();
    return 0;
}
