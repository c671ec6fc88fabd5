#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The ANSI code page of stored strings and legacy text: GBK (CP936), as on the Chinese systems
// the LED PCs run. Characters that GBK cannot hold become '?', as the ANSI conversion does.
// Bytes that are no GBK character (a lone lead byte, a GB18030 four-byte sequence) read as
// escapes (U+DC80..U+DCFF) that write back as the same bytes: opening and saving an old file
// never changes what it holds.
namespace Codepage {

QString toUnicode(QByteArrayView ansi);
QByteArray fromUnicode(QStringView text);
// Whether the text survives GBK and back; what does not must be stored another way.
bool roundTrips(QStringView text);

} // namespace Codepage
