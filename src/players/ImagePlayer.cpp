#include "ImagePlayer.h"

#include "PlayerFile.h"
#include "base/ColorRef.h"
#include "base/ThreadPriority.h"
#include "model/CAct.h"
#include "model/CPropImage.h"
#include "model/PlayRandom.h"
#include "render/AreaBands.h"
#include "render/PixelOps.h"
#include "render/TransitionEngine.h"
#include "render/pictures/CMyBitmap.h"
#include "render/pictures/TransparentCopy.h"
#include "render/text/CMyRichEdit.h"
#include "render/text/RichEditHost.h"

#include <QJsonObject>

namespace {

constexpr int kAfterTransitionMs = 200;

} // namespace

ImagePlayer::ImagePlayer(const CPropImage& item, CAct& area) : m_item(item), m_area(area) {}

ImagePlayer::~ImagePlayer() = default;

ImagePlayer::Motion ImagePlayer::motion(int effect, const QRect& o, QSize area, int speed)
{
    Motion m{0, 1, std::max(1, speed)};
    switch (effect) {
    case 3:
        m.distance = area.height() - o.top();
        break;
    case 4:
        m.distance = o.top() + o.height();
        break;
    case 5:
        m.distance = o.left() + o.width();
        break;
    default:
        m.distance = area.width() - o.left();
        break;
    }
    const int q = m.distance / 40;
    if (q > 1 && q >= m.waitMs) {
        m.step = q / m.waitMs;
        m.waitMs = 1;
    }
    return m;
}

void ImagePlayer::play()
{
    int effect = m_item.effect;
    if (effect == 0)
        effect = 1 + PlayRandom::next() % 50;
    const QRect rect = m_area.pictureRect();
    if (rect.isEmpty())
        return;
    // A picture that is not there, not what its name says or does not decode is told and not
    // drawn: never a blank page in its place.
    {
        // Unpaced: the other zones' steps go on meanwhile.
        const ThreadPriority::OrdinaryScope ordinary;
        CMyBitmap picture;
        {
            QByteArray bytes;
            if (!PlayerFile::read(m_item, m_area, &bytes))
                return;
            if (!picture.LoadData(bytes, m_item.filePath)) {
                PlayerFile::refuse(m_item, PlayerFile::undecodable(m_item.filePath));
                return;
            }
        }
        PlayerFile::played(m_item);
        m_composed = QImage(rect.size(), QImage::Format_RGB32);
        CMyBitmap::FillBackground(m_composed, m_item.backColor, m_item.backImagePath,
                                  m_item.backFitMode);
        picture.DrawFitted(m_composed, rect, m_item.fitMode);
    }
    RunTransition(m_composed, effect, m_item.speed, m_area);
    m_area.reportShown(m_item, QJsonObject{{QStringLiteral("phase"), QStringLiteral("shown")},
                                           {QStringLiteral("effect"), effect}});
    m_area.WaitStop(kAfterTransitionMs);

    for (size_t i = 0; i < m_item.texts.size(); ++i)
        playOverlay(*m_item.texts[i], static_cast<int>(i));
    m_edit.reset();

    if (m_area.WaitStop(m_item.holdTime * 100))
        return;
    clearArea(m_item, m_area, m_composed);
}

void ImagePlayer::clearArea(const CPropBase& item, CAct& area, QImage& surface)
{
    // The clearing of the area's current item, read under its lock: its page may be editing it.
    int clear = item.clearEffect;
    if (const CPropBase* current = area.currentItem()) {
        std::lock_guard lock(current->fieldsMutex());
        clear = current->clearEffect;
    }
    if (clear == 0)
        clear = 2 + PlayRandom::next() % 50;
    const std::optional<int> engine = clearingEffect(clear);
    if (!engine)
        return; // "non-clear": the picture stays
    surface.fill(colorRefToRgb(item.backColor));
    RunTransition(surface, *engine, item.clearSpeed, area);
    area.reportShown(item, QJsonObject{{QStringLiteral("phase"), QStringLiteral("cleared")},
                                       {QStringLiteral("effect"), *engine}});
}

