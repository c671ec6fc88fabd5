#include "MarqueePlayer.h"

#include "TextPlayer.h"
#include "base/ColorRef.h"
#include "model/CAct.h"
#include "render/pictures/CMyBitmap.h"
#include "render/text/LiveFields.h"
#include "render/text/TextLayout.h"
#include "render/text/TextMeasure.h"

#include <QJsonObject>
#include <QPainter>

#include <algorithm>
#include <mutex>
#include <shared_mutex>

namespace {

constexpr int kMargin = 2; // room for the outline styles around the text
// The text picture of one pass takes at most this much memory; longer text is cut.
constexpr qint64 kMostTextBytes = 64 * 1024 * 1024;
constexpr qint64 kNsPerSecond = 1'000'000'000;

QColor colour(int colorRef)
{
    return QColor::fromRgb(colorRefToRgb(colorRef));
}

// The characters of `text` at their advances from x, in the item's outline style.
void drawStyled(QPainter& painter, TextMeasure& measure, const QString& text, int x, int baseline,
                int style, int colorRef)
{
    const auto draw = [&](QPoint shift, int c) {
        painter.setPen(colour(c));
        int at = x + shift.x();
        TextMeasure::forEachCharacter(text, [&](qsizetype i, qsizetype n) {
            painter.drawText(QPoint(at, baseline + shift.y()),
                             QString::fromRawData(text.constData() + i, n));
            at += measure.advance(TextMeasure::codePointAt(text, i, n));
        });
    };
    switch (style) {
    case 1:
        draw(QPoint(2, 2), TextLayout::halfColour(colorRef));
        break;
    case 2:
        draw(QPoint(1, 1), TextLayout::darkColour(colorRef));
        draw(QPoint(-1, -1), TextLayout::lightColour(colorRef));
        break;
    case 3:
        draw(QPoint(1, 1), TextLayout::lightColour(colorRef));
        draw(QPoint(-1, -1), TextLayout::darkColour(colorRef));
        break;
    default:
        break;
    }
    draw(QPoint(0, 0), colorRef);
}

} // namespace

MarqueePlayer::MarqueePlayer(const CPropText& item, CAct& area) : m_item(item), m_area(area) {}

qint64 MarqueePlayer::offsetAt(qint64 step, int pixelsPerSecond, int milliHz)
{
    // step / (milliHz / 1000) seconds at pixelsPerSecond, in whole pixels.
    return static_cast<qint64>(static_cast<__int128>(step) * pixelsPerSecond * 1000 / milliHz);
}

qint64 MarqueePlayer::stepTimeNs(qint64 step, int milliHz)
{
    return static_cast<qint64>(static_cast<__int128>(step) * kNsPerSecond * 1000 / milliHz);
}

QString MarqueePlayer::joinParagraphs(const QStringList& lines)
{
    QStringList paragraphs;
    for (const QString& line : lines)
        if (!line.trimmed().isEmpty())
            paragraphs << line;
    return paragraphs.join(QStringLiteral("    "));
}

bool MarqueePlayer::prepare(const QStringList& lines)
{
    const QFont font = TextPlayer::itemFont(m_item);
    TextMeasure measure(font);
    const int charHeight = measure.height();
    const bool across = m_marquee.direction == CPropText::Scroll::Left ||
                        m_marquee.direction == CPropText::Scroll::Right;
    const int width = m_rect.width();
    const int height = m_rect.height();
    QImage text;
    if (across) {
        QString line = joinParagraphs(lines);
        const int most =
            int(std::min<qint64>(kMostTextBytes / (4 * (charHeight + 2 * kMargin)), 1 << 24));
        while (!line.isEmpty() && measure.width(line) > most)
            line.chop(std::max<qsizetype>(1, line.size() / 8));
        const int textWidth = measure.width(line);
        text = QImage(textWidth + 2 * kMargin, charHeight + 2 * kMargin,
                      QImage::Format_ARGB32_Premultiplied);
        text.fill(Qt::transparent);
        QPainter painter(&text);
        painter.setFont(font);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        drawStyled(painter, measure, line, kMargin, kMargin + measure.ascent(), m_item.textStyle,
                   m_item.textColor);
        const int top = (height - charHeight) / 2 - kMargin;
        m_rows = QRect(0, top, width, text.height()) & m_rect;
        m_length = qint64(width) + textWidth;
    } else {
        // Wrapped as for pages, one slot a line.
        std::vector<std::pair<QString, bool>> pieces;
        QStringList wrapped;
        for (const QString& line : lines) {
            if (line.isEmpty())
                continue;
            TextPlayer::wrapLine(measure, width, line, pieces);
            for (const auto& piece : pieces)
                wrapped << piece.first;
        }
        const int slot = charHeight + std::max(0, m_item.lineSpacing);
        const qint64 most = kMostTextBytes / (4 * qint64(std::max(1, width))) / std::max(1, slot);
        if (wrapped.size() > most)
            wrapped = wrapped.mid(0, most);
        const int textHeight = int(wrapped.size()) * slot;
        text = QImage(width, textHeight + 2 * kMargin, QImage::Format_ARGB32_Premultiplied);
        text.fill(Qt::transparent);
        QPainter painter(&text);
        painter.setFont(font);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        for (int i = 0; i < wrapped.size(); ++i) {
            const int lineWidth = measure.width(wrapped[i]);
            const int x = m_item.alignCenter  ? (width - lineWidth) / 2
                          : m_item.alignRight ? width - lineWidth
                                              : 0;
            drawStyled(painter, measure, wrapped[i], x,
                       kMargin + i * slot + (slot - charHeight) / 2 + measure.ascent(),
                       m_item.textStyle, m_item.textColor);
        }
        m_rows = m_rect;
        m_length = qint64(height) + textHeight;
    }
    m_text = std::move(text);
    findRuns();
    m_drawWhole = true; // the last text's pixels are not this one's
    return !m_text.isNull();
}

