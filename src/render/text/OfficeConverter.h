#pragma once

#include "ConverterProcess.h"

#include <QString>

#include <functional>

class CMyRichEdit;

// Word documents and spreadsheets become rich text through LibreOffice (headless), cached beside
// the document as "<document>.RT~" and converted again only when the document is newer. The
// converter runs as a process with an argument list, in a throw-away profile folder of its own,
// with a time limit; the document itself is only read.
namespace OfficeConverter {

QString cachePath(const QString& documentPath);
// The cache exists and the document is not newer (equal times count as up to date).
bool isUpToDate(const QString& documentPath);

// The converter program; "soffice" from the PATH unless set (tests point it elsewhere).
void setProgram(const QString& program);
QString program();

// What one conversion may use (LibreOffice and its workers together); a conversion ended for it
// is not tried again for that document until the document changes.
void setLimits(const ConverterProcess::Limits& limits);
ConverterProcess::Limits limits();

// Called while a conversion runs; true ends it (the play loop's stop).
using StopCheck = std::function<bool()>;

// Loads the document's rich text into the renderer, converting first when the cache is missing
// or out of date. False when it cannot; `message` then holds what to tell the operator (empty
// when nothing: a missing document, a stop).
bool ConvertWordDocument(const QString& path, CMyRichEdit& edit, QString* message,
                         const StopCheck& stop = {});
bool ConvertSpreadsheet(const QString& path, CMyRichEdit& edit, QString* message,
                        const StopCheck& stop = {});

} // namespace OfficeConverter
