// The rich-text renderer on a large document: how long the load takes, and the median time to
// render one page of 1920 x 1080.
#include "app/Codepage.h"
#include "app/Fonts.h"
#include "text/CMyRichEdit.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
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
    const QByteArray document = largeDocument(1024 * 1024);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(document) != document.size())
        return 1;
    file.close();

    CMyRichEdit edit;
    QElapsedTimer timer;
    timer.start();
    edit.LoadFile(path);
    const double loadMs = timer.nsecsElapsed() / 1e6;

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
    std::printf("| first page (lays the whole document out) | %.1f ms |\n", pageMs.front());
    std::printf("| pages | %zu |\n", pageMs.size());
    std::printf("| one page, median | %.2f ms |\n", sorted[sorted.size() / 2]);
    std::printf("| one page, slowest | %.2f ms |\n", sorted.back());
    std::printf("| all pages | %.0f ms |\n", allMs);
    return 0;
}
