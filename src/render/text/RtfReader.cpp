#include "RtfReader.h"

#include "RichTextFormats.h"
#include "RtfCharsets.h"
#include "RtfParser.h"
#include "TextFile.h"

#include <QHash>
#include <QImage>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr int kMaxDepth = 4096; // deeper nesting is refused, not followed
constexpr qsizetype kStopCheckBytes = 64 * 1024;

} // namespace

// A font's \fcharset decides its runs' code page; the document's \ansicpg serves fonts that
// give none (or the default set, 1).
QByteArray RtfParser::encodingFor(const Font* font, int ansiCodePage)
{
    if (font && font->codePage > 0)
        return RtfCharsets::encodingForCodePage(font->codePage);
    const QByteArray named = RtfCharsets::encodingForCharset(font ? font->charset : -1);
    return named.isEmpty() ? RtfCharsets::encodingForCodePage(ansiCodePage) : named;
}

bool RtfParser::parse()
{
    qsizetype nextStopCheck = kStopCheckBytes;
    while (m_pos < m_data.size()) {
        if (m_pos >= nextStopCheck) {
            nextStopCheck = m_pos + kStopCheckBytes;
            if (m_stop && m_stop())
                return false;
        }
        if (state().destination == Destination::Skip) {
            skipGroup();
            continue;
        }
        const char c = m_data[m_pos++];
        if (c == '{') {
            flush();
            if (m_stack.size() >= kMaxDepth)
                break;
            m_stack.push_back(m_stack.back());
        } else if (c == '}') {
            flush();
            endGroup();
        } else if (c == '\\') {
            if (m_pos >= m_data.size())
                break;
            const char next = m_data[m_pos];
            if (std::isalpha(static_cast<unsigned char>(next))) {
                const qsizetype start = m_pos;
                while (m_pos < m_data.size() && m_pos - start < 32 &&
                       std::isalpha(static_cast<unsigned char>(m_data[m_pos])))
                    ++m_pos;
                const QByteArrayView word = m_data.sliced(start, m_pos - start);
                bool hasParam = false;
                long long param = 0;
                bool negative = false;
                if (m_pos < m_data.size() && m_data[m_pos] == '-') {
                    negative = true;
                    ++m_pos;
                }
                while (m_pos < m_data.size() &&
                       std::isdigit(static_cast<unsigned char>(m_data[m_pos]))) {
                    hasParam = true;
                    if (param < 100000000)
                        param = param * 10 + (m_data[m_pos] - '0');
                    ++m_pos;
                }
                if (m_pos < m_data.size() && m_data[m_pos] == ' ')
                    ++m_pos;
                controlWord(word, hasParam, static_cast<int>(negative ? -param : param));
            } else {
                ++m_pos;
                switch (next) {
                case '\'': {
                    if (m_pos + 2 > m_data.size())
                        return true;
                    bool ok = false;
                    const int byte = m_data.sliced(m_pos, 2).toByteArray().toInt(&ok, 16);
                    m_pos += 2;
                    if (ok)
                        text(static_cast<char>(byte));
                    break;
                }
                case '*':
                    m_starPending = true;
                    break;
                case '~':
                    insertChar(QChar(0x00A0));
                    break;
                case '_':
                    insertChar(QChar(0x2011));
                    break;
                case '-':
                    break; // optional hyphen
                case '\n':
                case '\r':
                    controlWord("par", false, 0);
                    break;
                default:
                    text(next); // \\ \{ \} and the rest stand for themselves
                    break;
                }
            }
        } else if (c == '\r' || c == '\n') {
            // Line ends in RTF source mean nothing.
        } else {
            --m_pos;
            textRun();
        }
    }
    flush();
    if (m_table.active())
        m_table.finish(m_cursor);
    finishBlock();
    return true;
}

