#pragma once

#include <QByteArrayView>

#include <functional>

class QTextDocument;

// Reads RTF into a document: groups and destinations, font and colour tables, character and
// paragraph formatting with the associated (East Asian) set that \dbch selects, \uN with \ucN,
// \'hh decoded by the character set of the run's font, fields through their result, hidden text
// left out, tables with each row's own cells, merges, shading and borders, pictures (PNG,
// JPEG, bitmaps, the bitmaps inside metafiles) at their scaled size, the text of text boxes,
// frames and drawing objects as paragraphs where they are anchored, and phonetic guides
// (equation fields) as their base text with the guide after it. Unknown control words are
// skipped; the reader never fails on what it does not know. Text that does not start with
// "{\rtf" is read as plain text in the charset it is written in.
// `stop` is asked now and then; when it answers true the read ends and false is returned.
bool readRtfOrText(QByteArrayView data, QTextDocument& document,
                   const std::function<bool()>& stop = {});

// Whether the first five bytes are "{\rtf", without regard to case.
bool looksLikeRtf(QByteArrayView data);
