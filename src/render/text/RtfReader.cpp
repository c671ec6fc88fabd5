#include "RtfReader.h"

#include "RichTextFormats.h"
#include "RtfKeywords.h"
#include "RtfPicture.h"
#include "RtfTableBuilder.h"
#include "TextFile.h"

#include <QHash>
#include <QImage>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

#include <memory>
#include <vector>

namespace {

constexpr double kTwipsPerPixel = 15.0; // 1440 per inch at 96 dots per inch
constexpr int kMaxDepth = 4096;         // deeper nesting is refused, not followed
constexpr qsizetype kStopCheckBytes = 64 * 1024;

enum class Destination
{
    Text,
    FontTable,
    ColorTable,
    Skip,
    Picture,
    PropertyName, // a shape property's name (\sn)
};

// Which characters the text that follows holds: the associated set applies to double-byte text.
enum class RunType
{
    None,
    LowAnsi,
    HighAnsi,
    DoubleByte,
};

struct CharProps
{
    int font = -1;
    int halfPoints = 24;
    bool bold = false, italic = false, underline = false, strike = false;
    int foreground = 0, background = 0;
    int vertical = 0; // 1 superscript, 2 subscript
    int raiseHalfPoints = 0;
    bool operator==(const CharProps&) const = default;
};

struct GroupState
{
    Destination destination = Destination::Text;
    CharProps chars;
    // The associated set (\af \afs \ab \ai); -1 where not given, then the main value holds.
    int assocFont = -1, assocHalfPoints = -1, assocBold = -1, assocItalic = -1;
    RunType runType = RunType::None;
    bool complexScript = false; // after \rtlch: the associated words are for right-to-left text
    bool hidden = false;
    int unicodeSkip = 1;
    // Paragraph properties.
    Qt::Alignment align = Qt::AlignLeft;
    int leftTwips = 0, rightTwips = 0, firstTwips = 0, beforeTwips = 0, afterTwips = 0;
    int lineTwips = 0;
    bool lineMultiple = false;
    bool rightToLeft = false;
    QList<QTextOption::Tab> tabs;
    QTextOption::TabType nextTabType = QTextOption::LeftTab;
    bool inTable = false;
    bool pageBreakBefore = false;
    bool shapePicture = false; // inside the value of a shape's picture property
};

struct Font
{
    QString family;
    int charset = -1;  // -1: not given
    int codePage = -1; // \cpg
};

QByteArray encodingForCodePage(int codePage)
{
    switch (codePage) {
    case 936:
        return "GBK";
    case 950:
        return "Big5";
    case 932:
        return "Shift_JIS";
    case 949:
        return "windows-949";
    case 10000:
        return "macintosh";
    case 437:
        return "IBM437";
    case 65001:
        return "UTF-8";
    default:
        return "windows-" + QByteArray::number(codePage);
    }
}

// A font's \fcharset decides its runs' code page; the document's \ansicpg serves fonts that
// give none (or the default set, 1).
QByteArray encodingFor(const Font* font, int ansiCodePage)
{
    if (font && font->codePage > 0)
        return encodingForCodePage(font->codePage);
    const int charset = font ? font->charset : -1;
    switch (charset) {
    case 0:
        return "windows-1252";
    case 2:
        return "windows-1252"; // symbol: best effort
    case 77:
        return "macintosh";
    case 128:
        return "Shift_JIS";
    case 129:
        return "windows-949";
    case 130:
        return "windows-1361";
    case 134:
        return "GBK";
    case 136:
        return "Big5";
    case 161:
        return "windows-1253";
    case 162:
        return "windows-1254";
    case 163:
        return "windows-1258";
    case 177:
        return "windows-1255";
    case 178:
        return "windows-1256";
    case 186:
        return "windows-1257";
    case 204:
        return "windows-1251";
    case 222:
        return "windows-874";
    case 238:
        return "windows-1250";
    case 255:
        return "IBM437";
    default:
        return encodingForCodePage(ansiCodePage);
    }
}

QColor mix(const QColor& back, const QColor& fore, double share)
{
    share = std::clamp(share, 0.0, 1.0);
    return QColor::fromRgbF(float(back.redF() * (1 - share) + fore.redF() * share),
                            float(back.greenF() * (1 - share) + fore.greenF() * share),
                            float(back.blueF() * (1 - share) + fore.blueF() * share));
}

class RtfParser
{
public:
    RtfParser(QByteArrayView data, QTextDocument& doc, const std::function<bool()>& stop)
        : m_data(data), m_doc(doc), m_cursor(&doc), m_stop(stop)
    {}