void MarqueePlayer::findRuns()
{
    // The text's pixels opaque as the step writes them, and where they lie: a step copies the
    // runs instead of testing every pixel of the text box.
    m_runStart.assign(size_t(m_text.height()) + 1, 0);
    m_runs.clear();
    for (int y = 0; y < m_text.height(); ++y) {
        m_runStart[size_t(y)] = m_runs.size();
        auto* line = reinterpret_cast<QRgb*>(m_text.scanLine(y));
        for (int x = 0; x < m_text.width();) {
            if (qAlpha(line[x]) == 0) {
                ++x;
                continue;
            }
            const int begin = x;
            for (; x < m_text.width() && qAlpha(line[x]) != 0; ++x)
                line[x] |= 0xFF000000u;
            m_runs.push_back({begin, x});
        }
    }
    m_runStart[size_t(m_text.height())] = m_runs.size();
}

QPoint MarqueePlayer::position(qint64 offset) const
{
    const int w = m_rect.width();
    const int h = m_rect.height();
    const int textWidth = m_text.width() - 2 * kMargin;
    const int textHeight = m_text.height() - 2 * kMargin;
    const auto o = static_cast<int>(std::min<qint64>(offset, m_length));
    switch (m_marquee.direction) {
    case CPropText::Scroll::Left:
        return QPoint(w - o - kMargin, m_rows.y());
    case CPropText::Scroll::Right:
        return QPoint(o - textWidth - kMargin, m_rows.y());
    case CPropText::Scroll::Up:
        return QPoint(0, h - o - kMargin);
    default:
        return QPoint(0, o - textHeight - kMargin);
    }
}

void MarqueePlayer::copyRuns(QRgb* out, int y, QPoint at, int from, int to, bool wipe) const
{
    const int ty = y - at.y();
    from = std::max(from, at.x());
    to = std::min(to, at.x() + m_text.width());
    if (ty < 0 || ty >= m_text.height() || from >= to)
        return;
    const auto* in = wipe ? reinterpret_cast<const QRgb*>(m_plain.constScanLine(y))
                          : reinterpret_cast<const QRgb*>(m_text.constScanLine(ty)) - at.x();
    // The runs of the row that reach into [from, to), in text columns.
    const auto first = m_runs.begin() + qsizetype(m_runStart[size_t(ty)]);
    const auto last = m_runs.begin() + qsizetype(m_runStart[size_t(ty) + 1]);
    auto run = std::lower_bound(first, last, from - at.x(),
                                [](const Run& r, int x) { return r.end <= x; });
    for (; run != last && run->begin + at.x() < to; ++run) {
        const int a = std::max(from, run->begin + at.x());
        const int b = std::min(to, run->end + at.x());
        std::copy(in + a, in + b, out + a);
    }
}

