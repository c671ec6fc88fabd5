#include "Codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace Codepage {

// Opening a converter costs more than converting a short string, and a converter is not
// thread-safe: each thread keeps its own, stateless so that calls never affect each other.

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // a byte b >= 0x80 that is no character: U+DC00 + b
constexpr char16_t kEuro = 0x20AC;       // 0x80 in CP936

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<uchar>(c) >= 0x80)
            return false;
    }
    return true;
}

bool isAscii(QStringView text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

bool isEscape(QChar c)
{
    return c.unicode() >= kEscapeBase + 0x80 && c.unicode() <= kEscapeBase + 0xFF;
}

QStringDecoder& decoder()
{
    thread_local QStringDecoder gbk("GBK", QStringConverter::Flag::Stateless);
    return gbk;
}

QStringEncoder& encoder()
{
    thread_local QStringEncoder gbk("GBK", QStringConverter::Flag::Stateless);
    return gbk;
}

bool isLeadByte(uchar c)
{
    return c >= 0x81 && c <= 0xFE;
}

bool isTrailByte(uchar c)
{
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

// Byte by byte: each character that GBK holds, and an escape for each byte that is none (or
// that would not come back the same), so that writing the text again gives the same bytes.
QString toUnicodeKeepingBytes(QByteArrayView ansi)
{
    QString text;
    text.reserve(ansi.size());
    const auto* p = reinterpret_cast<const uchar*>(ansi.data());
    const qsizetype n = ansi.size();
    for (qsizetype i = 0; i < n;) {
        if (p[i] < 0x80) {
            text.append(QChar(p[i]));
            ++i;
            continue;
        }
        // CP936's one single-byte character beyond ASCII.
        if (p[i] == 0x80) {
            text.append(QChar(kEuro));
            ++i;
            continue;
        }
        if (isLeadByte(p[i]) && i + 1 < n && isTrailByte(p[i + 1])) {
            const QByteArrayView pair = ansi.sliced(i, 2);
            const QString one = decoder().decode(pair);
            if (one.size() == 1 && one.at(0) != QChar::ReplacementCharacter &&
                QByteArray(encoder().encode(one)) == pair) {
                text.append(one);
                i += 2;
                continue;
            }
        }
        text.append(QChar(char16_t(kEscapeBase + p[i])));
        ++i;
    }
    return text;
}

} // namespace

QString toUnicode(QByteArrayView ansi)
{
    // Most stored strings (paths, class names, font names of Western faces) are ASCII, which GBK
    // leaves as it is: no converter needed.
    if (isAscii(ansi))
        return QString::fromLatin1(ansi);
    if (!decoder().isValid() || !encoder().isValid())
        return QString::fromLatin1(ansi);
    const QString text = decoder().decode(ansi);
    if (!decoder().hasError() && !text.contains(QChar::ReplacementCharacter) &&
        QByteArray(encoder().encode(text)) == ansi)
        return text;
    return toUnicodeKeepingBytes(ansi);
}

QByteArray fromUnicode(QStringView text)
{
    if (isAscii(text))
        return text.toLatin1();
    if (!encoder().isValid())
        return text.toLatin1();
    qsizetype escape = 0;
    while (escape < text.size() && !isEscape(text.at(escape)))
        ++escape;
    if (escape == text.size())
        return QByteArray(encoder().encode(text));
    // Bytes kept from a string that was not GBK go back as they came.
    QByteArray bytes;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isEscape(text.at(i)))
            continue;
        bytes += QByteArray(encoder().encode(text.sliced(start, i - start)));
        bytes += char(text.at(i).unicode() - kEscapeBase);
        start = i + 1;
    }
    bytes += QByteArray(encoder().encode(text.sliced(start)));
    return bytes;
}

bool roundTrips(QStringView text)
{
    if (isAscii(text))
        return true;
    return toUnicode(fromUnicode(text)) == text;
}

} // namespace Codepage
