// Any bytes demuxed and decoded as a video from memory, in each fit: the decoder ends, and never
// gives more pictures than it could have decoded.
#include "render/video/VideoDecoder.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int fitMode = data[0] % 4;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));
    const int frames = VideoDecoder::decodeAll(bytes, QSize(48, 32), fitMode);
    if (frames < 0)
        std::abort();
    return 0;
}
