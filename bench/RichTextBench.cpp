// The rich-text renderer on a large document: how long the load takes, and the median time to
// render one page of 1920 x 1080.
#include "base/Codepage.h"
#include "base/Fonts.h"
#include "render/text/CMyRichEdit.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

QByteArray largeDocument(qsizetype bytes)
{
    const QByteArray chinese =
        Codepage::fromUnicode(QStringLiteral("欢迎光临本店今天天气很好我们一起去公园散步"));
    QByteArray hex;
    for (const char c : chinese)
        hex += "\\'" + QByteArray::number(static_cast<uchar>(c), 16);
    QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fcharset134 SimSun;}{\\f1 Arial;}}"
        "{\\colortbl;\\red200\\green0\\blue0;}\n";
    for (int i = 0; rtf.size() < bytes; ++i) {
        rtf += "\\pard\\q" + QByteArray(i % 3 == 0 ? "c" : "j") + "\\fs" +
               QByteArray::number(20 + i % 4 * 4) + " {\\b Paragraph " + QByteArray::number(i) +
               "} {\\cf1 " + hex + "} {\\f1\\i some Latin text " + "that wraps over the line} " +
               hex + "\\par\n";
    }
    return rtf + "}";
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Fonts::pinDefaultFaces();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.rtf"));
    // The document's size in megabytes: the first argument, 1 by default.
    const double megabytes = argc > 1 ? std::max(0.01, std::atof(argv[1])) : 1.0;
    const QByteArray document = largeDocument(qsizetype(megabytes * 1024 * 1024));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(document) != document.size())
        return 1;
    file.close();

    CMyRichEdit edit;
    QElapsedTimer timer;
    timer.start();
    edit.LoadFile(path);
    const double loadMs = timer.nsecsElapsed() / 1e6;

    // How soon a stop ends a load under way: the stop comes a fifth of the way in.
    {
        CMyRichEdit stopped;
        std::atomic<bool> stop{false};
        std::chrono::steady_clock::time_point asked;
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(qint64(loadMs / 5)));
            asked = std::chrono::steady_clock::now();
            stop = true;
        });
        stopped.LoadFile(path, nullptr, [&] { return stop.load(); });
        const auto answered = std::chrono::steady_clock::now();
        stopper.join();
        const double answerMs = std::chrono::duration<double, std::milli>(answered - asked).count();
        std::printf("stop during the load answered in %.1f ms\n", answerMs);
    }
    // "load" as the second argument: the load alone (for a profiler).
    if (argc > 2 && qstrcmp(argv[2], "load") == 0) {
        std::printf("load of %.2f MB: %.0f ms\n", document.size() / 1048576.0, loadMs);
        return 0;
    }
    QImage page(1920, 1080, QImage::Format_RGB32);
    const int length = edit.TextLength();
    std::vector<double> pageMs;
    int first = 0;
    timer.restart();
    while (first < length) {
        QElapsedTimer one;
        one.start();
        first = edit.RenderRange(page, page.rect(), 0x00FFFFFF, first);
        pageMs.push_back(one.nsecsElapsed() / 1e6);
    }
    const double allMs = timer.nsecsElapsed() / 1e6;
    std::vector<double> sorted = pageMs;
    std::sort(sorted.begin(), sorted.end());
    std::printf("| measure | value |\n|---|---|\n");
    std::printf("| document | %.2f MB, %d characters |\n", document.size() / 1048576.0, length);
    std::printf("| load (read, parse, build the document) | %.0f ms |\n", loadMs);
    std::printf("| first page (lays out what it shows) | %.1f ms |\n", pageMs.front());
    std::printf("| pages | %zu |\n", pageMs.size());
    std::printf("| one page, median | %.2f ms |\n", sorted[sorted.size() / 2]);
    std::printf("| one page, slowest | %.2f ms |\n", sorted.back());
    std::printf("| all pages | %.0f ms |\n", allMs);
    return 0;
}
