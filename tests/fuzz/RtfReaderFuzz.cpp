// Any bytes read as RTF: a document, never a crash or a hang; the document lays out and renders.
#include "render/text/CMyRichEdit.h"
#include "render/text/RtfReader.h"
#include "render/text/RtfWriter.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static std::unique_ptr<QGuiApplication> app = std::make_unique<QGuiApplication>(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QTextDocument document;
    readRtfOrText(input, document);
    // What was read writes out and reads back without trouble.
    QTextDocument again;
    readRtfOrText(writeRtf(document), again);
    return 0;
}
