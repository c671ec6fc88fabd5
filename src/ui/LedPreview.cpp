#include "LedPreview.h"

#include "base/StringTable.h"
#include "model/CAct.h"
#include "render/DesktopImage.h"

#include <QPixmap>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Each pixel made a `scale` x `scale` square, copied, never interpolated.
QImage enlarged(const QImage& picture, int scale)
{
    const QImage source = picture.convertToFormat(QImage::Format_RGB32);
    if (scale == 1)
        return source;
    QImage out(source.size() * scale, QImage::Format_RGB32);
    if (out.isNull())
        return out;
    const size_t lineBytes = size_t(out.width()) * sizeof(QRgb);
    for (int y = 0; y < source.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y * scale));
        for (int x = 0; x < source.width(); ++x)
            std::fill_n(line + x * scale, scale, from[x]);
        for (int copy = 1; copy < scale; ++copy)
            std::memcpy(out.scanLine(y * scale + copy), line, lineBytes);
    }
    return out;
}

// Each `divisor` x `divisor` block of pixels made one, their mean; a block cut by the picture's
// edge is the mean of what it holds.
QImage reduced(const QImage& picture, int divisor)
{
    const QImage source = picture.convertToFormat(QImage::Format_RGB32);
    const int width = (source.width() + divisor - 1) / divisor;
    const int height = (source.height() + divisor - 1) / divisor;
    QImage out(width, height, QImage::Format_RGB32);
    if (out.isNull())
        return out;
    std::vector<int> sums(size_t(width) * 3);
    for (int row = 0; row < height; ++row) {
        std::fill(sums.begin(), sums.end(), 0);
        const int top = row * divisor;
        const int bottom = std::min(source.height(), top + divisor);
        for (int y = top; y < bottom; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(y));
            for (int x = 0; x < source.width(); ++x) {
                int* sum = &sums[size_t(x / divisor) * 3];
                sum[0] += qRed(line[x]);
                sum[1] += qGreen(line[x]);
                sum[2] += qBlue(line[x]);
            }
        }
        auto* target = reinterpret_cast<QRgb*>(out.scanLine(row));
        for (int x = 0; x < width; ++x) {
            const int columns = std::min(source.width(), (x + 1) * divisor) - x * divisor;
            const int count = columns * (bottom - top);
            const int* sum = &sums[size_t(x) * 3];
            target[x] = qRgb((sum[0] + count / 2) / count, (sum[1] + count / 2) / count,
                             (sum[2] + count / 2) / count);
        }
    }
    return out;
}

} // namespace

LedPreview::LedPreview(const CAct& area, QWidget* parent)
    : QLabel(parent), m_area(area), m_timer(this)
{
    setObjectName(QStringLiteral("ledPreview"));
    setAlignment(Qt::AlignCenter);
    // Its picture never sizes the window: the window sizes it.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setFixedHeight(96);
    setStyleSheet(QStringLiteral("background: black;"));
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &LedPreview::refresh);
}

int LedPreview::wholeScale(QSize picture, QSize room)
{
    if (picture.isEmpty() || room.isEmpty())
        return 0;
    return std::min(room.width() / picture.width(), room.height() / picture.height());
}

int LedPreview::wholeDivisor(QSize picture, QSize room)
{
    if (picture.isEmpty() || room.isEmpty())
        return 0;
    const auto over = [](int length, int space) { return (length + space - 1) / space; };
    return std::max(
        {1, over(picture.width(), room.width()), over(picture.height(), room.height())});
}

QImage LedPreview::fitted(const QImage& picture, QSize room)
{
    if (picture.isNull() || room.isEmpty())
        return QImage();
    if (const int scale = wholeScale(picture.size(), room); scale >= 1)
        return enlarged(picture, scale);
    return reduced(picture, wholeDivisor(picture.size(), room));
}

void LedPreview::showEvent(QShowEvent* event)
{
    QLabel::showEvent(event);
    refresh();
    m_timer.start();
}

void LedPreview::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QLabel::hideEvent(event);
}

void LedPreview::refresh()
{
    const QImage wall = composeWall(m_area);
    const QSize room = contentsRect().size();
    const QImage shown = fitted(wall, room);
    if (shown.isNull()) {
        clear();
        setToolTip(QString());
        return;
    }
    setPixmap(QPixmap::fromImage(shown));
    // Says when the picture is not pixel for pixel, so nobody takes a smoothed stroke for the
    // wall's.
    const int scale = wholeScale(wall.size(), room);
    setToolTip(
        scale >= 1
            ? dialogText("The wall, %1 x %2 pixels, at %3x", "显示屏 %1 x %2 像素，按 %3:1 显示")
                  .arg(wall.width())
                  .arg(wall.height())
                  .arg(scale)
            : dialogText("The wall, %1 x %2 pixels, at 1:%3 (each dot the mean of %3 x %3 "
                         "pixels): widen the window to see every pixel",
                         "显示屏 %1 x %2 像素，按 1:%3 显示（每点为 %3 x %3 像素的平均）："
                         "加宽窗口可看到每个像素")
                  .arg(wall.width())
                  .arg(wall.height())
                  .arg(wholeDivisor(wall.size(), room)));
}
