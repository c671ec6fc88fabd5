#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeFile {
namespace {

Error fromDevice(const QFileDevice& file, int code, const QString& path)
{
    if (code != 0) {
        const Error error = fromErrno(code);
        if (error != Error::Generic)
            return error;
    }
    switch (file.error()) {
    case QFileDevice::ResourceError:
        return Error::DiskFull;
    case QFileDevice::OpenError:
    case QFileDevice::PermissionsError:
    case QFileDevice::RenameError:
        return QFileInfo(path).absoluteDir().exists() ? Error::AccessDenied : Error::BadPath;
    case QFileDevice::WriteError:
        return Error::HardIo;
    default:
        return Error::Generic;
    }
}

// A file that may be overwritten in a folder where no new file may be made: the new file could
// not be made for want of permission, and the file itself is there to write.
bool onlyOverwritable(const QString& path, int openError)
{
    const QFileInfo file(path);
    return (openError == EACCES || openError == EPERM) && file.isFile() && file.isWritable();
}

} // namespace

Error fromErrno(int code)
{
    switch (code) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return Error::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return Error::AccessDenied;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return Error::BadPath;
    case EIO:
        return Error::HardIo;
    default:
        return Error::Generic;
    }
}

namespace {

// Our own temporary files beside a file: hidden, named after it, so that one left by a kill can
// be told from anything else and cleared by the next save of that file.
QString temporaryPrefix(const QFileInfo& target)
{
    return QLatin1Char('.') + target.fileName() + QStringLiteral(".tessarin-");
}

Error writePieces(QFileDevice& file, QByteArrayView bytes)
{
    // In pieces, each checked: a short write is a failure, never a smaller file.
    constexpr qsizetype kPiece = 1 << 20;
    for (qsizetype done = 0; done < bytes.size();) {
        const qsizetype piece = std::min(kPiece, bytes.size() - done);
        errno = 0;
        if (file.write(bytes.data() + done, piece) != piece)
            return fromErrno(errno ? errno : ENOSPC);
        done += piece;
    }
    // The buffer, then the disk.
    errno = 0;
    if (!file.flush())
        return errno ? fromErrno(errno) : Error::DiskFull;
    if (file.handle() >= 0 && ::fsync(file.handle()) != 0)
        return fromErrno(errno);
    return Error::None;
}

// Where no new file may be made: the file itself, in place.
Error writeInPlace(const QString& path, QByteArrayView bytes)
{
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fromDevice(file, errno, path);
    return writePieces(file, bytes);
}

void syncFolder(const QString& folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

Error write(const QString& path, QByteArrayView bytes)
{
    const QFileInfo target(path);
    if (target.exists() && (!target.isFile() || !target.isWritable()))
        return Error::AccessDenied;
    const QString folder = target.absolutePath();
    if (!QFileInfo(folder).isDir())
        return Error::BadPath;
    const QString prefix = temporaryPrefix(target);
    QTemporaryFile temporary(folder + QLatin1Char('/') + prefix + QStringLiteral("XXXXXX"));
    errno = 0;
    if (!temporary.open()) {
        const int code = errno;
        if (onlyOverwritable(path, code))
            return writeInPlace(path, bytes);
        return fromDevice(temporary, code, path);
    }
    // The new file gets the old one's permissions, or those a new file gets here.
    if (target.exists()) {
        temporary.setPermissions(target.permissions());
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(temporary.handle(), 0666 & ~mask);
    }
    if (const Error error = writePieces(temporary, bytes); error != Error::None)
        return error;
    errno = 0;
    if (::rename(QFile::encodeName(temporary.fileName()).constData(),
                 QFile::encodeName(path).constData()) != 0) {
        const Error error = fromErrno(errno);
        return error == Error::Generic ? Error::AccessDenied : error;
    }
    temporary.setAutoRemove(false);
    syncFolder(folder);
    // Copies a kill left behind at an earlier save of this file.
    const QDir dir(folder);
    for (const QString& stale :
         dir.entryList({prefix + QStringLiteral("??????")}, QDir::Files | QDir::Hidden))
        QFile::remove(dir.filePath(stale));
    return Error::None;
}

ReadError readAll(const QString& path, QByteArray* bytes, qint64 limit)
{
    bytes->clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReadError::CannotOpen;
    if (file.size() > limit)
        return ReadError::TooLarge;
    try {
        *bytes = file.readAll();
    } catch (const std::bad_alloc&) {
        bytes->clear();
        return ReadError::OutOfMemory;
    }
    if (file.error() != QFileDevice::NoError)
        return ReadError::Io;
    return ReadError::None;
}

StringId messageId(Error error)
{
    switch (error) {
    case Error::DiskFull:
        return StringId::FileDiskFull;
    case Error::AccessDenied:
        return StringId::FileAccessDenied;
    case Error::BadPath:
        return StringId::FileBadPath;
    case Error::HardIo:
        return StringId::FileHardIo;
    case Error::None:
    case Error::Generic:
        break;
    }
    return StringId::FileGeneric;
}

QString message(Error error, const QString& path)
{
    return loadString(messageId(error)).arg(QDir::toNativeSeparators(path));
}

} // namespace SafeFile
