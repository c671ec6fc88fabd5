#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

// The text of a file in the charset it is written in. A byte-order mark decides (UTF-8, UTF-16,
// UTF-32), then the shape of UTF-16 and UTF-32 without one; bytes with NUL in them (outside
// UTF-16/32) or mostly control bytes are no text. Pure ASCII is ASCII (unless it is ISO-2022 or
// HZ); valid UTF-8 is UTF-8, save for short GBK whose bytes happen to be valid UTF-8 too.
// Otherwise a charset detector names the charset (any it knows: the ISO-8859 and Windows code
// pages, KOI8-R, EUC-KR/CP949, Shift_JIS, EUC-JP, Big5, EUC-TW, ...), and for a short text,
// where it only guesses, GBK wins when the bytes read as Chinese in GBK: short Chinese notices
// are written in GBK far more often than in anything that looks like it. GBK is read as Windows
// writes it (CP936, with the euro sign at 0x80) and as GB18030 beyond it. Lines end at LF, CR LF
// or a lone CR.
namespace TextFile {

// The charset `decode` reads the bytes in: "UTF-8", "UTF-16LE", "GB18030", "Big5",
// "windows-1252", ...; empty when the bytes are no text at all.
QByteArray detectCharset(QByteArrayView bytes);
bool looksLikeUtf8(QByteArrayView bytes);
// The text, or an empty one for bytes that are no text.
QString decode(QByteArrayView bytes);
// The text in a charset `detectCharset` named.
QString decode(QByteArrayView bytes, const QByteArray& charset);
QStringList splitLines(const QString& text);
QStringList lines(QByteArrayView bytes);

} // namespace TextFile
