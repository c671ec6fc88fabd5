#include "render/pictures/PcxReader.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <functional>

namespace {

void putWord(QByteArray& bytes, int at, int value)
{
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char(value >> 8);
}

// Run-length codes one scan line as PCX writers do.
QByteArray rle(const QByteArray& line)
{
    QByteArray out;
    for (qsizetype i = 0; i < line.size();) {
        qsizetype run = 1;
        while (i + run < line.size() && run < 63 && line[i + run] == line[i])
            ++run;
        if (run > 1 || (uchar(line[i]) & 0xC0) == 0xC0)
            out.append(char(0xC0 | run));
        out.append(line[i]);
        i += run;
    }
    return out;
}

// A PCX file of width x height; `line(y)` gives scan line y (all planes).
QByteArray pcx(int bits, int planes, int width, int height, int bytesPerLine,
               const std::function<QByteArray(int)>& line, const QByteArray& trailer = {})
{
    QByteArray bytes(128, '\0');
    bytes[0] = 0x0A;
    bytes[1] = 5;
    bytes[2] = 1;
    bytes[3] = char(bits);
    putWord(bytes, 8, width - 1);
    putWord(bytes, 10, height - 1);
    bytes[65] = char(planes);
    putWord(bytes, 66, bytesPerLine);
    for (int i = 0; i < 16; ++i) { // EGA palette: entry i = (i*16, 255-i*16, i)
        bytes[16 + 3 * i] = char(i * 16);
        bytes[17 + 3 * i] = char(255 - i * 16);
        bytes[18 + 3 * i] = char(i);
    }
    for (int y = 0; y < height; ++y)
        bytes += rle(line(y));
    return bytes + trailer;
}

} // namespace

TEST(PcxReader, EightBitWithPalette)
{
    QByteArray palette(769, '\0');
    palette[0] = 0x0C;
    for (int i = 0; i < 256; ++i) {
        palette[1 + 3 * i] = char(i);
        palette[2 + 3 * i] = char(255 - i);
        palette[3 + 3 * i] = char(i / 2);
    }
    const QByteArray file = pcx(
        8, 1, 5, 3, 6,
        [](int y) {
            QByteArray line(6, '\0');
            for (int x = 0; x < 6; ++x)
                line[x] = char(y == 1 ? 200 : x * 10 + y); // row 1 is one long run
            return line;
        },
        palette);
    const QImage image = readPcx(file);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(5, 3));
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(4, 2), qRgb(42, 213, 21));
    EXPECT_EQ(image.pixel(3, 1), qRgb(200, 55, 100));
}

TEST(PcxReader, TwentyFourBitPlanes)
{
    const QByteArray file = pcx(8, 3, 3, 2, 4, [](int y) {
        QByteArray line(12, '\0');
        for (int x = 0; x < 3; ++x) {
            line[x] = char(x * 100);    // red plane
            line[4 + x] = char(y * 50); // green plane
            line[8 + x] = char(0xC5);   // blue plane: needs the escape even alone
        }
        return line;
    });
    const QImage image = readPcx(file);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(2, 1), qRgb(200, 50, 0xC5));
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0xC5));
}

TEST(PcxReader, SixteenColourPlanesAndMonochrome)
{
    // Pixel x has colour index x (planes hold bits 0..3).
    const QByteArray ega = pcx(1, 4, 8, 1, 2, [](int) {
        QByteArray line(8, '\0');
        for (int plane = 0; plane < 4; ++plane) {
            int bitsOfPlane = 0;
            for (int x = 0; x < 8; ++x)
                if ((x >> plane) & 1)
                    bitsOfPlane |= 0x80 >> x;
            line[plane * 2] = char(bitsOfPlane);
        }
        return line;
    });
    const QImage image = readPcx(ega);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(5, 0), qRgb(80, 175, 5));

    const QByteArray mono = pcx(1, 1, 10, 1, 2, [](int) { return QByteArray("\xA0\x40", 2); });
    const QImage bw = readPcx(mono);
    ASSERT_FALSE(bw.isNull());
    EXPECT_EQ(bw.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(bw.pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_EQ(bw.pixel(9, 0), qRgb(255, 255, 255));
}

TEST(PcxReader, BrokenFilesGiveNoPicture)
{
    const auto line = [](int) { return QByteArray(4, '\x01'); };
    const QByteArray good = pcx(8, 1, 4, 4, 4, line);
    ASSERT_FALSE(readPcx(good).isNull());
    EXPECT_TRUE(readPcx(good.left(good.size() - 3)).isNull()); // truncated data
    EXPECT_TRUE(readPcx(good.left(100)).isNull());             // truncated header
    EXPECT_TRUE(readPcx(QByteArray("not a picture")).isNull());
    QByteArray huge = good;
    putWord(huge, 8, 65535);
    putWord(huge, 10, 65535);
    putWord(huge, 66, 65535);
    EXPECT_TRUE(readPcx(huge).isNull()); // 4 billion pixels from a few bytes
    QByteArray narrow = good;
    putWord(narrow, 66, 2); // lines shorter than the width
    EXPECT_TRUE(readPcx(narrow).isNull());
    const QByteArray planes = pcx(8, 3, 4, 1, 2, [](int) { return QByteArray(6, '\x01'); });
    EXPECT_TRUE(readPcx(planes).isNull()); // colour planes narrower than the picture
    QByteArray depth = good;
    depth[3] = 16;
    EXPECT_TRUE(readPcx(depth).isNull());
}
