#include "render/text/CMyRichEdit.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray manyParagraphs(int count)
{
    QByteArray rtf = "{\\rtf1\\ansi\\fs24 ";
    for (int i = 0; i < count; ++i)
        rtf += "Paragraph " + QByteArray::number(i) + " of the long document.\\par\n";
    return rtf + "}";
}

int inkRows(const QImage& image, QRgb background)
{
    int rows = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != background) {
                ++rows;
                break;
            }
        }
    }
    return rows;
}

} // namespace

TEST(RichEdit, PagesFollowOneAnotherWithoutLosingText)
{
    CMyRichEdit edit;
    edit.LoadText(QString::fromLatin1(manyParagraphs(40)));
    const int length = edit.TextLength();
    ASSERT_GT(length, 1000);
    QImage page(300, 100, QImage::Format_RGB32);
    int first = 0;
    int pages = 0;
    while (first < length && pages < 100) {
        const int next = edit.RenderRange(page, page.rect(), 0x00FFFFFF, first);
        ASSERT_GT(next, first) << "page " << pages;
        EXPECT_GT(inkRows(page, qRgb(255, 255, 255)), 5);
        first = next;
        ++pages;
    }
    EXPECT_EQ(first, length);
    EXPECT_GT(pages, 5);
    // Past the end: only the background.
    EXPECT_EQ(edit.RenderRange(page, page.rect(), 0x000000FF, length), length);
    EXPECT_EQ(page.pixel(10, 10), qRgb(255, 0, 0));
}

TEST(RichEdit, AsyncRenderAndPageBreaks)
{
    CMyRichEdit edit;
    edit.LoadText(QStringLiteral("{\\rtf1 one\\page two\\page three}"));
    QImage page(200, 200, QImage::Format_RGB32);
    const int second = edit.RenderRange(page, page.rect(), 0x00FFFFFF, 0);
    EXPECT_EQ(second, 4); // "one" and its paragraph end
    edit.RenderRangeAsync(page, page.rect(), 0x00FFFFFF, second);
    edit.waitRenderDone();
    EXPECT_EQ(edit.nextChar(), 8);
    EXPECT_EQ(edit.RenderRange(page, page.rect(), 0x00FFFFFF, edit.nextChar()), edit.TextLength());
}

TEST(RichEdit, FilesAndTheirErrors)
{
    QTemporaryDir dir;
    CMyRichEdit edit;
    QString error;
    EXPECT_FALSE(edit.LoadFile(dir.filePath("missing.rtf"), &error));
    EXPECT_EQ(error, QStringLiteral("文件名不正确。"));
    EXPECT_FALSE(edit.LoadFile(dir.path(), &error));
    EXPECT_EQ(error, QStringLiteral("文件名不正确。"));
    edit.LoadText(QStringLiteral("{\\rtf1 {\\b saved} text}"));
    ASSERT_TRUE(edit.SaveFile(dir.filePath("out.rtf"), true));
    CMyRichEdit again;
    ASSERT_TRUE(again.LoadFile(dir.filePath("out.rtf")));
    EXPECT_EQ(again.plainText(), "saved text");
    EXPECT_FALSE(edit.SaveFile(dir.filePath("no/folder/x.rtf"), true, &error));
    EXPECT_EQ(error, QStringLiteral("保存文档失败。"));
    ASSERT_TRUE(edit.SaveFile(dir.filePath("plain.txt"), false));
    QFile plain(dir.filePath("plain.txt"));
    ASSERT_TRUE(plain.open(QIODevice::ReadOnly));
    EXPECT_EQ(plain.readAll(), "saved text");
}
