// Loads the real picture files under tests/data/images and checks what Qt alone gets wrong:
// EXIF orientation, the rarer bitmap kinds and the AND mask of true-colour icons.
#include "render/pictures/BmpReader.h"
#include "render/pictures/CMyBitmap.h"
#include "render/pictures/IconReader.h"

#include <QFile>

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include <gtest/gtest.h>

namespace {

QString dataPath(const char* name)
{
    return QStringLiteral(TESSARIN_TEST_DATA "/images/") + QString::fromLatin1(name);
}

QByteArray bytesOf(const char* name)
{
    QFile file(dataPath(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

// What CMyBitmap holds after loading the file.
QImage loaded(const char* name)
{
    CMyBitmap bitmap;
    if (!bitmap.Load(dataPath(name)))
        return {};
    return bitmap.image().convertToFormat(QImage::Format_ARGB32);
}

int channelDistance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

// Every pixel against the reference PNG; pixels the reference leaves transparent are the ones a
// file leaves undefined and must come out transparent or be skipped.
void expectMatchesReference(const QImage& image, const char* bmpName, bool undefinedTransparent)
{
    QString refName = QString::fromLatin1(bmpName);
    refName.replace(QLatin1String(".bmp"), QLatin1String(".png"));
    const QImage reference =
        QImage(dataPath(refName.toLatin1().constData())).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(reference.isNull()) << bmpName;
    ASSERT_FALSE(image.isNull()) << bmpName;
    ASSERT_EQ(image.size(), reference.size()) << bmpName;
    // Compared premultiplied, as CMyBitmap keeps pictures.
    const QImage got = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int wrong = 0;
    for (int y = 0; y < got.height(); ++y) {
        for (int x = 0; x < got.width(); ++x) {
            const QRgb want = qPremultiply(reference.pixel(x, y));
            const QRgb have = reinterpret_cast<const QRgb*>(got.constScanLine(y))[x];
            if (qAlpha(want) == 0) {
                if (undefinedTransparent && qAlpha(have) != 0)
                    ++wrong;
                continue;
            }
            if (std::abs(qAlpha(want) - qAlpha(have)) > 1 || channelDistance(want, have) > 1)
                ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0) << bmpName;
}

const char* const kBitmaps[] = {
    "rgb16-555.bmp",          "rgb16-565.bmp",     "rgba16-4444-v5.bmp", "rgb32-111110.bmp",
    "rgb32-h52.bmp",          "rgba32-h56.bmp",    "rgba32-abf.bmp",     "pal8-os2v1-short.bmp",
    "pal8-os2v2-16.bmp",      "pal8-os2v2-64.bmp", "pal8-oversize.bmp",  "pal2.bmp",
    "pal4-short-topdown.bmp", "pal1-v4.bmp",       "pal8-rle8.bmp",      "pal4-rle4.bmp",
};

} // namespace

TEST(PictureFilesTest, ExifOrientationTurnsPhotosUpright)
{
    for (int n = 1; n <= 8; ++n) {
        const QByteArray name = "exif-orientation-" + QByteArray::number(n) + ".jpg";
        SCOPED_TRACE(name.constData());
        const QImage image = loaded(name.constData());
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(48, 32));
        // Red top left, green top right, blue bottom left, white bottom right; JPEG blurs a little.
        EXPECT_LT(channelDistance(image.pixel(6, 6), qRgb(255, 0, 0)), 40);
        EXPECT_LT(channelDistance(image.pixel(41, 6), qRgb(0, 200, 0)), 40);
        EXPECT_LT(channelDistance(image.pixel(6, 25), qRgb(0, 0, 255)), 40);
        EXPECT_LT(channelDistance(image.pixel(41, 25), qRgb(255, 255, 255)), 40);
    }
}

TEST(PictureFilesTest, BitmapsLoadAsTheirReferences)
{
    for (const char* name : kBitmaps)
        expectMatchesReference(loaded(name), name, false);
}

TEST(PictureFilesTest, OwnReaderReadsEveryBitmapKind)
{
    for (const char* name : kBitmaps)
        expectMatchesReference(readBmp(bytesOf(name)), name, true);
}

TEST(PictureFilesTest, RleSkippedPixelsTakePaletteEntryZero)
{
    const QImage image = loaded("pal8-rle8.bmp");
    ASSERT_FALSE(image.isNull());
    const QRgb entry0 = qRgb(0, 40, 255); // make_images.py's palette(40)[0]
    EXPECT_EQ(image.pixel(0, 0), entry0); // after the early end of the picture
    EXPECT_EQ(image.pixel(2, 4), entry0); // jumped over by a move
    EXPECT_NE(image.pixel(6, 4), entry0);
    EXPECT_EQ(qAlpha(image.pixel(6, 4)), 255);
}

TEST(PictureFilesTest, IconMaskMakesPixelsTransparent)
{
    // 16x16, red left half and blue right half; the mask hides the top-left corner and the two
    // bottom rows, the 32-bit icon with alpha hides the same pixels by alpha.
    const char* const icons[] = {"icon24-mask.ico", "icon32-zeroalpha-mask.ico", "icon4-mask.ico",
                                 "icon32-alpha.ico"};
    for (const char* name : icons) {
        SCOPED_TRACE(name);
        const QImage image = loaded(name);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(16, 16));
        for (const QPoint p :
             {QPoint(0, 0), QPoint(5, 0), QPoint(0, 5), QPoint(3, 14), QPoint(15, 15)})
            EXPECT_EQ(qAlpha(image.pixel(p)), 0) << p.x() << "," << p.y();
        const int opaque = std::string_view(name) == "icon32-alpha.ico" ? 200 : 255;
        EXPECT_EQ(image.pixel(3, 3), qRgba(255, 0, 0, opaque));
        EXPECT_EQ(image.pixel(12, 2), qRgba(0, 0, 255, opaque));
        EXPECT_EQ(image.pixel(15, 13), qRgba(0, 0, 255, opaque));
    }
}

TEST(PictureFilesTest, BrokenBitmapsGiveNullImages)
{
    const QByteArray good = bytesOf("rgb16-565.bmp");
    ASSERT_FALSE(readBmp(good).isNull());
    // Cut short at every length: never a crash, and no picture once pixels are missing.
    for (qsizetype n = 0; n < good.size(); ++n)
        EXPECT_TRUE(readBmp(good.first(n)).isNull()) << n;

    const auto patched = [](QByteArray bytes, int at, quint32 value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = char(value >> (8 * i));
        return bytes;
    };
    EXPECT_TRUE(readBmp(patched(good, 18, 0x7FFFFFFF)).isNull()); // width
    EXPECT_TRUE(readBmp(patched(good, 22, 0x80000000)).isNull()); // height
    EXPECT_TRUE(readBmp(patched(good, 10, 0xFFFFFFF0)).isNull()); // pixel offset
    EXPECT_TRUE(readBmp(patched(good, 14, 0x7FFFFFFF)).isNull()); // header size

    // An RLE stream too short for the size its header promises.
    QByteArray rle = bytesOf("pal8-rle8.bmp");
    EXPECT_TRUE(readBmp(patched(patched(rle, 18, 4000), 22, 4000)).isNull());
    // One cut mid-stream keeps what it has.
    const QImage cut = readBmp(rle.first(rle.size() - 40));
    ASSERT_FALSE(cut.isNull());
    EXPECT_EQ(qAlpha(cut.pixel(0, cut.height() - 1)), 255);

    const QByteArray icon = bytesOf("icon24-mask.ico");
    for (qsizetype n = 0; n < icon.size(); ++n)
        EXPECT_TRUE(readMaskedIcon(icon.first(n)).isNull()) << n;
}
