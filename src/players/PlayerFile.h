#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class CAct;
class CPropBase;

// The file an item plays, read for playing. A file that is not there, is no regular file, is too
// large, or holds something other than its name says (PNG bytes in a .txt) is told once, until
// it plays again, and is not played: never drawn as garbage or as a blank page.
namespace PlayerFile {

enum class Read
{
    Whole, // the whole file (texts, pictures)
    Head,  // its first FileSniff::kHeadBytes (documents, read again by their own readers)
};

// True with the bytes when the item's file may play; false when it may not, told.
bool read(const CPropBase& item, CAct& area, QByteArray* bytes, Read how = Read::Whole);
// The file read but did not play (a picture that does not decode): told once, as above.
void refuse(const CPropBase& item, const QString& why);
// The file played: a later failure is told again.
void played(const CPropBase& item);
// Whether a file of this name may play with these first bytes: FileSniff::matchesName(), and
// where the reader takes text as well, text or nothing under an RTF name and nothing under a
// text name (an empty text plays as an empty page, not as an error). `why` says why not.
bool matches(const QString& path, QByteArrayView head, QString* why);
// What refusals of this item's file are told under.
QString key(const CPropBase& item);
// "photo.png does not decode as a picture."
QString undecodable(const QString& path);

} // namespace PlayerFile