    // False when the stop ended the read.
    bool parse();

private:
    GroupState& state() { return m_stack.back(); }
    void controlWord(QByteArrayView word, bool hasParam, int param);
    void tableWord(RtfKeyword keyword, int param);
    void text(char c);
    void textRun();
    void skipGroup();
    void decodePending();
    void flush();
    const QTextCharFormat& charFormat();
    QTextBlockFormat blockFormat() const;
    QTextCursor& out();
    void newParagraph();
    void insertChar(QChar c);
    void finishBlock();
    void endGroup();
    QStringDecoder& decoderFor(int font);
    const Font* font(int number) const;
    void insertPicture();
    QColor colour(int index, const QColor& fallback) const;
    void finishCellLayout(int rightTwips);

    QByteArrayView m_data;
    qsizetype m_pos = 0;
    QTextDocument& m_doc;
    QTextCursor m_cursor;
    const std::function<bool()>& m_stop;
    std::vector<GroupState> m_stack{GroupState{}};
    std::vector<Font> m_fonts;
    QHash<int, int> m_fontIndex; // \fN -> m_fonts index
    std::vector<QRgb> m_colors;
    int m_defaultFont = 0;
    int m_ansiCodePage = 1252;
    bool m_starPending = false;
    QByteArray m_pending;  // bytes of text not yet decoded
    QString m_pendingText; // decoded text not yet inserted
    int m_skipChars = 0;   // characters still to skip after a \uN
    QHash<QByteArray, std::shared_ptr<QStringDecoder>> m_decoders;
    // The character format last made, and what it was made of.
    QTextCharFormat m_format;
    CharProps m_formatProps;
    bool m_formatValid = false;
    // Font table entry being read.
    int m_fontNumber = -1;
    Font m_fontEntry;
    QByteArray m_fontName;
    // Colour table entry being read.
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorSet = false;
    // Picture being read.
    RtfPicture m_picture;
    QByteArray m_pictHex;
    int m_pictureCount = 0;
    // Tables.
    RtfTableBuilder m_table;
    RtfRowLayout m_row;
    RtfCellLayout m_cellLayout;
    int m_cellBack = -1, m_cellFore = -1, m_cellShading = -1;
    std::array<RtfBorder, 6> m_rowBorders; // top, left, bottom, right, horizontal, vertical
    RtfBorder* m_border = nullptr;         // the border that border words describe
    RtfBorder m_ignoredBorder;
    bool m_pageBreak = false;
    // The shape being read: its rectangle (twips) and the property whose name is being read.
    int m_shapeLeft = 0, m_shapeTop = 0, m_shapeRight = 0, m_shapeBottom = 0;
    QByteArray m_propertyName;
};

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
    if (m_skipChars == 0 && destination == Destination::Text) {
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

const Font* RtfParser::font(int number) const
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
static CharProps effectiveProps(const GroupState& s, int defaultFont)
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

void RtfParser::decodePending()
{
    if (m_pending.isEmpty())
        return;
    m_pendingText += decoderFor(effectiveProps(state(), m_defaultFont).font).decode(m_pending);
    m_pending.clear();
}

void RtfParser::flush()
{
    decodePending();
    if (m_pendingText.isEmpty())
        return;
    QString text = std::move(m_pendingText);
    m_pendingText.clear();
    if (state().hidden)
        return;
    out().insertText(text, charFormat());
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
    if (state().inTable)
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
    if (state().destination != Destination::Text)
        return;
    if (m_skipChars > 0) {
        --m_skipChars;
        return;
    }
    decodePending();
    m_pendingText += c;
}

void RtfParser::endGroup()
{
    const Destination ended = state().destination;
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
    const QImage image = m_picture.decode();
    const QSizeF size = m_picture.displaySize(image.size());
    m_picture = RtfPicture();
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
    QTextCursor& cursor = outer.inTable ? m_table.cellCursor() : out();
    cursor.insertImage(format);
}

QColor RtfParser::colour(int index, const QColor& fallback) const
{
    if (index > 0 && index < static_cast<int>(m_colors.size()))
        return QColor::fromRgb(m_colors[size_t(index)]);
    return fallback;
}

void RtfParser::finishCellLayout(int rightTwips)
{
    RtfCellLayout cell = m_cellLayout;
    cell.rightTwips = rightTwips;
    // Shading: the pattern colour over the background colour by the shading share.
    if (m_cellShading > 0)
        cell.shading = mix(colour(m_cellBack, Qt::white), colour(m_cellFore, Qt::black),
                           m_cellShading / 10000.0);
    else if (m_cellBack > 0)
        cell.shading = colour(m_cellBack, QColor());
    // Sides the cell leaves open take the row's borders.
    const bool firstCell = m_row.cells.empty();
    const RtfBorder& rowLeft = firstCell ? m_rowBorders[1] : m_rowBorders[5];
    const RtfBorder* fallback[4] = {&m_rowBorders[0], &rowLeft, &m_rowBorders[2], &m_rowBorders[5]};
    for (size_t side = 0; side < 4; ++side)
        if (!cell.borders[side].on && fallback[side]->on)
            cell.borders[side] = *fallback[side];
    m_row.cells.push_back(cell);
    m_cellLayout = RtfCellLayout();
    m_cellBack = m_cellFore = m_cellShading = -1;
    m_border = nullptr;
}

void RtfParser::tableWord(RtfKeyword keyword, int param)
{
    using K = RtfKeyword;
    switch (keyword) {
    case K::RowDefaults:
        m_row = RtfRowLayout();
        m_cellLayout = RtfCellLayout();
        m_rowBorders = {};
        m_cellBack = m_cellFore = m_cellShading = -1;
        m_border = nullptr;
        break;
    case K::RowLeft:
        m_row.leftTwips = param;
        break;
    case K::RowGap:
        m_row.gapTwips = std::max(0, param);
        break;
    case K::RowCenter:
        m_row.align = Qt::AlignHCenter;
        break;
    case K::RowLeftAlign:
        m_row.align = Qt::AlignLeft;
        break;
    case K::RowRight:
        m_row.align = Qt::AlignRight;
        break;
    case K::CellRight:
        if (m_row.cells.size() < 1024)
            finishCellLayout(param);
        break;
    case K::CellBackPattern:
        m_cellBack = param;
        break;
    case K::CellForePattern:
        m_cellFore = param;
        break;
    case K::CellShading:
        m_cellShading = std::clamp(param, 0, 10000);
        break;
    case K::CellBorderTop:
    case K::CellBorderLeft:
    case K::CellBorderBottom:
    case K::CellBorderRight:
        m_border = &m_cellLayout.borders[size_t(int(keyword) - int(K::CellBorderTop))];
        break;
    case K::RowBorderTop:
    case K::RowBorderLeft:
    case K::RowBorderBottom:
    case K::RowBorderRight:
    case K::RowBorderHorizontal:
    case K::RowBorderVertical:
        m_border = &m_rowBorders[size_t(int(keyword) - int(K::RowBorderTop))];
        break;
    case K::ParagraphBorder:
        m_border = &m_ignoredBorder;
        break;
    case K::BorderStyle:
        if (m_border)
            m_border->on = true;
        break;
    case K::BorderNone:
        if (m_border)
            m_border->on = false;
        break;
    case K::BorderWidth:
        if (m_border)
            m_border->widthPx = std::clamp(param / kTwipsPerPixel, 1.0, 10.0);
        break;
    case K::BorderColor:
        if (m_border)
            m_border->color = colour(param, Qt::black);
        break;
    case K::MergeFirst:
        m_cellLayout.horizontal = RtfCellLayout::Merge::First;
        break;
    case K::MergeNext:
        m_cellLayout.horizontal = RtfCellLayout::Merge::Continue;
        break;
    case K::VMergeFirst:
        m_cellLayout.vertical = RtfCellLayout::Merge::First;
        break;
    case K::VMergeNext:
        m_cellLayout.vertical = RtfCellLayout::Merge::Continue;
        break;
    default:
        break;
    }
}

void RtfParser::controlWord(QByteArrayView w, bool hasParam, int param)
{
    using K = RtfKeyword;
    GroupState& s = state();
    const bool on = !hasParam || param != 0;
    const RtfKeyword keyword = rtfKeyword(w);
    const bool starred = std::exchange(m_starPending, false);
    // Words that change the destination.
    switch (keyword) {
    case K::FontTable:
        s.destination = Destination::FontTable;
        return;
    case K::ColorTable:
        s.destination = Destination::ColorTable;
        return;
    case K::Picture:
        flush();
        if (s.hidden && !s.shapePicture) {
            s.destination = Destination::Skip; // a shape's fill or line picture, not its own
            return;
        }
        s.destination = Destination::Picture;
        m_picture = RtfPicture();
        m_pictHex.clear();
        if (s.shapePicture) {
            // A picture shape is drawn at the shape's size.
            m_picture.goalWidthTwips = std::max(0, m_shapeRight - m_shapeLeft);
            m_picture.goalHeightTwips = std::max(0, m_shapeBottom - m_shapeTop);
        }
        return;
    case K::ShapeInstruction:
        flush();
        s.destination = Destination::Text;
        s.hidden = true;
        m_shapeLeft = m_shapeTop = m_shapeRight = m_shapeBottom = 0;
        return;
    case K::ShapeProperty:
        m_propertyName.clear();
        return;
    case K::ShapePropertyName:
        s.destination = Destination::PropertyName;
        m_propertyName.clear();
        return;
    case K::ShapePropertyValue:
        s.shapePicture = m_propertyName == "pib";
        if (!s.shapePicture)
            s.destination = Destination::Skip;
        return;
    case K::ShapeLeft:
        m_shapeLeft = param;
        return;
    case K::ShapeTop:
        m_shapeTop = param;
        return;
    case K::ShapeRight:
        m_shapeRight = param;
        return;
    case K::ShapeBottom:
        m_shapeBottom = param;
        return;
    case K::ShapePicture:
    case K::UnicodeAlternative:
    case K::ObjectResult:
        s.destination = Destination::Text;
        s.hidden = false;
        return;
    case K::SkippedDestination:
        flush();
        s.destination = Destination::Skip;
        return;
    case K::Object:
    case K::UnicodePair:
        // An object and a Unicode pair show only their result and their Unicode form.
        flush();
        s.destination = Destination::Text;
        s.hidden = true;
        return;
    default:
        break;
    }
    if (starred && s.destination == Destination::Text) {
        // An optional destination not known here: its content is not shown.
        flush();
        s.destination = Destination::Skip;
        return;
    }
    if (s.destination == Destination::FontTable) {
        if (keyword == K::Font && hasParam) {
            m_fontNumber = param;
            m_fontEntry = Font();
            m_fontName.clear();
        } else if (keyword == K::FontCharset) {
            m_fontEntry.charset = param;
        } else if (keyword == K::CodePage) {
            m_fontEntry.codePage = param;
        }
        return;
    }
    if (s.destination == Destination::ColorTable) {
        if (keyword == K::Red)
            m_red = std::clamp(param, 0, 255), m_colorSet = true;
        else if (keyword == K::Green)
            m_green = std::clamp(param, 0, 255), m_colorSet = true;
        else if (keyword == K::Blue)
            m_blue = std::clamp(param, 0, 255), m_colorSet = true;
        return;
    }
    if (s.destination == Destination::Picture) {
        using Kind = RtfPicture::Kind;
        switch (keyword) {
        case K::PngBlip:
            m_picture.kind = Kind::Png;
            break;
        case K::JpegBlip:
            m_picture.kind = Kind::Jpeg;
            break;
        case K::DibBitmap:
            m_picture.kind = Kind::Dib;
            break;
        case K::DeviceBitmap:
            m_picture.kind = Kind::DeviceBitmap;
            break;
        case K::WindowsMetafile:
            m_picture.kind = Kind::WindowsMetafile;
            break;
        case K::EmfBlip:
            m_picture.kind = Kind::EnhancedMetafile;
            break;
        case K::PicW:
            m_picture.width = param;
            break;
        case K::PicH:
            m_picture.height = param;
            break;
        case K::PicWGoal:
            m_picture.goalWidthTwips = param;
            break;
        case K::PicHGoal:
            m_picture.goalHeightTwips = param;
            break;
        case K::PicScaleX:
            m_picture.scaleXPercent = param;
            break;
        case K::PicScaleY:
            m_picture.scaleYPercent = param;
            break;
        case K::BitsPerPixel:
            m_picture.bitsPerPixel = param;
            break;
        case K::WidthBytes:
            m_picture.widthBytes = param;
            break;
        case K::Binary:
            if (hasParam && param > 0) {
                const qsizetype length = std::min<qsizetype>(param, m_data.size() - m_pos);
                m_picture.bytes.append(m_data.sliced(m_pos, length));
                m_pos += length;
            }
            break;
        default:
            break;
        }
        return;
    }
    if (keyword == K::Binary) {
        if (hasParam && param > 0)
            m_pos = std::min(m_data.size(), m_pos + param);
        return;
    }
    if (s.destination == Destination::Skip)
        return;

    if (keyword == K::Unicode && hasParam) {
        insertChar(QChar(static_cast<char16_t>(param < 0 ? param + 65536 : param)));
        m_skipChars = s.unicodeSkip;
        return;
    }
    // Everything else ends the text run so far, in the font and format it was typed in.
    flush();
    m_skipChars = 0;
    switch (keyword) {
    case K::AnsiCodePage:
        m_ansiCodePage = param;
        break;
    case K::DefaultFont:
        m_defaultFont = param;
        break;
    case K::UnicodeSkip:
        s.unicodeSkip = std::clamp(param, 0, 10);
        break;
    case K::Par:
        newParagraph();
        break;
    case K::NestedCell:
    case K::NestedRow:
        newParagraph(); // a table inside a cell: its cells become paragraphs of the cell
        break;
    case K::Pard:
        s.align = Qt::AlignLeft;
        s.leftTwips = s.rightTwips = s.firstTwips = s.beforeTwips = s.afterTwips = 0;
        s.lineTwips = 0;
        s.lineMultiple = false;
        s.rightToLeft = false;
        s.tabs.clear();
        s.nextTabType = QTextOption::LeftTab;
        s.inTable = false;
        s.pageBreakBefore = false;
        break;
    case K::Plain:
        s.chars = CharProps{};
        s.assocFont = s.assocHalfPoints = s.assocBold = s.assocItalic = -1;
        s.runType = RunType::None;
        s.complexScript = false;
        s.hidden = false;
        break;
    case K::Font:
        s.chars.font = param;
        break;
    case K::AssocFont:
        if (!s.complexScript)
            s.assocFont = param;
        break;
    case K::DoubleByte:
        s.runType = RunType::DoubleByte;
        s.complexScript = false;
        break;
    case K::HighAnsi:
        s.runType = RunType::HighAnsi;
        s.complexScript = false;
        break;
    case K::LowAnsi:
        s.runType = RunType::LowAnsi;
        s.complexScript = false;
        break;
    case K::RightToLeftChars:
        s.complexScript = true;
        break;
    case K::LeftToRightChars:
        s.complexScript = false;
        break;
    case K::FontSize:
        if (hasParam)
            s.chars.halfPoints = std::clamp(param, 1, 4000);
        break;
    case K::AssocFontSize:
        if (hasParam && !s.complexScript)
            s.assocHalfPoints = std::clamp(param, 1, 4000);
        break;
    case K::Bold:
        s.chars.bold = on;
        break;
    case K::AssocBold:
        if (!s.complexScript)
            s.assocBold = on;
        break;
    case K::Italic:
        s.chars.italic = on;
        break;
    case K::AssocItalic:
        if (!s.complexScript)
            s.assocItalic = on;
        break;
    case K::Underline:
        s.chars.underline = on;
        break;
    case K::UnderlineNone:
        s.chars.underline = false;
        break;
    case K::Strike:
        s.chars.strike = on;
        break;
    case K::Foreground:
        s.chars.foreground = param;
        break;
    case K::Background:
        s.chars.background = param;
        break;
    case K::Hidden:
        s.hidden = on;
        break;
    case K::Super:
        s.chars.vertical = 1;
        break;
    case K::Sub:
        s.chars.vertical = 2;
        break;
    case K::NoSuperSub:
        s.chars.vertical = 0;
        s.chars.raiseHalfPoints = 0;
        break;
    case K::Up:
        s.chars.raiseHalfPoints = hasParam ? param : 6;
        break;
    case K::Down:
        s.chars.raiseHalfPoints = -(hasParam ? param : 6);
        break;
    case K::Line:
        insertChar(QChar(QChar::LineSeparator));
        break;
    case K::Tab:
        insertChar(QChar(u'\t'));
        break;
    case K::EmDash:
        insertChar(QChar(0x2014));
        break;
    case K::EnDash:
        insertChar(QChar(0x2013));
        break;
    case K::Bullet:
        insertChar(QChar(0x2022));
        break;
    case K::LQuote:
        insertChar(QChar(0x2018));
        break;
    case K::RQuote:
        insertChar(QChar(0x2019));
        break;
    case K::LDblQuote:
        insertChar(QChar(0x201C));
        break;
    case K::RDblQuote:
        insertChar(QChar(0x201D));
        break;
    case K::EmSpace:
        insertChar(QChar(0x2003));
        break;
    case K::EnSpace:
        insertChar(QChar(0x2002));
        break;
    case K::Page:
        newParagraph();
        m_pageBreak = true;
        break;
    case K::PageBreakBefore:
        s.pageBreakBefore = on;
        break;
    case K::Section:
        newParagraph();
        break;
    case K::AlignLeft:
        s.align = Qt::AlignLeft;
        break;
    case K::AlignCenter:
        s.align = Qt::AlignHCenter;
        break;
    case K::AlignRight:
        s.align = Qt::AlignRight;
        break;
    case K::AlignJustify:
        s.align = Qt::AlignJustify;
        break;
    case K::LeftIndent:
        s.leftTwips = std::clamp(param, -31680, 31680);
        break;
    case K::RightIndent:
        s.rightTwips = std::clamp(param, -31680, 31680);
        break;
    case K::FirstIndent:
        s.firstTwips = std::clamp(param, -31680, 31680);
        break;
    case K::SpaceBefore:
        s.beforeTwips = std::clamp(param, 0, 31680);
        break;
    case K::SpaceAfter:
        s.afterTwips = std::clamp(param, 0, 31680);
        break;
    case K::LineSpacing:
        s.lineTwips = std::clamp(param, -31680, 31680);
        break;
    case K::LineMultiple:
        s.lineMultiple = on;
        break;
    case K::TabRight:
        s.nextTabType = QTextOption::RightTab;
        break;
    case K::TabCenter:
        s.nextTabType = QTextOption::CenterTab;
        break;
    case K::TabDecimal:
        s.nextTabType = QTextOption::DelimiterTab;
        break;
    case K::TabStop:
    case K::TabBar:
        if (s.tabs.size() < 64)
            s.tabs.append(QTextOption::Tab(
                std::clamp(param, 0, 31680) / kTwipsPerPixel, s.nextTabType,
                s.nextTabType == QTextOption::DelimiterTab ? QChar(u'.') : QChar()));
        s.nextTabType = QTextOption::LeftTab;
        break;
    case K::RightToLeftPar:
        s.rightToLeft = true;
        break;
    case K::LeftToRightPar:
        s.rightToLeft = false;
        break;
    case K::InTable:
        s.inTable = true;
        break;
    case K::Cell:
        if (!s.inTable)
            s.inTable = true; // a \cell without \intbl still ends a cell
        finishBlock();
        m_table.endCell();
        break;
    case K::Row:
        m_table.endRow(m_row);
        break;
    default:
        tableWord(keyword, param);
        break;
    }
}

} // namespace

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
