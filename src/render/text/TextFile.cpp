#include "TextFile.h"

#include <QStringDecoder>

#include <uchardet/uchardet.h>

#include <memory>

namespace TextFile {
namespace {

constexpr qsizetype kSureNonAsciiBytes = 64; // fewer non-ASCII bytes: a detector only guesses
constexpr qsizetype kSampleBytes = 256 * 1024;

struct UchardetDeleter
{
    void operator()(uchardet_t detector) const { uchardet_delete(detector); }
};

QByteArray bomCharset(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return "UTF-8";
    if (bytes.startsWith("\xFF\xFE"))
        return "UTF-16LE";
    if (bytes.startsWith("\xFE\xFF"))
        return "UTF-16BE";
    return {};
}

qsizetype nonAsciiBytes(QByteArrayView bytes)
{
    qsizetype count = 0;
    for (const char c : bytes)
        count += static_cast<uchar>(c) >= 0x80;
    return count;
}

// UTF-16 without a byte-order mark: text with many zero bytes, nearly all on one side.
QByteArray utf16WithoutBom(QByteArrayView bytes)
{
    const qsizetype n = std::min<qsizetype>(bytes.size(), 4096) & ~qsizetype(1);
    if (n < 4)
        return {};
    qsizetype evenZeros = 0, oddZeros = 0;
    for (qsizetype i = 0; i < n; i += 2) {
        evenZeros += bytes[i] == 0;
        oddZeros += bytes[i + 1] == 0;
    }
    const qsizetype pairs = n / 2;
    if (oddZeros * 10 >= pairs * 3 && evenZeros * 20 < pairs)
        return "UTF-16LE";
    if (evenZeros * 10 >= pairs * 3 && oddZeros * 20 < pairs)
        return "UTF-16BE";
    return {};
}

QByteArray detectorCharset(QByteArrayView bytes)
{
    std::unique_ptr<uchardet, UchardetDeleter> detector(uchardet_new());
    if (!detector)
        return {};
    const QByteArrayView sample = bytes.first(std::min(bytes.size(), kSampleBytes));
    uchardet_handle_data(detector.get(), sample.data(), size_t(sample.size()));
    uchardet_data_end(detector.get());
    return QByteArray(uchardet_get_charset(detector.get())).toUpper();
}

bool decodesWithoutError(QByteArrayView bytes, const char* charset)
{
    QStringDecoder decoder(charset, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return false;
    const QString text = decoder.decode(bytes);
    return !decoder.hasError() && !text.contains(QChar::ReplacementCharacter);
}

// GBK that happens to be valid UTF-8: every non-ASCII pair lies in the GB2312 block (both bytes
// A1..FE), and read as UTF-8 it gives marks from beyond Latin-1 (combining accents, Cyrillic,
// Greek) rather than the accented letters of real UTF-8 text.
bool gbkPosingAsUtf8(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] < 0x80)
            continue;
        if (i + 1 >= n || p[i] < 0xA1 || p[i] > 0xF7 || p[i + 1] < 0xA1 || p[i + 1] > 0xFE)
            return false;
        ++i;
    }
    const QString utf8 = QString::fromUtf8(bytes);
    for (const QChar c : utf8)
        if (c.unicode() >= 0x100 && c.unicode() < 0x800)
            return true;
    return false;
}

bool isGbFamily(const QByteArray& charset)
{
    return charset == "GB18030" || charset == "GB2312" || charset == "GBK" ||
           charset == "HZ-GB-2312" || charset == "EUC-CN";
}

} // namespace

QByteArray detectCharset(QByteArrayView bytes)
{
    if (const QByteArray bom = bomCharset(bytes); !bom.isEmpty())
        return bom;
    if (const QByteArray wide = utf16WithoutBom(bytes); !wide.isEmpty())
        return wide;
    const qsizetype nonAscii = nonAsciiBytes(bytes);
    if (nonAscii == 0)
        return "US-ASCII";
    const QByteArray detected = detectorCharset(bytes);
    const bool sure = nonAscii >= kSureNonAsciiBytes;
    // Decoding the whole file as GBK is only worth it where the answer can change the choice.
    const auto readsAsGbk = [&] { return decodesWithoutError(bytes, "GB18030"); };
    if (detected == "UTF-8" || (detected.isEmpty() && looksLikeUtf8(bytes))) {
        if (!sure && gbkPosingAsUtf8(bytes) && readsAsGbk())
            return "GB18030";
        return "UTF-8";
    }
    if (isGbFamily(detected))
        return "GB18030";
    if (detected == "BIG5")
        return "Big5";
    if (detected == "UTF-16LE" || detected == "UTF-16BE")
        return detected;
    // Anything else is a guess among look-alikes: GBK wins when it reads, unless the detector had
    // plenty to go on.
    if ((!sure || detected.isEmpty() || detected.startsWith("EUC-") ||
         detected.startsWith("ISO-2022")) &&
        readsAsGbk())
        return "GB18030";
    if (!detected.isEmpty() && QStringDecoder(detected.constData()).isValid())
        return detected;
    return "GB18030";
}

bool looksLikeUtf8(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return true;
    bool nonAscii = false;
    const auto* p = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const uchar c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        nonAscii = true;
        int more;
        char32_t min;
        if ((c & 0xE0) == 0xC0) {
            more = 1;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3;
            min = 0x10000;
        } else {
            return false;
        }
        char32_t cp = c & (0x3F >> more);
        for (int k = 1; k <= more; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are not UTF-8.
        if (cp < min || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += more + 1;
    }
    return nonAscii;
}

QString decode(QByteArrayView bytes)
{
    const QByteArray charset = detectCharset(bytes);
    if (charset == "US-ASCII")
        return QString::fromLatin1(bytes);
    QStringDecoder decoder(charset.constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        decoder = QStringDecoder("GB18030", QStringConverter::Flag::Stateless);
    // The decoder drops a byte-order mark of its own charset.
    QString text = decoder.decode(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

QStringList lines(QByteArrayView bytes)
{
    const QString text = decode(bytes);
    QStringList result;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            continue;
        result.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        result.append(text.mid(start));
    return result;
}

} // namespace TextFile
