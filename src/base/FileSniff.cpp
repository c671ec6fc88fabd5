#include "FileSniff.h"

#include <QFileInfo>

#include <array>

namespace FileSniff {
namespace {

bool startsWith(QByteArrayView head, QByteArrayView prefix)
{
    return head.size() >= prefix.size() && head.first(prefix.size()) == prefix;
}

uchar byteAt(QByteArrayView head, qsizetype at)
{
    return at < head.size() ? static_cast<uchar>(head[at]) : 0;
}

quint32 u16At(QByteArrayView head, qsizetype at)
{
    return quint32(byteAt(head, at)) | (quint32(byteAt(head, at + 1)) << 8);
}

qint32 i32At(QByteArrayView head, qsizetype at)
{
    return static_cast<qint32>(u16At(head, at) | (u16At(head, at + 2) << 16));
}

constexpr QByteArrayView kPng("\x89PNG\r\n\x1a\n", 8);
constexpr QByteArrayView kOle2("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
constexpr QByteArrayView kZip("PK\x03\x04", 4);
constexpr QByteArrayView kEmptyZip("PK\x05\x06", 4);
constexpr QByteArrayView kUtf8Bom("\xEF\xBB\xBF", 3);
constexpr QByteArrayView kUtf32LeBom("\xFF\xFE\x00\x00", 4);
constexpr QByteArrayView kUtf32BeBom("\x00\x00\xFE\xFF", 4);

// "{\rtf", after a byte-order mark or white space some writers put first.
bool isRtf(QByteArrayView head)
{
    if (startsWith(head, kUtf8Bom))
        head = head.sliced(kUtf8Bom.size());
    qsizetype at = 0;
    while (at < head.size() && at < 64 &&
           (head[at] == ' ' || head[at] == '\t' || head[at] == '\r' || head[at] == '\n'))
        ++at;
    return startsWith(head.sliced(at), "{\\rtf");
}

bool isJpeg(QByteArrayView head)
{
    return startsWith(head, QByteArrayView("\xFF\xD8\xFF", 3));
}

bool isGif(QByteArrayView head)
{
    return startsWith(head, "GIF87a") || startsWith(head, "GIF89a");
}

// "BM", then a DIB header of a size some version of it has.
bool isBmp(QByteArrayView head)
{
    if (!startsWith(head, "BM") || head.size() < 18)
        return false;
    switch (i32At(head, 14)) {
    case 12:
    case 16:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
        return true;
    default:
        return false;
    }
}

// An icon directory with at least one image (a cursor's is type 2).
bool isIco(QByteArrayView head)
{
    return startsWith(head, QByteArrayView("\x00\x00\x01\x00", 4)) && head.size() >= 6 &&
           u16At(head, 4) > 0;
}

// What the PCX reader takes: 0x0A, run-length encoding or none, 1, 2, 4 or 8 bits a plane.
bool isPcx(QByteArrayView head)
{
    if (head.size() < 4 || byteAt(head, 0) != 0x0A)
        return false;
    const uchar bits = byteAt(head, 3);
    return byteAt(head, 2) <= 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8);
}

// An ISO media file (MP4, M4V, QuickTime) by its first box: "ftyp" with a brand that is not a
// still picture's (HEIF, AVIF), or the boxes older QuickTime files begin with.
bool isIsoMedia(QByteArrayView head)
{
    if (head.size() < 12)
        return false;
    const QByteArrayView box = head.sliced(4, 4);
    if (box == "ftyp") {
        const QByteArrayView brand = head.sliced(8, 4);
        return brand != "heic" && brand != "heix" && brand != "mif1" && brand != "msf1" &&
               brand != "avif" && brand != "avis";
    }
    return box == "moov" || box == "mdat" || box == "wide" || box == "free" || box == "skip";
}

// MPEG transport packets: the sync byte every 188 bytes (every 192 with a time code before it).
bool isTransportStream(QByteArrayView head)
{
    for (const int packet : {188, 192}) {
        const int first = packet - 188;
        const qsizetype packets = (head.size() - first) / packet;
        if (packets < 2)
            continue;
        bool all = true;
        for (qsizetype i = 0; i < std::min<qsizetype>(packets, 8) && all; ++i)
            all = byteAt(head, first + i * packet) == 0x47;
        if (all)
            return true;
    }
    return false;
}

bool isVideo(QByteArrayView head)
{
    constexpr QByteArrayView kEbml("\x1A\x45\xDF\xA3", 4);
    constexpr QByteArrayView kAsf(
        "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
    constexpr QByteArrayView kProgramStream("\x00\x00\x01\xBA", 4);
    constexpr QByteArrayView kVideoSequence("\x00\x00\x01\xB3", 4);
    return isIsoMedia(head) || startsWith(head, kEbml) || startsWith(head, kAsf) ||
           (startsWith(head, "RIFF") && head.size() >= 12 && head.sliced(8, 4) == "AVI ") ||
           startsWith(head, QByteArrayView("FLV\x01", 4)) || startsWith(head, kProgramStream) ||
           startsWith(head, kVideoSequence) || isTransportStream(head);
}

bool isExecutable(QByteArrayView head)
{
    if (startsWith(head, "\x7F"
                         "ELF"))
        return true;
    // A DOS stub: "MZ", then its header's NUL bytes (text may begin with "MZ", never with those).
    return startsWith(head, "MZ") && head.size() >= 64 &&
           head.first(64).contains(QByteArrayView("\0", 1));
}

// Bytes below the space that text holds: tab, line ends, form feed, vertical tab, the DOS end
// of file and the escape of terminal colours.
bool textControl(uint c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == 0x1A || c == 0x1B;
}

// Text when the units are rarely control characters: one in twenty at most (random bytes hold
// one in ten).
bool mostlyPrintable(qsizetype controls, qsizetype units)
{
    return units > 0 && controls * 20 <= units;
}

// Bytes of a legacy code page or UTF-8: no NUL, few control bytes.
bool isByteText(QByteArrayView bytes)
{
    qsizetype controls = 0;
    for (const char ch : bytes) {
        const auto c = static_cast<uchar>(ch);
        if (c == 0)
            return false;
        if ((c < 0x20 && !textControl(c)) || c == 0x7F)
            ++controls;
    }
    return bytes.isEmpty() || mostlyPrintable(controls, bytes.size());
}

// UTF-16 or UTF-32 after its byte-order mark: NUL units would be control units, and few of
// those.
bool isWideText(QByteArrayView bytes, int width, bool bigEndian)
{
    qsizetype controls = 0;
    const qsizetype units = bytes.size() / width;
    for (qsizetype i = 0; i < units; ++i) {
        quint32 unit = 0;
        for (int b = 0; b < width; ++b) {
            const quint32 byte = static_cast<uchar>(bytes[i * width + b]);
            unit |= byte << (8 * (bigEndian ? width - 1 - b : b));
        }
        if (unit < 0x20 ? !textControl(unit) : unit == 0x7F)
            ++controls;
        if (width == 4 && unit > 0x10FFFF)
            return false;
    }
    return units == 0 || mostlyPrintable(controls, units);
}

// UTF-16 or UTF-32 without a mark, as some editors write it: nearly all zero bytes fall in the
// high bytes of the units (a CJK character such as U+4E00 may put one in a low byte), and the
// units read as text. A program's zero bytes fall anywhere.
bool isUnmarkedWideText(QByteArrayView head)
{
    for (const int width : {4, 2}) {
        for (const bool bigEndian : {false, true}) {
            const qsizetype units = head.size() / width;
            if (units < 2)
                continue;
            qsizetype high = 0;
            qsizetype low = 0;
            for (qsizetype i = 0; i < units * width; ++i) {
                if (head[i] != 0)
                    continue;
                const int b = int(i % width);
                (b == (bigEndian ? width - 1 : 0) ? low : high) += 1;
            }
            if (high > 0 && low * 10 <= high &&
                isWideText(head.first(units * width), width, bigEndian))
                return true;
        }
    }
    return false;
}

bool isText(QByteArrayView head)
{
    if (startsWith(head, kUtf32LeBom))
        return isWideText(head.sliced(4), 4, false);
    if (startsWith(head, kUtf32BeBom))
        return isWideText(head.sliced(4), 4, true);
    if (startsWith(head, QByteArrayView("\xFF\xFE", 2)))
        return isWideText(head.sliced(2), 2, false);
    if (startsWith(head, QByteArrayView("\xFE\xFF", 2)))
        return isWideText(head.sliced(2), 2, true);
    if (startsWith(head, kUtf8Bom))
        return isByteText(head.sliced(3));
    return isByteText(head) || (head.contains('\0') && isUnmarkedWideText(head));
}

QString ledReason(qint32 width, qint32 height)
{
    return QStringLiteral("an LED picture of %1 x %2 pixels").arg(width).arg(height);
}

// The contents a name's extension may hold.
struct Rule
{
    const char* extension;
    const char* expected; // what the name says, for the reason
    std::array<Content, 2> contents;
};

constexpr Content kNone = Content::Empty; // never accepted: an empty file plays nothing

constexpr Rule kRules[] = {
    {"txt", "a text file", {Content::Text, Content::Rtf}},
    {"rtf", "an RTF document", {Content::Rtf, kNone}},
    {"doc", "a Word document", {Content::Ole2, Content::Rtf}},
    {"docx", "a Word document", {Content::Zip, kNone}},
    {"odt", "an OpenDocument text", {Content::Zip, kNone}},
    {"xls", "an Excel workbook", {Content::Ole2, kNone}},
    {"xlt", "an Excel template", {Content::Ole2, kNone}},
    {"xla", "an Excel add-in", {Content::Ole2, kNone}},
    {"xlm", "an Excel macro sheet", {Content::Ole2, kNone}},
    {"xlsx", "an Excel workbook", {Content::Zip, kNone}},
    {"ods", "an OpenDocument spreadsheet", {Content::Zip, kNone}},
    {"wks", "a Works or Lotus worksheet", {Content::Ole2, kNone}},
    {"bmp", "a BMP picture", {Content::Bmp, kNone}},
    {"png", "a PNG picture", {Content::Png, kNone}},
    {"jpg", "a JPEG picture", {Content::Jpeg, kNone}},
    {"jpeg", "a JPEG picture", {Content::Jpeg, kNone}},
    {"gif", "a GIF picture", {Content::Gif, kNone}},
    {"ico", "an icon", {Content::Ico, kNone}},
    {"pcx", "a PCX picture", {Content::Pcx, kNone}},
    {"wmf", "a WMF picture", {kNone, kNone}},
    // Any container under any video name: FFmpeg reads what the bytes are, not the name.
    {"mp4", "a video", {Content::Video, kNone}},
    {"m4v", "a video", {Content::Video, kNone}},
    {"mov", "a video", {Content::Video, kNone}},
    {"mkv", "a video", {Content::Video, kNone}},
    {"webm", "a video", {Content::Video, kNone}},
    {"avi", "a video", {Content::Video, kNone}},
    {"wmv", "a video", {Content::Video, kNone}},
    {"flv", "a video", {Content::Video, kNone}},
    {"mpg", "a video", {Content::Video, kNone}},
    {"mpeg", "a video", {Content::Video, kNone}},
    {"ts", "a video", {Content::Video, kNone}},
    // An Excel add-in library is a Windows program: nothing converts it, nothing shows it.
    {"xll", "an Excel add-in library", {kNone, kNone}},
};

const Rule* ruleFor(const QString& extension)
{
    for (const Rule& rule : kRules)
        if (extension.compare(QLatin1String(rule.extension), Qt::CaseInsensitive) == 0)
            return &rule;
    return nullptr;
}

// A BIFF stream's first record (Excel 2 to 4 files, not wrapped in OLE2): BOF, 4 or 6 bytes.
bool isBiffStream(QByteArrayView head)
{
    const quint32 type = u16At(head, 0);
    const quint32 length = u16At(head, 2);
    return head.size() >= 8 && (type == 0x0009 || type == 0x0209 || type == 0x0409) &&
           (length == 4 || length == 6);
}

// What the tolerant rules take beyond the contents sniff() names.
bool acceptsOtherwise(const QString& extension, QByteArrayView head)
{
    const auto is = [&](const char* ext) {
        return extension.compare(QLatin1String(ext), Qt::CaseInsensitive) == 0;
    };
    // Any "BM" file the BMP reader would try (headers it does not know are its to refuse).
    if (is("bmp"))
        return startsWith(head, "BM") && head.size() >= 18;
    if (is("xls") || is("xlt") || is("xla") || is("xlm"))
        return isBiffStream(head);
    // Lotus 1-2-3 and the older Works spreadsheets: a BOF record of two bytes.
    if (is("wks"))
        return startsWith(head, QByteArrayView("\x00\x00\x02\x00", 4)) ||
               startsWith(head, QByteArrayView("\xFF\x00\x02\x00", 4));
    // A placeable metafile, or a memory or disk metafile's header of 9 words.
    if (is("wmf"))
        return startsWith(head, QByteArrayView("\xD7\xCD\xC6\x9A", 4)) ||
               startsWith(head, QByteArrayView("\x01\x00\x09\x00\x00\x03", 6)) ||
               startsWith(head, QByteArrayView("\x02\x00\x09\x00\x00\x03", 6)) ||
               startsWith(head, QByteArrayView("\x01\x00\x09\x00\x00\x01", 6)) ||
               startsWith(head, QByteArrayView("\x02\x00\x09\x00\x00\x01", 6));
    return false;
}

} // namespace

bool isProjectHeader(QByteArrayView head, QString* why)
{
    const auto refuse = [why](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (head.size() < kProjectHeaderBytes)
        return refuse(QStringLiteral("too short for a project"));
    const qint32 splitMode = i32At(head, 0);
    const qint32 frameLines = i32At(head, 8);
    const qint32 width = i32At(head, 24);
    const qint32 height = i32At(head, 28);
    const qint32 manualPlay = i32At(head, 36);
    if (splitMode != 0 && splitMode != 1)
        return refuse(QStringLiteral("split mode %1").arg(splitMode));
    if (frameLines < 0 || frameLines > 3)
        return refuse(QStringLiteral("frame lines %1").arg(frameLines));
    if (manualPlay != 0 && manualPlay != 1)
        return refuse(QStringLiteral("manual play %1").arg(manualPlay));
    if (width < 1 || height < 1 || width > kMaxLedPixels || height > kMaxLedPixels)
        return refuse(ledReason(width, height));
    return true;
}

Content sniff(QByteArrayView head)
{
    head = head.first(std::min(head.size(), kHeadBytes));
    if (head.isEmpty())
        return Content::Empty;
    if (startsWith(head, kPng))
        return Content::Png;
    if (isJpeg(head))
        return Content::Jpeg;
    if (isGif(head))
        return Content::Gif;
    if (startsWith(head, kOle2))
        return Content::Ole2;
    if (startsWith(head, kZip) || startsWith(head, kEmptyZip))
        return Content::Zip;
    if (startsWith(head, "%PDF-"))
        return Content::Pdf;
    if (isVideo(head))
        return Content::Video;
    if (isRtf(head))
        return Content::Rtf;
    if (isExecutable(head))
        return Content::Executable;
    if (isIco(head))
        return Content::Ico;
    if (isPcx(head))
        return Content::Pcx;
    if (isBmp(head))
        return Content::Bmp;
    if (isProjectHeader(head))
        return Content::Project;
    if (isText(head))
        return Content::Text;
    return Content::Binary;
}

QString describe(Content content)
{
    switch (content) {
    case Content::Text:
        return QStringLiteral("a text file");
    case Content::Rtf:
        return QStringLiteral("an RTF document");
    case Content::Png:
        return QStringLiteral("a PNG picture");
    case Content::Jpeg:
        return QStringLiteral("a JPEG picture");
    case Content::Gif:
        return QStringLiteral("a GIF picture");
    case Content::Bmp:
        return QStringLiteral("a BMP picture");
    case Content::Ico:
        return QStringLiteral("an icon");
    case Content::Pcx:
        return QStringLiteral("a PCX picture");
    case Content::Zip:
        return QStringLiteral("a ZIP archive");
    case Content::Ole2:
        return QStringLiteral("an OLE2 (Office 97) document");
    case Content::Project:
        return QStringLiteral("a Tessarin project");
    case Content::Pdf:
        return QStringLiteral("a PDF document");
    case Content::Video:
        return QStringLiteral("a video");
    case Content::Executable:
        return QStringLiteral("a program");
    case Content::Binary:
        return QStringLiteral("binary data");
    case Content::Empty:
        return QStringLiteral("empty");
    }
    return QStringLiteral("binary data");
}

QStringList knownExtensions()
{
    QStringList extensions;
    for (const Rule& rule : kRules)
        extensions << QLatin1String(rule.extension);
    return extensions;
}

bool matchesName(const QString& fileName, QByteArrayView head, QString* why)
{
    const QString name = QFileInfo(fileName).fileName();
    const QString extension = QFileInfo(fileName).suffix();
    const Rule* rule = ruleFor(extension);
    if (!rule) {
        if (why)
            *why = QStringLiteral("%1: no item plays .%2 files").arg(name, extension.toLower());
        return false;
    }
    const Content content = sniff(head);
    if (content != Content::Empty) {
        for (const Content allowed : rule->contents)
            if (allowed != kNone && allowed == content) {
                if (why)
                    why->clear();
                return true;
            }
        // Tolerance is for binary picture and office formats whose headers vary: text, a program
        // or a project is never "a BMP that varies".
        if (content == Content::Binary &&
            acceptsOtherwise(extension, head.first(std::min(head.size(), kHeadBytes)))) {
            if (why)
                why->clear();
            return true;
        }
    }
    if (why)
        *why = content == Content::Empty
                   ? QStringLiteral("%1 is empty, not %2").arg(name, QLatin1String(rule->expected))
                   : QStringLiteral("%1 is %2, not %3")
                         .arg(name, describe(content), QLatin1String(rule->expected));
    return false;
}

} // namespace FileSniff
