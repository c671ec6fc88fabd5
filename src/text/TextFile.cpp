#include "TextFile.h"

#include "app/Codepage.h"

namespace TextFile {
namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";

bool hasBom(QByteArrayView bytes)
{
    return bytes.startsWith(QByteArrayView(kBom, 3));
}

} // namespace

bool looksLikeUtf8(QByteArrayView bytes)
{
    if (hasBom(bytes))
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
    if (hasBom(bytes))
        return QString::fromUtf8(bytes.sliced(3));
    if (looksLikeUtf8(bytes))
        return QString::fromUtf8(bytes);
    return Codepage::toUnicode(bytes);
}

QStringList lines(QByteArrayView bytes)
{
    const QString text = decode(bytes);
    QStringList result;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        const bool last = end < 0;
        if (last)
            end = text.size();
        qsizetype stop = end;
        if (stop > start && text.at(stop - 1) == QLatin1Char('\r'))
            --stop;
        if (!last || stop > start)
            result.append(text.mid(start, stop - start));
        if (last)
            break;
        start = end + 1;
    }
    return result;
}

} // namespace TextFile
