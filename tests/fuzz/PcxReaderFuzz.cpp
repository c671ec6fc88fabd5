// Any bytes read as a PCX picture: a picture of the size the header promises, or none.
#include "render/pictures/PcxReader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QImage image =
        readPcx(QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (!image.isNull() &&
        (image.width() <= 0 || image.height() <= 0 || image.format() != QImage::Format_RGB32))
        std::abort();
    return 0;
}
