#include "TextPlayer.h"

#include "PlayerFile.h"
#include "base/ColorRef.h"
#include "base/StringTable.h"
#include "base/ThreadPriority.h"
#include "model/CAct.h"
#include "model/CPropText.h"
#include "model/PlayRandom.h"
#include "render/AreaBands.h"
#include "render/PixelOps.h"
#include "render/TransitionEngine.h"
#include "render/text/LiveFields.h"
#include "render/text/TextFile.h"

#include <QFile>
#include <QJsonObject>
#include <QPainter>

namespace {

// Waited after the last page when that page was exactly full, or when the file had no text.
constexpr int kEmptyEndMs = 500;
// A font size of 0 asks for the face's default size.
constexpr int kDefaultPixelSize = 16;

QColor colour(int colorRef)
{
    return QColor::fromRgb(colorRefToRgb(colorRef));
}

} // namespace

QFont TextPlayer::itemFont(const CPropText& item)
{
    QFont font(item.fontName);
    const int pixels = std::abs(TextLayout::pointsToPixels(item.fontSize));
    font.setPixelSize(pixels > 0 ? pixels : kDefaultPixelSize);
    font.setWeight(item.bold ? QFont::Bold : QFont::Normal);
    font.setItalic(item.italic != 0);
    font.setUnderline(item.underline != 0);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

TextPlayer::TextPlayer(const CPropText& item, CAct& area) : m_item(item), m_area(area) {}

bool TextPlayer::readLines(const CPropText& item, CAct& area, QStringList* lines)
{
    // Unpaced: the other zones' steps go on meanwhile.
    const ThreadPriority::OrdinaryScope ordinary;
    QByteArray bytes;
    // A failure is told once for this file until it plays: the item fails on every pass.
    if (!PlayerFile::read(item, area, &bytes))
        return false;
    try {
        // A program, a picture or a database with a .txt name: named, never drawn as garbage.
        const QByteArray charset = TextFile::detectCharset(bytes);
        if (charset.isEmpty()) {
            PlayerFile::refuse(item, withPath(dialogText("%1 is not a text file (it holds "
                                                         "binary data).",
                                                         "%1 不是文本文件（其中有二进制数据）。"),
                                              item.filePath));
            return false;
        }
        *lines = TextFile::splitLines(TextFile::decode(bytes, charset));
    } catch (const std::bad_alloc&) {
        PlayerFile::refuse(item, loadString(StringId::OutOfMemory));
        return false;
    }
    PlayerFile::played(item);
    return true;
}

void TextPlayer::play()
{
    m_effect = m_item.effect;
    if (m_effect == 0)
        m_effect = PlayRandom::next() % 50 + 1; // one number for every page of this play
    m_speed = m_item.speed;
    m_holdTime = m_item.holdTime;
    m_textStyle = m_item.textStyle;
    m_textColor = m_item.textColor;
    m_backColor = m_item.backColor;
    m_backFitMode = m_item.backFitMode;
    m_vcenter = m_item.alignVCenter != 0;
    m_align = m_item.alignLeft     ? TextLayout::Align::Left
              : m_item.alignCenter ? TextLayout::Align::Center
              : m_item.alignRight  ? TextLayout::Align::Right
                                   : TextLayout::Align::None;
    m_rect = m_area.pictureRect();
    if (m_rect.isEmpty())
        return;

    m_font = itemFont(m_item);
    QStringList fileLines;
    if (!readLines(m_item, m_area, &fileLines))
        return;

    m_measure.emplace(m_font);
    m_rawFont = QRawFont::fromFont(m_font);
    m_glyphRun.setRawFont(m_rawFont);
    m_charHeight = m_measure->height();
    m_page = TextLayout::pageLines(m_rect.height(), m_charHeight, m_item.lineSpacing);
    m_composed = QImage(m_rect.size(), QImage::Format_RGB32);
    // The background, composed once for the whole play rather than for every page.
    m_plain = QImage(m_rect.size(), QImage::Format_RGB32);
    CMyBitmap::FillBackground(m_plain, m_backColor, m_item.backImagePath, m_backFitMode);
    m_lines.reserve(m_page.linesPerPage);
    m_flags.reserve(size_t(m_page.linesPerPage));

    // With live fields the file's lines are templates, expanded again while a page holds.
    m_fields = m_item.liveFields();
    if (m_fields) {
        m_locale = LiveFields::interfaceLocale();
        m_templates = fileLines;
    }
    std::vector<std::pair<QString, bool>> pieces;
    for (int t = 0; t < fileLines.size(); ++t) {
        const QString line = m_fields ? expanded(t) : fileLines[t];
        if (line.isEmpty())
            continue;
        wrap(line, pieces);
        for (int j = 0; j < int(pieces.size()); ++j)
            if (!addLine(pieces[size_t(j)].first, pieces[size_t(j)].second, t, j))
                return;
    }
    if (!m_lines.isEmpty())
        showPage();
    else
        m_area.WaitStop(kEmptyEndMs);
}

QString TextPlayer::expanded(int templateIndex) const
{
    return LiveFields::expand(m_templates[templateIndex], m_area.wallTime(), m_locale);
}

void TextPlayer::wrap(const QString& line, std::vector<std::pair<QString, bool>>& pieces)
{
    wrapLine(*m_measure, m_rect.width(), line, pieces);
}

void TextPlayer::wrapLine(TextMeasure& measure, int width, const QString& line,
                          std::vector<std::pair<QString, bool>>& pieces)
{
    pieces.clear();
    qsizetype start = 0;
    int lineWidth = 0;
    for (qsizetype i = 0; i < line.size();) {
        const qsizetype n =
            line[i].isHighSurrogate() && i + 1 < line.size() && line[i + 1].isLowSurrogate() ? 2
                                                                                             : 1;
        const int w = measure.advance(TextMeasure::codePointAt(line, i, n));
        if (lineWidth + w > width) {
            pieces.emplace_back(line.mid(start, i - start), false);
            start = i;
            lineWidth = w;
        } else {
            lineWidth += w;
        }
        i += n;
    }
    if (lineWidth != 0)
        pieces.emplace_back(line.mid(start), true);
}

bool TextPlayer::addLine(const QString& text, bool paragraphEnd, int templateIndex, int piece)
{
    m_lines.append(text);
    m_flags.push_back(paragraphEnd);
    m_sources.emplace_back(templateIndex, piece);
    if (m_lines.size() < m_page.linesPerPage)
        return true;
    return showPage();
}

bool TextPlayer::showPage()
{
    ++m_pageNumber;
    PixelOps::copyRect(m_plain, 0, 0, m_composed, 0, 0, m_plain.width(), m_plain.height());
    {
        QPainter painter(&m_composed);
        painter.setFont(m_font);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        const int count = static_cast<int>(m_lines.size());
        for (int i = 0; i < count; ++i)
            drawStyledLine(painter, i);
    }
    // Numbers no effect has (only a project file can hold them) show the page at once.
    RunTransition(m_composed, m_effect, m_speed, m_area);
    m_area.reportShown(m_item, QJsonObject{{QStringLiteral("page"), m_pageNumber},
                                           {QStringLiteral("effect"), m_effect},
                                           {QStringLiteral("linesPerPage"), m_page.linesPerPage},
                                           {QStringLiteral("slotHeight"), m_page.slotHeight},
                                           {QStringLiteral("charHeight"), m_charHeight},
                                           {QStringLiteral("lines"), int(m_lines.size())}});
    const bool held = holdPage();
    m_lines.clear();
    m_flags.clear();
    m_sources.clear();
    return held;
}

void TextPlayer::drawStyledLine(QPainter& painter, int i)
{
    const int count = static_cast<int>(m_lines.size());
    const QRect slot = TextLayout::slotRect(m_rect, m_page, count, i, m_vcenter);
    const QString& text = m_lines[i];
    const bool end = m_flags[size_t(i)];
    switch (m_textStyle) {
    case 1:
        painter.setPen(colour(TextLayout::halfColour(m_textColor)));
        drawTextLine(painter, text, slot.translated(2, 2), end);
        break;
    case 2:
        painter.setPen(colour(TextLayout::darkColour(m_textColor)));
        drawTextLine(painter, text, slot.translated(1, 1), end);
        painter.setPen(colour(TextLayout::lightColour(m_textColor)));
        drawTextLine(painter, text, slot.translated(-1, -1), end);
        break;
    case 3:
        painter.setPen(colour(TextLayout::lightColour(m_textColor)));
        drawTextLine(painter, text, slot.translated(1, 1), end);
        painter.setPen(colour(TextLayout::darkColour(m_textColor)));
        drawTextLine(painter, text, slot.translated(-1, -1), end);
        break;
    default:
        break;
    }
    painter.setPen(colour(m_textColor));
    drawTextLine(painter, text, slot, end);
}

bool TextPlayer::holdPage()
{
    if (!m_fields)
        return !m_area.WaitStop(m_holdTime * 100);
    // Live fields: the page is looked at again at every turn of the wall clock's second, and
    // the lines whose text changed are drawn again in place, without a transition.
    WaitClock::TimePoint end = m_area.clock().now() + std::chrono::milliseconds(m_holdTime * 100);
    for (;;) {
        const int toNextSecond = 1000 - m_area.wallTime().time().msec();
        WaitClock::TimePoint next = m_area.clock().now() + std::chrono::milliseconds(toNextSecond);
        if (next >= end)
            return !m_area.WaitStopUntil(end);
        const WaitClock::TimePoint asked = next;
        if (m_area.WaitStopUntil(next))
            return false;
        end += next - asked; // a pause moves the end on as well
        refreshPage();
    }
}

void TextPlayer::refreshPage()
{
    std::vector<std::pair<QString, bool>> pieces;
    int wrapped = -1;
    QRect changed;
    QPainter painter;
    for (int i = 0; i < int(m_lines.size()); ++i) {
        const auto [templateIndex, piece] = m_sources[size_t(i)];
        if (templateIndex != wrapped) {
            wrap(expanded(templateIndex), pieces);
            wrapped = templateIndex;
        }
        const QString now = piece < int(pieces.size()) ? pieces[size_t(piece)].first : QString();
        if (now == m_lines[i])
            continue;
        m_lines[i] = now;
        // The slot and the outline styles' offsets, from the plain background up.
        const QRect slot = TextLayout::slotRect(m_rect, m_page, int(m_lines.size()), i, m_vcenter)
                               .adjusted(-2, -2, 2, 2) &
                           m_composed.rect();
        PixelOps::copyRect(m_plain, slot.x(), slot.y(), m_composed, slot.x(), slot.y(),
                           slot.width(), slot.height());
        if (!painter.isActive()) {
            painter.begin(&m_composed);
            painter.setFont(m_font);
            painter.setRenderHint(QPainter::TextAntialiasing, false);
        }
        painter.setClipRect(slot);
        drawStyledLine(painter, i);
        changed |= slot;
    }
    if (painter.isActive())
        painter.end();
    if (changed.isEmpty())
        return;
    m_area.PassPauseGate();
    AreaBands::present(m_area, m_composed, changed);
    m_area.reportShown(m_item, QJsonObject{{QStringLiteral("phase"), QStringLiteral("fields")},
                                           {QStringLiteral("page"), m_pageNumber},
                                           {QStringLiteral("x"), changed.x()},
                                           {QStringLiteral("y"), changed.y()},
                                           {QStringLiteral("width"), changed.width()},
                                           {QStringLiteral("height"), changed.height()}});
}

void TextPlayer::drawTextLine(QPainter& painter, const QString& text, const QRect& slot,
                              bool paragraphEnd)
{
    m_advances.clear();
    TextMeasure::forEachCharacter(text, [&](qsizetype i, qsizetype n) {
        m_advances.push_back(m_measure->advance(TextMeasure::codePointAt(text, i, n)));
    });
    const int top = slot.top() + (slot.height() - m_charHeight) / 2;
    const int baseline = top + m_measure->ascent();
    TextLayout::characterPositions(m_advances, slot.left(), slot.width(), paragraphEnd, m_align,
                                   m_positions);
    const bool onePiece = m_positions.empty();
    if (onePiece) {
        // Left-aligned and clipped to its slot.
        int x = slot.left();
        for (int advance : m_advances) {
            m_positions.push_back(x);
            x += advance;
        }
        painter.save();
        painter.setClipRect(slot);
    }
    if (!drawGlyphs(painter, text, baseline)) {
        size_t j = 0;
        TextMeasure::forEachCharacter(text, [&](qsizetype i, qsizetype n) {
            painter.drawText(QPoint(m_positions[j++], baseline),
                             QString::fromRawData(text.constData() + i, n));
        });
    }
    if (onePiece)
        painter.restore();
}

bool TextPlayer::drawGlyphs(QPainter& painter, const QString& text, int baseline)
{
    // One glyph run a line instead of one draw a character, when the face itself holds every
    // character (no fallback face needed) and nothing is drawn that a run cannot draw.
    if (!m_rawFont.isValid() || m_font.underline() ||
        static_cast<size_t>(text.size()) != m_positions.size())
        return false;
    const QList<quint32> glyphs = m_rawFont.glyphIndexesForString(text);
    if (glyphs.size() != text.size() || glyphs.contains(0u))
        return false;
    m_glyphPositions.resize(glyphs.size());
    for (qsizetype j = 0; j < glyphs.size(); ++j)
        m_glyphPositions[j] = QPointF(m_positions[size_t(j)], 0);
    m_glyphRun.setGlyphIndexes(glyphs);
    m_glyphRun.setPositions(m_glyphPositions);
    painter.drawGlyphRun(QPointF(0, baseline), m_glyphRun);
    return true;
}
