// Any bytes walked as a GIF: the walk stays inside the data and ends.
#include "render/pictures/CPictureEx.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CPictureEx reader;
    reader.Parse(QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (reader.isAnimated() && reader.frames().size() > size_t(reader.frameCount()))
        std::abort();
    return 0;
}