std::optional<int> ImagePlayer::clearingEffect(int clear)
{
    if (clear <= 1)
        return std::nullopt; // 1 "non-clear"
    if (clear == 2)
        return 1; // fast clear: a short pause, then at once
    if (clear <= 6)
        return clear - 1; // the four covers
    if (clear <= 14)
        return clear + 9; // corner covers 1 and 2
    if (clear <= 24)
        return clear - 9; // waves, open and close, moves
    return clear - 1;     // corner moves to radiation2(circle); past the list: at once
}

void ImagePlayer::frame(const QImage& overlay, const QRect& source, QPoint at, int key)
{
    const QRect drawn(at, source.size());
    if (!source.isEmpty())
        TransparentCopy(m_composed, at.x(), at.y(), source.width(), source.height(), overlay,
                        source.x(), source.y(), source.width(), source.height(), key);
    // What changed since the last frame: where the overlay is now and where it was.
    const QRect dirty = (drawn | m_lastDrawn) & m_composed.rect();
    m_lastDrawn = drawn;
    // A pause holds the frame back; a stop does not: every overlay still shows its first frame.
    m_area.PassPauseGate();
    AreaBands::present(m_area, m_composed, dirty);
}

void ImagePlayer::playOverlay(const CMyText& text, int index)
{
    const QRect o(text.rect.left, text.rect.top, text.rect.width(), text.rect.height());
    const int key = text.blockBackColor;
    const int speed = text.textSpeed;
    m_saved = m_composed.copy();
    m_lastDrawn = QRect();
    int effect = text.textEffect;
    if (effect == 0)
        effect = 1 + PlayRandom::next() % 6;
    if (!m_edit) {
        m_edit = std::make_unique<CMyRichEdit>();
        RichEditHost::shared().nextControlId();
    }
    m_edit->SetBackgroundColor(key);
    m_edit->LoadText(text.content);
    if (o.width() <= 0 || o.height() <= 0)
        return;
    QImage overlay(o.size(), QImage::Format_RGB32);
    const QRect whole(QPoint(0, 0), o.size());
    const QSize area = m_composed.size();
    const auto restore = [this] { m_composed = m_saved.copy(); };

    if (effect == 1) {
        m_edit->RenderRange(overlay, whole, key, 0);
        frame(overlay, whole, o.topLeft(), key);
    } else if (effect == 2) {
        const int length = m_edit->TextLength();
        for (int n = 1; n <= length; ++n) {
            restore();
            m_edit->RenderRange(overlay, whole, key, 0, n);
            frame(overlay, whole, o.topLeft(), key);
            if (m_area.WaitStop(speed * 20))
                break;
        }
    } else if (effect >= 3 && effect <= 6) {
        m_edit->RenderRange(overlay, whole, key, 0);
        const Motion m = motion(effect, o, area, speed);
        const int w = o.width(), h = o.height();
        for (int p = 0; m.distance >= 1 && p < m.distance;) {
            p = std::min(p + m.step, m.distance);
            restore();
            switch (effect) {
            case 3:
                frame(overlay, QRect(0, 0, w, std::min(p, h)), QPoint(o.left(), area.height() - p),
                      key);
                break;
            case 4:
                frame(overlay, QRect(0, std::max(0, h - p), w, std::min(p, h)),
                      QPoint(o.left(), std::max(0, p - h)), key);
                break;
            case 5:
                frame(overlay, QRect(std::max(0, w - p), 0, std::min(p, w), h),
                      QPoint(std::max(0, p - w), o.top()), key);
                break;
            default:
                frame(overlay, QRect(0, 0, std::min(p, w), h), QPoint(area.width() - p, o.top()),
                      key);
                break;
            }
            if (m_area.WaitStop(m.waitMs))
                break;
        }
    } else {
        return; // unknown entry effects draw nothing
    }
    m_area.reportShown(m_item, QJsonObject{{QStringLiteral("phase"), QStringLiteral("overlay")},
                                           {QStringLiteral("overlay"), index},
                                           {QStringLiteral("entry"), effect}});
}
