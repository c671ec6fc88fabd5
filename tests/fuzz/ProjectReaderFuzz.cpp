// Any bytes read as a project file: the reader must fail cleanly or give a project that the
// writer writes and the reader reads back to the same bytes.
#include "model/CAct.h"
#include "model/ProjectFile.h"
#include "players/BuiltinKinds.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    registerBuiltinKinds(); // the item classes a file may name
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CAct area;
    QString error;
    const QByteArrayView input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (!projectFromBytes(area, input, QStringLiteral("fuzz.zpm"), &error)) {
        if (error.isEmpty() || area.itemCount() != 0 || !area.sections().empty())
            std::abort();
        return 0;
    }
    const QByteArray written = projectToBytes(area);
    CAct again;
    if (!projectFromBytes(again, written, QStringLiteral("fuzz.zpm"), &error))
        std::abort();
    if (projectToBytes(again) != written)
        std::abort();
    return 0;
}
