#include "GifPlayer.h"

#include "PlayerFile.h"
#include "model/CAct.h"
#include "model/CPropGif.h"
#include "render/PixelOps.h"
#include "render/TransitionEngine.h"
#include "render/pictures/CMyBitmap.h"
#include "render/pictures/TransparentCopy.h"
#include "render/text/CMyRichEdit.h"
#include "render/text/RichEditHost.h"

#include <QBuffer>
#include <QImageReader>
#include <QJsonObject>

#include <algorithm>

GifPlayer::GifPlayer(const CPropGif& item, CAct& area) : m_item(item), m_area(area) {}

int GifPlayer::frameDelayMs(int decoderDelayMs)
{
    return decoderDelayMs <= 10 ? 100 : decoderDelayMs;
}

void GifPlayer::renderOverlays()
{
    if (m_item.texts.empty())
        return;
    CMyRichEdit edit;
    RichEditHost::shared().nextControlId();
    for (const auto& text : m_item.texts) {
        const QRect rect(text->rect.left, text->rect.top, text->rect.width(), text->rect.height());
        if (rect.width() <= 0 || rect.height() <= 0)
            continue;
        edit.SetBackgroundColor(text->blockBackColor);
        edit.LoadText(text->content);
        QImage picture(rect.size(), QImage::Format_RGB32);
        edit.RenderRange(picture, QRect(QPoint(0, 0), rect.size()), text->blockBackColor, 0);
        m_overlays.push_back(Overlay{std::move(picture), rect, text->blockBackColor});
    }
}

void GifPlayer::compose(const QImage& frame)
{
    PixelOps::copyRect(m_background, 0, 0, m_composed, 0, 0, m_background.width(),
                       m_background.height());
    if (!frame.isNull()) {
        CMyBitmap picture;
        picture.setImage(frame);
        picture.DrawFitted(m_composed, m_composed.rect(), m_item.fitMode);
    }
    for (const Overlay& o : m_overlays)
        TransparentCopy(m_composed, o.rect.x(), o.rect.y(), o.rect.width(), o.rect.height(),
                        o.picture, 0, 0, o.rect.width(), o.rect.height(), o.key);
}

void GifPlayer::play()
{
    const QRect rect = m_area.pictureRect();
    if (rect.isEmpty())
        return;
    QByteArray bytes;
    if (!PlayerFile::read(m_item, m_area, &bytes))
        return;

    WaitClock::TimePoint deadline = m_area.clock().now();
    const WaitClock::TimePoint end = deadline + std::chrono::milliseconds(m_item.playTimeMs());
    m_background = QImage(rect.size(), QImage::Format_RGB32);
    CMyBitmap::FillBackground(m_background, m_item.backColor, m_item.backImagePath,
                              m_item.backFitMode);
    m_composed = QImage(rect.size(), QImage::Format_RGB32);
    renderOverlays();

    QImage frame;
    int passes = 0;
    bool anyFrame = false;
    // Passes until the play time is over, each to its end; the file's own loop count may end
    // the animation sooner, and then its last frame stays until the play time is over.
    for (;;) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "gif");
        const int loops = reader.loopCount(); // -1: for ever
        int index = 0;
        while (reader.read(&frame)) {
            anyFrame = true;
            const int delayMs = frameDelayMs(reader.nextImageDelay());
            compose(frame);
            // At once, past the pause gate; the first frame at the group's moment.
            RunTransition(m_composed, 0, 0, m_area,
                          index == 0 && passes == 0 ? TransitionStart::Group
                                                    : TransitionStart::Now);
            if (passes == 0)
                m_area.reportShown(m_item,
                                   QJsonObject{{QStringLiteral("phase"), QStringLiteral("frame")},
                                               {QStringLiteral("frame"), index},
                                               {QStringLiteral("delayMs"), delayMs}});
            ++index;
            deadline += std::chrono::milliseconds(delayMs);
            if (m_area.WaitStopUntil(deadline))
                return;
        }
        ++passes;
        if (index == 0 || deadline >= end || (loops >= 0 && passes > loops))
            break;
    }
    if (!anyFrame) {
        // Nothing decodes: told, and nothing drawn.
        PlayerFile::refuse(m_item, PlayerFile::undecodable(m_item.filePath));
        return;
    }
    PlayerFile::played(m_item);
    WaitClock::TimePoint rest = std::max(deadline, end);
    m_area.WaitStopUntil(rest);
}
