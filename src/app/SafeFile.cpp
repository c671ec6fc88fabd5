#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <new>
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

Error write(const QString& path, QByteArrayView bytes)
{
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        const int code = errno;
        if (!onlyOverwritable(path, code))
            return fromDevice(file, code, path);
        file.setDirectWriteFallback(true);
        errno = 0;
        if (!file.open(QIODevice::WriteOnly))
            return fromDevice(file, errno, path);
    }
    const auto fail = [&](int code) {
        const Error error = fromDevice(file, code, path);
        file.cancelWriting();
        return error;
    };
    // In pieces, each checked: a short write is a failure, never a smaller file.
    constexpr qsizetype kPiece = 1 << 20;
    for (qsizetype done = 0; done < bytes.size();) {
        const qsizetype piece = std::min(kPiece, bytes.size() - done);
        errno = 0;
        if (file.write(bytes.data() + done, piece) != piece)
            return fail(errno ? errno : ENOSPC);
        done += piece;
    }
    // The buffer, then the disk: the save file's commit would not tell of a failed last flush.
    errno = 0;
    if (!file.flush())
        return fail(errno ? errno : ENOSPC);
    if (file.handle() >= 0 && ::fsync(file.handle()) != 0)
        return fail(errno);
    errno = 0;
    if (!file.commit())
        return fromDevice(file, errno, path);
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
