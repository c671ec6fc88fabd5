#pragma once

#include <QByteArrayView>

class QTextDocument;

// Reads RTF into a document: groups and destinations, font and colour tables, character and
// paragraph formatting (with the associated-font forms office programs write), \uN with \ucN,
// \'hh decoded by the current font's character set or the document's code page, fields through
// their result, \bin, tables and PNG or JPEG pictures. Unknown control words are skipped; the
// reader never fails on what it does not know. Text that does not start with "{\rtf" is read as
// plain text in the document's default font.
void readRtfOrText(QByteArrayView data, QTextDocument& document);

// Whether the first five bytes are "{\rtf", without regard to case.
bool looksLikeRtf(QByteArrayView data);
