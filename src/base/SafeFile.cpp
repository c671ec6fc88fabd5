#include "SafeFile.h"

#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryFile>

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <thread>
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

namespace {

// The file a path names, links followed to the end of their chain: a project opened through a
// link is saved into the file it links to, and the link stays a link. A path that is no link is
// itself; a chain longer than the system follows (or a loop) is empty.
QString finalTarget(const QString& path)
{
    constexpr int kMostLinks = 40; // what Linux follows
    QString current = QFileInfo(path).absoluteFilePath();
    for (int hop = 0; hop <= kMostLinks; ++hop) {
        const QByteArray name = QFile::encodeName(current);
        struct stat status = {};
        if (::lstat(name.constData(), &status) != 0 || !S_ISLNK(status.st_mode))
            return current;
        QByteArray link(qsizetype(PATH_MAX), Qt::Uninitialized);
        const ssize_t length = ::readlink(name.constData(), link.data(), size_t(link.size()));
        if (length < 0 || length >= link.size())
            return {};
        link.resize(length);
        const QString next = QFile::decodeName(link);
        // Not cleaned: ".." after a linked folder is the kernel's to resolve.
        current = QDir::isAbsolutePath(next)
                      ? next
                      : QFileInfo(current).absolutePath() + QLatin1Char('/') + next;
    }
    return {};
}

} // namespace

Error write(const QString& linkOrPath, QByteArrayView bytes)
{
    const QString path = finalTarget(linkOrPath);
    if (path.isEmpty())
        return Error::BadPath;
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

qint64 readLimit()
{
    const int megabytes =
        SettingsStore::readInt(QStringLiteral("Tessarin"), QStringLiteral("MaxFileMB"), 0);
    return megabytes > 0 ? qint64(megabytes) * 1024 * 1024 : kDefaultReadLimit;
}

namespace {

ReadError readRegularFile(const QByteArray& path, QByteArray* bytes, qint64 limit)
{
    // Opened without waiting (a pipe would wait for a writer), then checked for what it is.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return ReadError::CannotOpen;
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat status = {};
    if (::fstat(fd, &status) != 0)
        return ReadError::Io;
    if (!S_ISREG(status.st_mode))
        return ReadError::NotRegular;
    if (status.st_size > limit)
        return ReadError::TooLarge;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    try {
        bytes->resize(qsizetype(status.st_size));
        qsizetype done = 0;
        for (;;) {
            if (done == bytes->size()) {
                // The file grew while read: on, up to the limit.
                if (bytes->size() >= limit)
                    return ReadError::TooLarge;
                bytes->resize(std::min<qint64>(limit, bytes->size() + 64 * 1024));
            }
            const ssize_t got = ::read(fd, bytes->data() + done, size_t(bytes->size() - done));
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return ReadError::Io;
            }
            if (got == 0)
                break;
            done += got;
        }
        bytes->resize(done);
    } catch (const std::bad_alloc&) {
        *bytes = QByteArray();
        return ReadError::OutOfMemory;
    }
    return ReadError::None;
}

} // namespace

ReadError readAll(const QString& path, QByteArray* bytes, qint64 limit,
                  const std::function<bool()>& stop)
{
    bytes->clear();
    if (limit < 0)
        limit = readLimit();
    const QByteArray name = QFile::encodeName(path);
    if (!stop)
        return readRegularFile(name, bytes, limit);
    // The read on its own thread; what it shares with this one lives as long as either needs it.
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        ReadError error = ReadError::Io;
        QByteArray bytes;
    };
    auto shared = std::make_shared<Shared>();
    try {
        std::thread([shared, name, limit] {
            QByteArray read;
            const ReadError error = readRegularFile(name, &read, limit);
            std::lock_guard lock(shared->mutex);
            shared->bytes = std::move(read);
            shared->error = error;
            shared->finished = true;
            shared->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return readRegularFile(name, bytes, limit); // no thread to be had: read here
    }
    std::unique_lock lock(shared->mutex);
    while (!shared->done.wait_for(lock, std::chrono::milliseconds(20),
                                  [&] { return shared->finished; })) {
        if (stop())
            return ReadError::Stopped;
    }
    *bytes = std::move(shared->bytes);
    return shared->error;
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
    return withPath(loadString(messageId(error)), path);
}

} // namespace SafeFile
