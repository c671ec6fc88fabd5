#pragma once

#include <QString>

// The converter's HTML of a workbook made ready to be shown as a spreadsheet shows it: only the
// sheets' cells (no overview of links, no "Sheet N: name" headings, no rules between sheets), no
// cell comments, each table as wide as its columns, and a text running on past its cell over
// empty cells to its right drawn across them instead of wrapped inside its own.
namespace SheetHtml {

QString cleaned(const QString& html);

} // namespace SheetHtml
