#include "Codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace Codepage {

// A converter object carries state and is not thread-safe: one per call is cheap enough and keeps
// the play thread and the GUI thread apart.

QString toUnicode(QByteArrayView ansi)
{
    QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return QString::fromLatin1(ansi);
    return decoder.decode(ansi);
}

QByteArray fromUnicode(QStringView text)
{
    QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return text.toLatin1();
    return encoder.encode(text);
}

} // namespace Codepage
