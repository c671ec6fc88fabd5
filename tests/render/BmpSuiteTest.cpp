// Jason Summers' BMP Suite files under tests/data/images/bmpsuite against reference PNGs made by
// other decoders (which one for each file is told in the table and in SOURCES): alpha in bit
// fields of every width, RLE streams that skip pixels by moves and early ends, and the unused
// fourth byte of 32-bit pixels.
#include "render/pictures/BmpReader.h"
#include "render/pictures/CMyBitmap.h"

#include <QFile>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct SuiteFile
{
    const char* name; // without .bmp; the reference is name.png
    const char* referenceBy;
    bool cutToo; // RLE with moves and early ends: also read cut short at every length
};

// Names the file when a test fails, instead of the struct's bytes.
void PrintTo(const SuiteFile& file, std::ostream* out)
{
    *out << file.name;
}

const SuiteFile kFiles[] = {
    {"pal8rle", "ImageMagick", false},
    {"pal4rle", "ImageMagick", false},
    {"pal8rletrns", "ImageMagick", true},
    {"pal4rletrns", "ImageMagick", true},
    {"pal8rlecut", "ImageMagick", true},
    {"pal4rlecut", "ImageMagick", true},
    {"rgba16-4444", "GIMP", false},
    {"rgba16-5551", "GIMP", false},
    {"rgba32-61754", "GIMP", false},
    {"rgba32-81284", "GIMP", false},
    {"rgba32h56", "ImageMagick", false},
    {"rgba32abf", "ImageMagick, from the suite's rgba32-2.bmp", false},
    {"rgb32fakealpha", "Pillow", false},
};

QString dataPath(const SuiteFile& file, const char* extension)
{
    return QStringLiteral(TESSARIN_TEST_DATA "/images/bmpsuite/") + QString::fromLatin1(file.name) +
           QString::fromLatin1(extension);
}

QByteArray bytesOf(const SuiteFile& file)
{
    QFile in(dataPath(file, ".bmp"));
    EXPECT_TRUE(in.open(QIODevice::ReadOnly)) << file.name;
    return in.readAll();
}

QImage premultiplied(const QImage& image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage referenceOf(const SuiteFile& file)
{
    return premultiplied(QImage(dataPath(file, ".png")));
}

// Pixels that differ, compared premultiplied (as CMyBitmap keeps pictures) so that the colour of
// a fully transparent pixel does not count; the first one is told in where.
int differingPixels(const QImage& got, const QImage& want, std::string& where)
{
    int wrong = 0;
    for (int y = 0; y < want.height(); ++y) {
        const QRgb* a = reinterpret_cast<const QRgb*>(got.constScanLine(y));
        const QRgb* b = reinterpret_cast<const QRgb*>(want.constScanLine(y));
        for (int x = 0; x < want.width(); ++x) {
            if (a[x] == b[x])
                continue;
            if (wrong++ == 0)
                where = "first at " + std::to_string(x) + "," + std::to_string(y) + ": got " +
                        QString::number(a[x], 16).toStdString() + ", want " +
                        QString::number(b[x], 16).toStdString();
        }
    }
    return wrong;
}

void expectReferencePixels(const QImage& image, const SuiteFile& file)
{
    const QImage want = referenceOf(file);
    ASSERT_FALSE(want.isNull()) << file.name;
    ASSERT_FALSE(image.isNull()) << file.name;
    ASSERT_EQ(image.size(), want.size());
    std::string where;
    EXPECT_EQ(differingPixels(premultiplied(image), want, where), 0)
        << file.name << " against " << file.referenceBy << ", " << where;
}

bool hasTransparency(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 255)
                return true;
    return false;
}

class BmpSuite : public testing::TestWithParam<SuiteFile>
{};

class BmpSuiteRle : public testing::TestWithParam<SuiteFile>
{};

std::vector<SuiteFile> filesToCut()
{
    std::vector<SuiteFile> files;
    for (const SuiteFile& file : kFiles)
        if (file.cutToo)
            files.push_back(file);
    return files;
}

std::string testName(const testing::TestParamInfo<SuiteFile>& info)
{
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

} // namespace

TEST_P(BmpSuite, OwnReaderGivesTheReferencePixels)
{
    const QImage image = readBmp(bytesOf(GetParam()));
    expectReferencePixels(image, GetParam());
    // Pictures without transparency come out opaque, so that they draw without blending.
    if (!image.isNull()) {
        EXPECT_EQ(image.format(), hasTransparency(referenceOf(GetParam())) ? QImage::Format_ARGB32
                                                                           : QImage::Format_RGB32);
    }
}

TEST_P(BmpSuite, LoadedPictureGivesTheReferencePixels)
{
    CMyBitmap bitmap;
    ASSERT_TRUE(bitmap.Load(dataPath(GetParam(), ".bmp")));
    expectReferencePixels(bitmap.image(), GetParam());
}

// An RLE stream cut anywhere keeps the pixels it still has and leaves the rest at palette entry 0;
// the copy is exactly as long as the cut, so a sanitized build sees any read past its end.
TEST_P(BmpSuiteRle, CutAnywhereKeepsWhatItHas)
{
    const SuiteFile& file = GetParam();
    const QByteArray whole = bytesOf(file);
    const QImage want = referenceOf(file);
    ASSERT_FALSE(want.isNull());
    const auto u32At = [&](qsizetype at) {
        quint32 v = 0;
        for (int i = 3; i >= 0; --i)
            v = v << 8 | uchar(whole[at + i]);
        return v;
    };
    const qsizetype pixelsAt = u32At(10);
    const qsizetype paletteAt = 14 + u32At(14);
    const QRgb entry0 =
        qRgb(uchar(whole[paletteAt + 2]), uchar(whole[paletteAt + 1]), uchar(whole[paletteAt]));

    bool readOne = false;
    int kept = 0;
    for (qsizetype length = pixelsAt + 1; length <= whole.size(); ++length) {
        // Not a QByteArray: its hidden terminating zero would hide a read one byte past the end.
        const std::vector<char> cut(whole.cbegin(), whole.cbegin() + length);
        const QImage image = readBmp(QByteArrayView(cut.data(), length));
        // The reader refuses a stream far too short for the picture's size, but none longer
        // than one it reads.
        if (image.isNull()) {
            ASSERT_FALSE(readOne) << "refused at length " << length;
            continue;
        }
        ASSERT_EQ(image.size(), want.size());
        // An opaque picture's pixels are already what premultiplying would give.
        const QImage got = image.format() == QImage::Format_RGB32 ? image : premultiplied(image);
        int same = 0;
        int other = 0;
        for (int y = 0; y < want.height(); ++y) {
            const QRgb* a = reinterpret_cast<const QRgb*>(got.constScanLine(y));
            const QRgb* b = reinterpret_cast<const QRgb*>(want.constScanLine(y));
            for (int x = 0; x < want.width(); ++x) {
                if (a[x] == b[x])
                    ++same;
                else if (a[x] != entry0)
                    ++other;
            }
        }
        ASSERT_EQ(other, 0) << "pixels neither decoded nor palette entry 0 at length " << length;
        ASSERT_GE(same, kept) << "a longer stream lost pixels at length " << length;
        readOne = true;
        kept = same;
    }
    EXPECT_EQ(kept, want.width() * want.height());
}

INSTANTIATE_TEST_SUITE_P(Files, BmpSuite, testing::ValuesIn(kFiles), testName);
INSTANTIATE_TEST_SUITE_P(Files, BmpSuiteRle, testing::ValuesIn(filesToCut()), testName);
