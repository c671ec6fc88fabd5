#pragma once

#include <QDir>
#include <QImage>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

// Videos made at test time with the ffmpeg command from its own test sources, losslessly
// (H.264 at quantiser 0), so that what they show reads back exactly.
namespace TestVideos {

inline bool haveFfmpeg()
{
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty();
}

// Runs ffmpeg with these arguments after the common ones; false on failure. Spawned, not forked
// (QProcess forks): the thread checker cannot follow a fork of a process that has threads.
inline bool ffmpeg(const QStringList& arguments)
{
    const QStringList all = QStringList{QStringLiteral("ffmpeg"),    QStringLiteral("-hide_banner"),
                                        QStringLiteral("-loglevel"), QStringLiteral("error"),
                                        QStringLiteral("-nostdin"),  QStringLiteral("-y")} +
                            arguments;
    std::vector<QByteArray> bytes;
    for (const QString& a : all)
        bytes.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The frame number drawn as 16 blocks, white for a bit that is set: bits 0-7 left to right in
// the top half, bits 8-15 in the bottom half.
inline QString numberPattern()
{
    return QStringLiteral("format=yuv420p,geq=lum='if(mod(floor(N/pow(2,floor(X*8/W)+"
                          "8*floor(Y*2/H))),2),235,16)':cb=128:cr=128");
}

// Four upright stripes of grey, darkest on the left (luma 50, 100, 150, 200).
inline QString stripePattern()
{
    return QStringLiteral("format=yuv420p,geq=lum='50+50*floor(X*4/W)':cb=128:cr=128");
}

// ffmpeg's lavfi input of black frames of this size, rate and length.
inline QString blackSource(QSize size, const QString& rate, double seconds)
{
    return QStringLiteral("color=c=black:s=%1x%2:r=%3:d=%4")
        .arg(size.width())
        .arg(size.height())
        .arg(rate)
        .arg(seconds);
}

// A video of `seconds` at `rate` ("25", "30000/1001") and this size, each frame showing the
// filter's pattern; `extra` goes before the file name (a container's options).
inline QString make(const QDir& dir, const QString& name, QSize size, const QString& rate,
                    double seconds, const QString& pattern = numberPattern(),
                    const QStringList& extra = {})
{
    const QString path = dir.filePath(name);
    const QString source = blackSource(size, rate, seconds);
    QStringList arguments{QStringLiteral("-f"),       QStringLiteral("lavfi"),
                          QStringLiteral("-i"),       source,
                          QStringLiteral("-vf"),      pattern,
                          QStringLiteral("-c:v"),     QStringLiteral("libx264"),
                          QStringLiteral("-qp"),      QStringLiteral("0"),
                          QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                          QStringLiteral("-g"),       QStringLiteral("12")};
    arguments << extra << path;
    return ffmpeg(arguments) ? path : QString();
}

// As make(), with a tone of `hz` all through it (AAC in .mp4, else FLAC).
inline QString makeWithTone(const QDir& dir, const QString& name, QSize size, const QString& rate,
                            double seconds, int hz = 440)
{
    const QString path = dir.filePath(name);
    const QString source = blackSource(size, rate, seconds);
    const QString tone = QStringLiteral("sine=f=%1:r=48000:d=%2").arg(hz).arg(seconds);
    const QString audioCodec =
        name.endsWith(QLatin1String(".mp4")) ? QStringLiteral("aac") : QStringLiteral("flac");
    const bool made =
        ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), source,
                QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), tone,
                QStringLiteral("-vf"), numberPattern(), QStringLiteral("-c:v"),
                QStringLiteral("libx264"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                QStringLiteral("-c:a"), audioCodec, path});
    return made ? path : QString();
}

// The frame number a picture of numberPattern() shows in `rect` of it.
inline int readNumber(const QImage& picture, const QRect& rect)
{
    int number = 0;
    for (int bit = 0; bit < 16; ++bit) {
        const int column = bit % 8;
        const int row = bit / 8;
        const int x = rect.x() + (2 * column + 1) * rect.width() / 16;
        const int y = rect.y() + (2 * row + 1) * rect.height() / 4;
        if (qGreen(picture.pixel(x, y)) > 128)
            number |= 1 << bit;
    }
    return number;
}

} // namespace TestVideos
