#include "PlayerFile.h"

#include "base/FileSniff.h"
#include "base/Notifications.h"
#include "base/SafeFile.h"
#include "base/StringTable.h"
#include "model/CAct.h"
#include "model/CPropBase.h"

#include <QFile>
#include <QFileInfo>

namespace PlayerFile {
namespace {

bool readHead(const QString& path, QByteArray* bytes, QString* why)
{
    // Never opened when it is no regular file: a pipe would block the play thread for good.
    if (!QFileInfo(path).isFile()) {
        *why = loadString(StringId::InvalidFileName);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = loadString(StringId::OpenDocumentFailed);
        return false;
    }
    *bytes = file.read(FileSniff::kHeadBytes);
    return true;
}

bool readWhole(const QString& path, CAct& area, QByteArray* bytes, QString* why)
{
    switch (SafeFile::readAll(path, bytes, -1, [&area] { return area.stopRequested(); })) {
    case SafeFile::ReadError::None:
        return true;
    case SafeFile::ReadError::Stopped:
        return false; // nothing to tell
    case SafeFile::ReadError::NotRegular:
        *why = loadString(StringId::InvalidFileName);
        return false;
    case SafeFile::ReadError::TooLarge:
    case SafeFile::ReadError::OutOfMemory:
        *why = loadString(StringId::OutOfMemory);
        return false;
    case SafeFile::ReadError::CannotOpen:
    case SafeFile::ReadError::Io:
        *why = loadString(StringId::OpenDocumentFailed);
        return false;
    }
    return false;
}

} // namespace

bool matches(const QString& path, QByteArrayView head, QString* why)
{
    if (FileSniff::matchesName(path, head, why))
        return true;
    const QString extension = QFileInfo(path).suffix();
    const FileSniff::Content content = FileSniff::sniff(head);
    const bool nothing = content == FileSniff::Content::Empty;
    const bool text = content == FileSniff::Content::Text;
    if ((extension.compare(QLatin1String("rtf"), Qt::CaseInsensitive) == 0 && (text || nothing)) ||
        (extension.compare(QLatin1String("txt"), Qt::CaseInsensitive) == 0 && nothing)) {
        if (why)
            why->clear();
        return true;
    }
    return false;
}

QString key(const CPropBase& item)
{
    return QLatin1String(item.className()) + QLatin1Char(':') + item.filePath;
}

bool read(const CPropBase& item, CAct& area, QByteArray* bytes, Read how)
{
    const QString& path = item.filePath;
    if (path.isEmpty()) {
        refuse(item, loadString(StringId::InvalidFileName));
        return false;
    }
    if (!QFileInfo::exists(path)) {
        Notifications::fileMissing(path);
        return false;
    }
    Notifications::fileFound(path);
    QString why;
    const bool read =
        how == Read::Whole ? readWhole(path, area, bytes, &why) : readHead(path, bytes, &why);
    if (!read) {
        // Gone between the look and the read: missing, as the next pass would find it, not a
        // file that does not open.
        if (!QFileInfo::exists(path))
            Notifications::fileMissing(path);
        else if (!why.isEmpty())
            refuse(item, why);
        return false;
    }
    const QByteArrayView head =
        QByteArrayView(*bytes).first(std::min<qsizetype>(bytes->size(), FileSniff::kHeadBytes));
    if (!matches(path, head, &why)) {
        refuse(item, why);
        return false;
    }
    return true;
}

void refuse(const CPropBase& item, const QString& why)
{
    Notifications::postOnce(key(item), why);
}

void played(const CPropBase& item)
{
    Notifications::clear(key(item));
}

QString undecodable(const QString& path)
{
    return dialogText("%1 does not decode as a picture.", "%1 无法解码为图片。")
        .arg(QFileInfo(path).fileName());
}

} // namespace PlayerFile
