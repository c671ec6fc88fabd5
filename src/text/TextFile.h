#pragma once

#include <QByteArrayView>
#include <QStringList>

// The lines of a text file, decoded: UTF-8 when the file starts with a UTF-8 byte-order mark or
// is valid UTF-8 with non-ASCII bytes (today's text files), else the ANSI code page (GBK), where
// a byte of 0x80 or above starts a two-byte character. Line ends (LF or CR LF) are removed.
namespace TextFile {

bool looksLikeUtf8(QByteArrayView bytes);
QString decode(QByteArrayView bytes);
QStringList lines(QByteArrayView bytes);

} // namespace TextFile
