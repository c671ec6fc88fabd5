#pragma once

#include "StringTable.h"

#include <QByteArrayView>
#include <QString>

#include <functional>

// Writes whole files so that, whatever fails (open, any write, the final flush, the sync to the
// disk, the rename), the file is either the new content or the old one, byte for byte, and the
// failure is told as what it was: a full disk is not a "generic error". Only where a folder
// allows no new file but the file itself may be overwritten is it written in place. A symbolic
// link stays a link: the file at the end of its chain is written (beside it the temporary file,
// with its permissions).
namespace SafeFile {

enum class Error
{
    None,
    DiskFull,
    AccessDenied,
    BadPath,
    HardIo,
    Generic,
};

Error write(const QString& path, QByteArrayView bytes);

// The framework message of an error, with the file's path in it.
QString message(Error error, const QString& path);
StringId messageId(Error error);

// Errors of errno values, for the writes that stream (logs).
Error fromErrno(int code);

enum class ReadError
{
    None,
    CannotOpen,
    NotRegular,  // a folder, a pipe, a device: never read, a pipe would block for good
    TooLarge,    // larger than the limit: told as out of memory, before any is read
    OutOfMemory, // the memory for it could not be had
    Io,
    Stopped, // the stop came first
};

// 256 MB: more than any playable file of ours, less than a wall PC can always spare. The
// settings store's "Tessarin"/"MaxFileMB" changes it.
inline constexpr qint64 kDefaultReadLimit = 256 * 1024 * 1024;
qint64 readLimit();

// Reads a whole regular file, refusing anything else and one larger than the limit, and
// catching a failed allocation: a huge file is a message, never the end of the program. With a
// stop check the read runs on a thread of its own that the caller does not wait for once the
// stop comes: a read that blocks (a stalled network drive) never holds up a stop.
ReadError readAll(const QString& path, QByteArray* bytes, qint64 limit = -1,
                  const std::function<bool()>& stop = {});

} // namespace SafeFile
