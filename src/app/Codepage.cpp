#include "Codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace Codepage {

// Opening a converter costs more than converting a short string, and a converter is not
// thread-safe: each thread keeps its own, stateless so that calls never affect each other.

namespace {

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

} // namespace

QString toUnicode(QByteArrayView ansi)
{
    // Most stored strings (paths, class names, font names of Western faces) are ASCII, which GBK
    // leaves as it is: no converter needed.
    if (isAscii(ansi))
        return QString::fromLatin1(ansi);
    thread_local QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return QString::fromLatin1(ansi);
    return decoder.decode(ansi);
}

QByteArray fromUnicode(QStringView text)
{
    if (isAscii(text))
        return text.toLatin1();
    thread_local QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return text.toLatin1();
    return encoder.encode(text);
}

} // namespace Codepage