// Plain characters up to the next brace, backslash or line end, in one go.
void RtfParser::textRun()
{
    const qsizetype start = m_pos;
    while (m_pos < m_data.size()) {
        const char c = m_data[m_pos];
        if (c == '{' || c == '}' || c == '\\' || c == '\r' || c == '\n')
            break;
        ++m_pos;
    }
    if (m_pos == start) {
        ++m_pos;
        return;
    }
    const Destination destination = state().destination;
    if (m_skipChars == 0 &&
        (destination == Destination::Text || destination == Destination::FieldInstruction)) {
        m_pending.append(m_data.sliced(start, m_pos - start));
    } else if (destination == Destination::Picture) {
        m_pictHex.append(m_data.sliced(start, m_pos - start));
    } else {
        for (qsizetype i = start; i < m_pos; ++i)
            text(m_data[i]);
    }
}

// The rest of a group whose content is not shown: braces counted, \bin data jumped over.
void RtfParser::skipGroup()
{
    int depth = 0;
    while (m_pos < m_data.size()) {
        const char c = m_data[m_pos++];
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (depth-- == 0) {
                endGroup();
                return;
            }
        } else if (c == '\\' && m_pos < m_data.size()) {
            if (m_data.sliced(m_pos).startsWith("bin")) {
                m_pos += 3;
                long long length = 0;
                while (m_pos < m_data.size() &&
                       std::isdigit(static_cast<unsigned char>(m_data[m_pos]))) {
                    if (length < m_data.size())
                        length = length * 10 + (m_data[m_pos] - '0');
                    ++m_pos;
                }
                if (m_pos < m_data.size() && m_data[m_pos] == ' ')
                    ++m_pos;
                m_pos = std::min<qsizetype>(m_data.size(), m_pos + length);
            } else {
                ++m_pos; // an escaped brace or backslash does not count
            }
        }
    }
}

void RtfParser::text(char c)
{
    if (m_skipChars > 0) {
        --m_skipChars;
        return;
    }
    switch (state().destination) {
    case Destination::Text:
    case Destination::FieldInstruction:
        m_pending.append(c);
        break;
    case Destination::FontTable:
        if (c == ';') {
            if (m_fontNumber >= 0) {
                Font font = m_fontEntry;
                QStringDecoder decoder(encodingFor(&font, m_ansiCodePage).constData());
                font.family = (decoder.isValid() ? decoder.decode(m_fontName)
                                                 : QString::fromLatin1(m_fontName))
                                  .trimmed();
                m_fontIndex.insert(m_fontNumber, static_cast<int>(m_fonts.size()));
                m_fonts.push_back(font);
            }
            m_fontName.clear();
            m_fontNumber = -1;
        } else {
            m_fontName.append(c);
        }
        break;
    case Destination::ColorTable:
        if (c == ';') {
            m_colors.push_back(m_colorSet ? qRgb(m_red, m_green, m_blue) : qRgb(0, 0, 0));
            m_red = m_green = m_blue = 0;
            m_colorSet = false;
        }
        break;
    case Destination::Picture:
        m_pictHex.append(c);
        break;
    case Destination::PropertyName:
        if (m_propertyName.size() < 64)
            m_propertyName.append(c);
        break;
    case Destination::Skip:
        break;
    }
}

const RtfParser::Font* RtfParser::font(int number) const
{
    const auto it = m_fontIndex.constFind(number);
    return it == m_fontIndex.cend() ? nullptr : &m_fonts[size_t(*it)];
}

QStringDecoder& RtfParser::decoderFor(int fontNumber)
{
    const QByteArray name = encodingFor(font(fontNumber), m_ansiCodePage);
    std::shared_ptr<QStringDecoder>& decoder = m_decoders[name];
    if (!decoder) {
        decoder =
            std::make_shared<QStringDecoder>(name.constData(), QStringConverter::Flag::Stateless);
        if (!decoder->isValid())
            decoder = std::make_shared<QStringDecoder>(QStringConverter::Latin1);
    }
    return *decoder;
}

