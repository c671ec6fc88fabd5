#include "render/pictures/CPictureEx.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// A GIF of 1 x 1 pixels with a two-colour global table (red, blue; background entry 1).
const QByteArray kHeader = hex("474946383961 0100 0100 80 01 00 ff0000 0000ff");
const QByteArray kControl = hex("21f904 00 0a00 00 00");
const QByteArray kImage = hex("2c 0000 0000 0100 0100 00 02 024401 00");
const QByteArray kComment = hex("21fe 03 616263 00");
const QByteArray kTrailer = hex("3b");

QString write(QTemporaryDir& dir, const char* name, const QByteArray& bytes)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

} // namespace

TEST(CPictureEx, TwoControlledImagesAreAnimated)
{
    CPictureEx reader;
    ASSERT_TRUE(
        reader.Parse(kHeader + kControl + kImage + kComment + kControl + kImage + kTrailer));
    EXPECT_TRUE(reader.isGif());
    EXPECT_EQ(reader.frameCount(), 2);
    ASSERT_EQ(reader.frames().size(), 2u);
    EXPECT_TRUE(reader.isAnimated());
    EXPECT_EQ(reader.size(), QSize(1, 1));
    EXPECT_EQ(reader.backgroundColor(), 0x00FF0000); // entry 1, blue, as COLORREF
    EXPECT_EQ(reader.frames()[0].size(), QSize(1, 1));

    QTemporaryDir dir;
    EXPECT_TRUE(IsAnimatedGif(
        write(dir, "moving.GIF", kHeader + kControl + kImage + kControl + kImage + kTrailer)));
    EXPECT_FALSE(IsAnimatedGif(
        write(dir, "moving.bmp", kHeader + kControl + kImage + kControl + kImage + kTrailer)));
}

TEST(CPictureEx, OneImageIsStillAndImagesWithoutControlAreFrames)
{
    CPictureEx reader;
    ASSERT_TRUE(reader.Parse(kHeader + kControl + kImage + kTrailer));
    EXPECT_EQ(reader.frameCount(), 1);
    EXPECT_FALSE(reader.isAnimated());
    EXPECT_FALSE(reader.still().isNull());
    ASSERT_TRUE(reader.Parse(kHeader + kImage + kImage + kTrailer));
    EXPECT_EQ(reader.frameCount(), 2);
    EXPECT_TRUE(reader.isAnimated());
}

TEST(CPictureEx, OtherVersionsAndOtherPictures)
{
    QByteArray version = kHeader + kControl + kImage + kControl + kImage + kTrailer;
    version.replace(3, 3, "90z");
    CPictureEx reader;
    ASSERT_TRUE(reader.Parse(version));
    EXPECT_TRUE(reader.isGif());
    EXPECT_EQ(reader.frameCount(), 2);

    QImage jpeg(4, 4, QImage::Format_RGB32);
    jpeg.fill(Qt::red);
    QTemporaryDir dir;
    const QString path = dir.filePath("photo.gif");
    ASSERT_TRUE(jpeg.save(path, "JPG"));
    EXPECT_FALSE(IsAnimatedGif(path));
    ASSERT_TRUE(reader.Load(path));
    EXPECT_FALSE(reader.isGif());
    EXPECT_EQ(reader.size(), QSize(4, 4));
}

TEST(CPictureEx, BrokenWalksStayInsideTheData)
{
    CPictureEx reader;
    const QByteArray full = kHeader + kControl + kImage + kControl + kImage + kTrailer;
    for (qsizetype n = 0; n < full.size(); ++n)
        reader.Parse(full.left(n)); // every cut: no read past the end, never animated
    EXPECT_FALSE(reader.Parse(QByteArray("GIF")));
    QByteArray hugeTable = kHeader;
    hugeTable[10] = char(0x87); // a table of 768 bytes that is not there
    EXPECT_FALSE(reader.Parse(hugeTable));
    EXPECT_FALSE(reader.isAnimated());
}

namespace {

// A small file of many one-pixel frames on a large logical screen: every frame decodes to the
// whole screen, 4000 x 4000 x 4 bytes.
QByteArray frameBomb(int frames)
{
    QByteArray gif("GIF89a");
    gif += QByteArray::fromHex("a00fa00f 80 00 00"); // 4000 x 4000, a global table of two
    gif += QByteArray::fromHex("000000 ffffff");
    for (int i = 0; i < frames; ++i) {
        gif += QByteArray::fromHex("21f904 000a0000 00");                   // 100 ms
        gif += QByteArray::fromHex("2c 00000000 01000100 00 02 024401 00"); // one pixel
    }
    return gif + char(0x3B);
}

} // namespace

TEST(CPictureEx, AFrameBombIsCountedWithoutDecodingAndDecodedOnlyInPart)
{
    const QByteArray bomb = frameBomb(400);
    EXPECT_LT(bomb.size(), 10 * 1024);
    // Adding it decodes two frames, not four hundred (that was 25 GB).
    EXPECT_EQ(CPictureEx::decodableFrames(bomb, 2), 2);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("bomb.gif")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bomb);
    file.close();
    EXPECT_TRUE(IsAnimatedGif(file.fileName()));
    // Playing it keeps the frames that fit the budget.
    CPictureEx reader;
    ASSERT_TRUE(reader.Parse(bomb));
    EXPECT_EQ(reader.frameCount(), 400);
    EXPECT_LE(qint64(reader.frames().size()) * 4000 * 4000 * 4, CPictureEx::kMaxDecodedBytes);
    EXPECT_GE(reader.frames().size(), 2u);
}
