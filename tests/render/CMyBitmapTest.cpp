#include "render/pictures/CMyBitmap.h"
#include "render/pictures/TransparentCopy.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr QRgb kBlack = 0xFF000000;

// A picture whose every pixel tells where it came from.
QImage gradient(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, 77));
    return image;
}

class CMyBitmapTest : public testing::Test
{
protected:
    QString save(const QImage& image, const char* name)
    {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(image.save(path));
        return path;
    }
    QString write(const QByteArray& bytes, const char* name)
    {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    QImage fitted(const QImage& picture, QSize into, int mode)
    {
        CMyBitmap bitmap;
        EXPECT_TRUE(bitmap.Load(save(picture, "p.png")));
        QImage out(into, QImage::Format_RGB32);
        out.fill(kBlack);
        bitmap.DrawFitted(out, QRect(QPoint(0, 0), into), mode);
        return out;
    }

private:
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(CMyBitmapTest, ZoomKeepsTheAspectAndCentres)
{
    QImage wide(100, 50, QImage::Format_RGB32);
    wide.fill(Qt::red);
    QImage out = fitted(wide, QSize(200, 200), CMyBitmap::Zoom);
    EXPECT_EQ(out.pixel(0, 49), kBlack);
    EXPECT_EQ(out.pixel(0, 50), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(199, 149), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(0, 150), kBlack);

    QImage tall(50, 100, QImage::Format_RGB32);
    tall.fill(Qt::red);
    out = fitted(tall, QSize(200, 100), CMyBitmap::Zoom);
    EXPECT_EQ(out.pixel(74, 50), kBlack);
    EXPECT_EQ(out.pixel(75, 0), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(124, 99), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(125, 50), kBlack);

    out = fitted(tall, QSize(100, 200), CMyBitmap::Zoom); // same aspect: fills
    EXPECT_EQ(out.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(99, 199), qRgb(255, 0, 0));
}

TEST_F(CMyBitmapTest, CenterCropsStretchFillsTileRepeats)
{
    const QImage big = gradient(300, 300);
    QImage out = fitted(big, QSize(200, 100), CMyBitmap::Center);
    EXPECT_EQ(out.pixel(0, 0), big.pixel(50, 100));
    EXPECT_EQ(out.pixel(199, 99), big.pixel(249, 199));

    const QImage small = gradient(10, 5);
    out = fitted(small, QSize(40, 20), CMyBitmap::Stretch);
    EXPECT_EQ(out.pixel(0, 0), small.pixel(0, 0));
    EXPECT_EQ(out.pixel(39, 19), small.pixel(9, 4));
    EXPECT_EQ(out.pixel(20, 10), small.pixel(5, 2));

    const QImage tile = gradient(64, 64);
    out = fitted(tile, QSize(200, 100), 3);
    EXPECT_EQ(out.pixel(192, 64), tile.pixel(0, 0));
    EXPECT_EQ(out.pixel(199, 99), tile.pixel(7, 35));
    EXPECT_EQ(out.pixel(63, 63), tile.pixel(63, 63));
    EXPECT_EQ(fitted(tile, QSize(200, 100), 7).pixel(130, 70), tile.pixel(2, 6)); // 3 and above
}

TEST_F(CMyBitmapTest, DrawCropsAtItsOwnSizeAndDrawAtFallsBackToIt)
{
    CMyBitmap bitmap;
    const QImage picture = gradient(20, 20);
    ASSERT_TRUE(bitmap.Load(save(picture, "d.bmp")));
    EXPECT_EQ(bitmap.Size(), QSize(20, 20));
    QImage out(30, 30, QImage::Format_RGB32);
    out.fill(kBlack);
    bitmap.Draw(out, 5, 5, 10, 10, false);
    EXPECT_EQ(out.pixel(9, 9), picture.pixel(4, 4));
    EXPECT_EQ(out.pixel(10, 10), kBlack);
    bitmap.DrawAt(out, 10, 10, 0, 0);
    EXPECT_EQ(out.pixel(29, 29), picture.pixel(19, 19));
}

TEST_F(CMyBitmapTest, ReloadingReplacesAndAFailedDecodeEmpties)
{
    CMyBitmap bitmap;
    ASSERT_TRUE(bitmap.Load(save(gradient(8, 4), "a.jpg")));
    ASSERT_TRUE(bitmap.Load(save(gradient(6, 3), "b.png")));
    EXPECT_EQ(bitmap.Size(), QSize(6, 3));
    EXPECT_FALSE(bitmap.Load(QStringLiteral("/no/such/picture.bmp")));
    EXPECT_EQ(bitmap.Size(), QSize(6, 3)); // not opened: the picture stays
    EXPECT_FALSE(bitmap.Load(write("GIF89a garbage", "c.gif")));
    EXPECT_TRUE(bitmap.isNull());
    QImage out(4, 4, QImage::Format_RGB32);
    out.fill(kBlack);
    bitmap.DrawFitted(out, out.rect(), CMyBitmap::Stretch); // draws nothing
    EXPECT_EQ(out.pixel(1, 1), kBlack);
}

TEST_F(CMyBitmapTest, IconsAndPcxFilesLoad)
{
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    for (int i = 0; i < 16; ++i)
        icon.setPixel(i, i, qRgb(0, 255, 0));
    CMyBitmap bitmap;
    ASSERT_TRUE(bitmap.Load(save(icon, "i.ico")));
    QImage out(16, 16, QImage::Format_RGB32);
    out.fill(qRgb(0, 0, 255));
    bitmap.DrawAt(out, 0, 0, 0, 0);
    EXPECT_EQ(out.pixel(3, 3), qRgb(0, 255, 0));
    EXPECT_EQ(out.pixel(3, 4), qRgb(0, 0, 255)); // transparent parts show what is below

    QByteArray pcx(128, '\0');
    pcx[0] = 0x0A;
    pcx[2] = 1;
    pcx[3] = 8;
    pcx[8] = 1; // 2 x 1
    pcx[65] = 3;
    pcx[66] = 2;
    pcx += QByteArray("\x10\x20\x30\x40\x50\x60", 6);
    ASSERT_TRUE(bitmap.Load(write(pcx, "p.PCX")));
    EXPECT_EQ(bitmap.image().pixel(1, 0), qRgb(0x20, 0x40, 0x60));
}

TEST(TransparentCopy, KeyColourLeavesTheDestinationAndSizesScale)
{
    QImage source(2, 2, QImage::Format_RGB32);
    source.setPixel(0, 0, qRgb(255, 0, 0));
    source.setPixel(1, 0, qRgb(0, 0, 0)); // the key
    source.setPixel(0, 1, qRgb(0, 255, 0));
    source.setPixel(1, 1, qRgb(0, 0, 255));
    QImage destination(6, 6, QImage::Format_RGB32);
    destination.fill(qRgb(9, 9, 9));
    TransparentCopy(destination, 1, 1, 4, 4, source, 0, 0, 2, 2, 0x000000);
    EXPECT_EQ(destination.pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(destination.pixel(2, 2), qRgb(255, 0, 0));
    EXPECT_EQ(destination.pixel(3, 1), qRgb(9, 9, 9)); // key: unchanged
    EXPECT_EQ(destination.pixel(4, 2), qRgb(9, 9, 9));
    EXPECT_EQ(destination.pixel(4, 4), qRgb(0, 0, 255));
    EXPECT_EQ(destination.pixel(0, 0), qRgb(9, 9, 9));
    EXPECT_EQ(destination.pixel(5, 5), qRgb(9, 9, 9));
    // Clipped at the destination's edges.
    TransparentCopy(destination, 4, 4, 4, 4, source, 0, 0, 2, 2, 0x0000FF00);
    EXPECT_EQ(destination.pixel(5, 5), qRgb(255, 0, 0));
}
