// Any bytes read as RTF and then paged and drawn as the player does: the next page renders on the
// renderer's thread while the current one is shown. Never a crash, a hang or a page that does not
// move on.
#include "render/text/CMyRichEdit.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static std::unique_ptr<QGuiApplication> app = std::make_unique<QGuiApplication>(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CMyRichEdit edit;
    edit.LoadData(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const int length = edit.TextLength();
    QImage pages[2] = {QImage(96, 40, QImage::Format_RGB32), QImage(96, 40, QImage::Format_RGB32)};
    int first = edit.RenderRange(pages[0], pages[0].rect(), 0x00FFFFFF, 0);
    for (int page = 1; first < length && page < 64; ++page) {
        edit.RenderRangeAsync(pages[page % 2], pages[0].rect(), 0x00FFFFFF, first);
        edit.waitRenderDone();
        const int next = edit.nextChar();
        if (next <= first)
            std::abort(); // a page that does not move on would play forever
        first = next;
    }
    return 0;
}
