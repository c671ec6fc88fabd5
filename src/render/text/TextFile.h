#pragma once

#include <QByteArrayView>
#include <QStringList>

// The text of a file in the charset it is written in. A byte-order mark decides (UTF-8, UTF-16);
// pure ASCII is ASCII; otherwise a charset detector chooses between UTF-8, GB18030/GBK, Big5,
// UTF-16 and the rest, and when it is unsure (short text, a guess between look-alike charsets)
// GBK wins for text that decodes as GBK: short Chinese notices are written in GBK far more often
// than in anything that looks like it. Lines end at LF, CR LF or a lone CR.
namespace TextFile {

// The charset `decode` reads the bytes in: "UTF-8", "UTF-16LE", "GB18030", "Big5", ...
QByteArray detectCharset(QByteArrayView bytes);
bool looksLikeUtf8(QByteArrayView bytes);
QString decode(QByteArrayView bytes);
QStringList lines(QByteArrayView bytes);

} // namespace TextFile
