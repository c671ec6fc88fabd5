#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

// What a file's first bytes say it is, and whether that is what its name says: an upload named
// notice.txt that holds a PNG picture, a program or a project is refused before it is kept.
// Judged from the head alone (the first 4 KB or so), never from the whole file.
namespace FileSniff {

enum class Content
{
    Text, // UTF-8, UTF-16 or UTF-32 with a byte-order mark, or legacy bytes (GBK, Big5)
    Rtf,
    Png,
    Jpeg,
    Gif,
    Bmp,
    Ico,
    Pcx,
    Zip,  // .docx .xlsx .odt .ods
    Ole2, // .doc .xls of Word and Excel 97 and later
    Project,
    Pdf,
    Video,      // MP4/QuickTime, Matroska/WebM, AVI, ASF (WMV), FLV, MPEG program or transport
    Executable, // ELF or a Windows program
    Binary,     // none of the above, and no text
    Empty,
};

// How many bytes sniff() looks at; more are ignored.
inline constexpr qsizetype kHeadBytes = 4096;

Content sniff(QByteArrayView head);

// Whether a file of this name may hold these first bytes: the content the name's extension asks
// for, tolerant where real files vary. False for an extension no item plays; `why` (if given)
// then says what the file is instead, as "notice.txt is a PNG picture, not a text file".
bool matchesName(const QString& fileName, QByteArrayView head, QString* why);

// The extensions matchesName() knows, lower case, without the dot.
QStringList knownExtensions();

// A few words for the content: "a PNG picture", "a text file".
QString describe(Content content);

// The first bytes of every project file this program writes: the area's ten stored settings as
// little-endian 32-bit integers (split mode 0 or 1, frame lines 0..3, an LED picture of 1 to
// kMaxLedPixels pixels each way, manual play 0 or 1), then the caption's name. False, with the
// reason in `why`, for anything else.
inline constexpr qsizetype kProjectHeaderBytes = 41;
inline constexpr int kMaxLedPixels = 100000;
bool isProjectHeader(QByteArrayView head, QString* why = nullptr);

} // namespace FileSniff