// The font, size and weight the text in force is drawn with: double-byte text takes the
// associated set where it was given.
RtfParser::CharProps RtfParser::effectiveProps(const GroupState& s, int defaultFont)
{
    CharProps props = s.chars;
    if (s.runType == RunType::DoubleByte) {
        if (s.assocFont >= 0)
            props.font = s.assocFont;
        if (s.assocHalfPoints > 0)
            props.halfPoints = s.assocHalfPoints;
        if (s.assocBold >= 0)
            props.bold = s.assocBold != 0;
        if (s.assocItalic >= 0)
            props.italic = s.assocItalic != 0;
    }
    if (props.font < 0)
        props.font = defaultFont;
    return props;
}

namespace {

// Whether `byte` starts a two-byte character in the encoding (the Far East code pages).
bool isLeadByte(const QByteArray& encoding, unsigned char byte)
{
    if (encoding == "Shift_JIS")
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    if (encoding == "GBK" || encoding == "Big5" || encoding == "windows-949")
        return byte >= 0x81 && byte <= 0xFE;
    return false;
}

} // namespace

// Bytes below 0x80 are the run's font's; the bytes above (a lead byte with its trail byte in a
// Far East code page) are the double-byte font's in a \dbch run and the \hich font's where one
// was given, so that text behind a Latin font still decodes with its Far East font's code page.
void RtfParser::decodePending(bool keepLead)
{
    if (m_pending.isEmpty())
        return;
    const GroupState& s = state();
    const int runFont = effectiveProps(s, m_defaultFont).font;
    int highFont = runFont;
    if (s.runType != RunType::DoubleByte && s.hichFont >= 0)
        highFont = s.hichFont;
    const QByteArray lowName = encodingFor(font(runFont), m_ansiCodePage);
    const QByteArray highName = encodingFor(font(highFont), m_ansiCodePage);
    QStringDecoder& low = decoderFor(runFont);
    QStringDecoder& high = decoderFor(highFont);
    const bool doubleByte = isLeadByte(highName, 0x81);
    if (!doubleByte && lowName == highName) {
        m_pendingText += low.decode(m_pending);
        m_pending.clear();
        return;
    }
    const qsizetype size = m_pending.size();
    qsizetype start = 0;
    qsizetype i = 0;
    bool inHigh = false;
    const auto decodeTo = [&](qsizetype end) {
        if (end > start)
            m_pendingText +=
                (inHigh ? high : low).decode(QByteArrayView(m_pending).sliced(start, end - start));
        start = end;
    };
    qsizetype kept = size;
    while (i < size) {
        const auto byte = static_cast<unsigned char>(m_pending[i]);
        const bool isHigh = byte >= 0x80;
        if (isHigh != inHigh) {
            decodeTo(i);
            inHigh = isHigh;
        }
        if (isHigh && doubleByte && isLeadByte(highName, byte)) {
            if (i + 1 == size && keepLead) {
                kept = i;
                break;
            }
            i += 2;
        } else {
            ++i;
        }
    }
    decodeTo(std::min(kept, size));
    m_pending.remove(0, std::min(kept, size));
}

void RtfParser::flush(bool keepLead)
{
    decodePending(keepLead);
    if (m_pendingText.isEmpty())
        return;
    QString text = std::move(m_pendingText);
    m_pendingText.clear();
    if (state().destination == Destination::FieldInstruction) {
        if (m_fieldInstruction.size() < 4096)
            m_fieldInstruction += text.first(std::min<qsizetype>(text.size(), 4096));
        return;
    }
    if (state().hidden)
        return;
    out().insertText(text, charFormat());
    m_insertedChars += text.size();
}

