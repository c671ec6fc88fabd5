#pragma once

#include <QByteArray>

class QTextDocument;

// The document as RTF that the reader reads back: fonts, colours, sizes, bold, italic,
// underline, strike-out, alignment, indents and spacing, line breaks and tables. Text outside
// ASCII is written as \uN with a '?' for readers that do not know it.
QByteArray writeRtf(const QTextDocument& document);