void MarqueePlayer::drawStep(QPoint at, const FrameStamp& stamp)
{
    std::shared_lock sections(m_area.sectionsMutex());
    AreaBands::collect(m_area, m_bands);
    if (m_drawn.size() != m_bands.size()) {
        m_drawn.assign(m_bands.size(), Drawn{});
        m_drawWhole = true;
    }
    // The rows the text covers now or covered at the last step.
    const int textTop = std::min(at.y(), m_lastAt.y());
    const int textBottom = std::max(at.y(), m_lastAt.y()) + m_text.height();
    for (size_t i = 0; i < m_bands.size(); ++i) {
        const AreaBand& band = m_bands[i];
        const QRect part = band.rect & m_rows & m_plain.rect();
        if (part.isEmpty())
            continue;
        std::lock_guard lock(band.child->sectionMutex);
        QImage* buffer = band.child->GetBackBuffer();
        if (!buffer)
            continue;
        Drawn& drawn = m_drawn[i];
        const bool whole = m_drawWhole || drawn.child != band.child || drawn.rect != band.rect ||
                           drawn.bufferSize != buffer->size();
        drawn = Drawn{band.child, band.rect, buffer->size()};
        const QRect inBuffer = part.translated(-band.rect.topLeft()) & buffer->rect();
        QRect rows = inBuffer.translated(band.rect.topLeft());
        if (!whole)
            rows &= QRect(rows.left(), textTop, rows.width(), textBottom - textTop);
        for (int y = rows.top(); y <= rows.bottom(); ++y) {
            auto* out =
                reinterpret_cast<QRgb*>(buffer->scanLine(y - band.rect.y())) - band.rect.x();
            if (whole) {
                const auto* plain = reinterpret_cast<const QRgb*>(m_plain.constScanLine(y));
                std::copy(plain + rows.left(), plain + rows.right() + 1, out + rows.left());
            } else {
                copyRuns(out, y, m_lastAt, rows.left(), rows.right() + 1, true);
            }
            copyRuns(out, y, at, rows.left(), rows.right() + 1, false);
        }
        band.child->Present(stamp, rows.translated(-band.rect.topLeft()));
    }
    m_lastAt = at;
    m_drawWhole = false;
}

void MarqueePlayer::play()
{
    m_marquee = m_item.marquee();
    m_rect = m_area.pictureRect();
    if (m_rect.isEmpty())
        return;
    m_bands.reserve(16); // sections: at most ten
    m_drawn.reserve(16);
    QStringList lines;
    if (!TextPlayer::readLines(m_item, m_area, &lines))
        return;
    m_plain = QImage(m_rect.size(), QImage::Format_RGB32);
    CMyBitmap::FillBackground(m_plain, m_item.backColor, m_item.backImagePath, m_item.backFitMode);
    // The pass starts at the group's moment; the steps' deadlines count from it.
    WaitClock::TimePoint base;
    if (int noEffect = 0; m_area.enterStep(noEffect, base))
        return;
    // The whole background once: the steps draw only the rows the text moves through.
    if (m_area.PassPauseGate())
        return;
    AreaBands::present(m_area, m_plain, m_rect);
    const bool fields = m_item.liveFields();
    const QLocale locale = LiveFields::interfaceLocale();
    const int milliHz = m_area.refreshMilliHz();
    const int speed = m_marquee.pixelsPerSecond;
    const qint64 periodNs = stepTimeNs(1, milliHz);
    const int item = m_area.currentIndex();

    qint64 step = 0;
    for (int pass = 0; pass < m_marquee.repeat; ++pass) {
        if (pass == 0 || fields) {
            // Live fields take their values at the start of every pass.
            QStringList shown = lines;
            if (fields)
                for (QString& line : shown)
                    line = LiveFields::expand(line, m_area.wallTime(), locale);
            if (!prepare(shown))
                return;
        }
        const qint64 passStart = step;
        for (;;) {
            if (step > 0) {
                WaitClock::TimePoint due =
                    base + std::chrono::nanoseconds(stepTimeNs(step, milliHz));
                const WaitClock::TimePoint asked = due;
                if (m_area.WaitStopUntil(due))
                    return;
                base += due - asked; // a pause moves the whole schedule on
                // Late by more than a step: on to where the text should be by now.
                const qint64 lateNs =
                    std::chrono::duration_cast<std::chrono::nanoseconds>(m_area.clock().now() - due)
                        .count();
                if (lateNs > periodNs)
                    step += lateNs / periodNs;
            }
            if (m_area.PassPauseGate())
                return;
            const qint64 offset = offsetAt(step - passStart, speed, milliHz);
            const auto dueNs =
                std::chrono::duration_cast<std::chrono::nanoseconds>(
                    (base + std::chrono::nanoseconds(stepTimeNs(step, milliHz))).time_since_epoch())
                    .count();
            drawStep(position(offset), FrameStamp{dueNs, item, step});
            ++step;
            if (offset >= m_length)
                break;
        }
        m_area.reportShown(m_item, QJsonObject{{QStringLiteral("phase"), QStringLiteral("pass")},
                                               {QStringLiteral("pass"), pass},
                                               {QStringLiteral("steps"), step - passStart}});
    }
}