const QTextCharFormat& RtfParser::charFormat()
{
    const CharProps props = effectiveProps(state(), m_defaultFont);
    if (m_formatValid && props == m_formatProps)
        return m_format;
    QTextCharFormat format;
    format.setFontStyleStrategy(QFont::NoAntialias);
    if (const Font* f = font(props.font); f && !f->family.isEmpty())
        format.setFontFamilies({f->family});
    format.setFontPointSize(std::max(1, props.halfPoints) / 2.0);
    format.setFontWeight(props.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(props.italic);
    format.setFontUnderline(props.underline);
    format.setFontStrikeOut(props.strike);
    if (props.foreground > 0 && props.foreground < static_cast<int>(m_colors.size()))
        format.setForeground(QColor::fromRgb(m_colors[size_t(props.foreground)]));
    if (props.background > 0 && props.background < static_cast<int>(m_colors.size()))
        format.setBackground(QColor::fromRgb(m_colors[size_t(props.background)]));
    if (props.vertical == 1)
        format.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (props.vertical == 2)
        format.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    else if (props.raiseHalfPoints != 0)
        format.setBaselineOffset(100.0 * props.raiseHalfPoints / std::max(1, props.halfPoints));
    m_format = format;
    m_formatProps = props;
    m_formatValid = true;
    return m_format;
}

QTextBlockFormat RtfParser::blockFormat() const
{
    const GroupState& s = m_stack.back();
    QTextBlockFormat format;
    format.setAlignment(s.align);
    format.setLeftMargin(s.leftTwips / kTwipsPerPixel);
    format.setRightMargin(s.rightTwips / kTwipsPerPixel);
    format.setTextIndent(s.firstTwips / kTwipsPerPixel);
    format.setTopMargin(s.beforeTwips / kTwipsPerPixel);
    format.setBottomMargin(s.afterTwips / kTwipsPerPixel);
    if (s.lineTwips != 0) {
        if (s.lineMultiple && s.lineTwips > 0)
            format.setLineHeight(100.0 * s.lineTwips / 240.0, QTextBlockFormat::ProportionalHeight);
        else if (s.lineTwips > 0)
            format.setLineHeight(s.lineTwips / kTwipsPerPixel, QTextBlockFormat::MinimumHeight);
        else
            format.setLineHeight(-s.lineTwips / kTwipsPerPixel, QTextBlockFormat::FixedHeight);
    }
    // A hanging first line stops at the left indent, as word processors do.
    QList<QTextOption::Tab> tabs;
    if (s.firstTwips < 0 && s.leftTwips > 0)
        tabs.append(QTextOption::Tab(s.leftTwips / kTwipsPerPixel, QTextOption::LeftTab));
    for (const QTextOption::Tab& tab : s.tabs)
        if (tabs.isEmpty() || tab.position > tabs.front().position)
            tabs.append(tab);
    if (!tabs.isEmpty())
        format.setTabPositions(tabs);
    if (s.rightToLeft)
        format.setLayoutDirection(Qt::RightToLeft);
    return format;
}

// Where content goes: the open table cell, or the document.
QTextCursor& RtfParser::out()
{
    if (state().inTable || state().boxInCell)
        return m_table.cellCursor();
    if (m_table.active())
        m_table.finish(m_cursor);
    return m_cursor;
}

// The paragraph that ends takes the paragraph properties in force.
void RtfParser::finishBlock()
{
    QTextBlockFormat format = blockFormat();
    if (m_pageBreak || state().pageBreakBefore) {
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        m_pageBreak = false;
    }
    out().setBlockFormat(format);
}

void RtfParser::newParagraph()
{
    finishBlock();
    out().insertBlock(QTextBlockFormat(), charFormat());
}

void RtfParser::insertChar(QChar c)
{
    if (state().destination != Destination::Text &&
        state().destination != Destination::FieldInstruction)
        return;
    if (m_skipChars > 0) {
        --m_skipChars;
        return;
    }
    decodePending();
    m_pendingText += c;
}

// A box's text stands in paragraphs of its own where the box is anchored: the anchor
// paragraph's text before it ends there and goes on after it.
void RtfParser::startBoxText()
{
    flush();
    GroupState& s = state();
    s.boxInCell = s.boxInCell || s.inTable;
    s.destination = Destination::Text;
    s.hidden = false;
    s.boxDepth = static_cast<int>(m_stack.size());
    if (!out().atBlockStart())
        newParagraph();
}

void RtfParser::endBoxText()
{
    if (!out().atBlockStart())
        newParagraph();
}

// An equation field whose result shows nothing: its base text, then its phonetic guide in
// brackets at the guide's size.
void RtfParser::insertFieldText()
{
    const RtfEquation equation = std::exchange(m_equation, RtfEquation());
    if (equation.isEmpty() || state().hidden || state().destination != Destination::Text)
        return;
    QTextCharFormat format = charFormat();
    QTextCursor& cursor = out();
    cursor.insertText(equation.base, format);
    qsizetype inserted = equation.base.size();
    if (!equation.guide.isEmpty()) {
        QTextCharFormat guide = format;
        if (equation.guideHalfPoints > 0)
            guide.setFontPointSize(equation.guideHalfPoints / 2.0);
        const QString text = QStringLiteral("(") + equation.guide + QStringLiteral(")");
        cursor.insertText(text, guide);
        inserted += text.size();
    }
    if (!equation.after.isEmpty()) {
        cursor.insertText(equation.after, format);
        inserted += equation.after.size();
    }
    m_insertedChars += inserted;
}

void RtfParser::endGroup()
{
    const Destination ended = state().destination;
    const int depth = static_cast<int>(m_stack.size());
    if (state().boxDepth == depth)
        endBoxText();
    if (state().resultDepth == depth) {
        if (m_insertedChars == state().resultMark)
            insertFieldText();
        m_equation = RtfEquation();
    }
    if (state().fieldDepth == depth)
        insertFieldText(); // a field without a result
    if (ended == Destination::FieldInstruction && m_stack.size() >= 2 &&
        m_stack[m_stack.size() - 2].destination != Destination::FieldInstruction) {
        m_equation = RtfEquation::parse(m_fieldInstruction);
        m_fieldInstruction.clear();
    }
    if (ended == Destination::Picture && m_stack.size() >= 2 &&
        m_stack[m_stack.size() - 2].destination != Destination::Picture)
        insertPicture();
    if (ended == Destination::FontTable && m_fontNumber >= 0 && !m_fontName.isEmpty())
        text(';'); // an entry closed without its semicolon
    if (m_stack.size() > 1)
        m_stack.pop_back();
    m_starPending = false;
}

void RtfParser::insertPicture()
{
    if (m_picture.bytes.isEmpty())
        m_picture.bytes = QByteArray::fromHex(m_pictHex);
    m_pictHex.clear();
    QImage image = m_picture.decode();
    const QSizeF size = m_picture.displaySize(image.size());
    const bool metafile = m_picture.kind == RtfPicture::Kind::WindowsMetafile ||
                          m_picture.kind == RtfPicture::Kind::EnhancedMetafile;
    m_picture = RtfPicture();
    if (image.isNull() && metafile) {
        // A drawing that cannot be drawn keeps its place: an empty box of its size.
        image = QImage(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    }
    if (image.isNull() || m_stack.size() < 2)
        return;
    const QUrl name(QStringLiteral("rtfpicture:%1").arg(++m_pictureCount));
    m_doc.addResource(QTextDocument::ImageResource, name, image);
    QTextImageFormat format;
    format.setName(name.toString());
    format.setWidth(size.width());
    format.setHeight(size.height());
    RichTextFormats::setNaturalPictureSize(format, size);
    // The picture belongs to the group around \pict: its table cell, its hidden state.
    const GroupState& outer = m_stack[m_stack.size() - 2];
    if (outer.hidden && !outer.shapePicture)
        return;
    QTextCursor& cursor = outer.inTable || outer.boxInCell ? m_table.cellCursor() : out();
    cursor.insertImage(format);
    ++m_insertedChars;
}

bool looksLikeRtf(QByteArrayView data)
{
    return data.size() >= 5 &&
           QByteArrayView(data.data(), 5).compare("{\\rtf", Qt::CaseInsensitive) == 0;
}

bool readRtfOrText(QByteArrayView data, QTextDocument& document, const std::function<bool()>& stop)
{
    document.clear();
    if (!looksLikeRtf(data)) {
        document.setPlainText(TextFile::decode(data));
        return true;
    }
    // One edit for the whole document: the layout follows once, not after every insertion.
    QTextCursor edit(&document);
    edit.beginEditBlock();
    RtfParser parser(data, document, stop);
    const bool complete = parser.parse();
    edit.endEditBlock();
    return complete;
}
