#include "RtfReader.h"

#include "TextFile.h"

#include <QHash>
#include <QImage>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QUrl>

#include <memory>
#include <vector>

namespace {

constexpr double kTwipsPerPixel = 15.0; // 1440 per inch at 96 dots per inch
constexpr int kMaxDepth = 4096;         // deeper nesting is refused, not followed

enum class Destination
{
    Text,
    FontTable,
    ColorTable,
    Skip,
    Picture,
};

struct Font
{
    QString family;
    int charset = 0;
};

struct GroupState
{
    Destination destination = Destination::Text;
    int font = -1;
    int assocFont = -1;
    bool doubleByte = false;
    int halfPoints = 24;
    bool bold = false, italic = false, underline = false, strike = false;
    int foreground = 0, background = 0;
    int unicodeSkip = 1;
    // Paragraph properties.
    Qt::Alignment align = Qt::AlignLeft;
    int leftTwips = 0, rightTwips = 0, firstTwips = 0, beforeTwips = 0, afterTwips = 0;
    bool inTable = false;
};

QByteArray encodingForCharset(int charset, int ansiCodePage)
{
    switch (charset) {
    case 134:
        return "GBK";
    case 136:
        return "Big5";
    case 128:
        return "Shift_JIS";
    case 129:
        return "windows-949";
    case 2:
        return "windows-1252"; // symbol: best effort
    default:
        break;
    }
    switch (ansiCodePage) {
    case 936:
        return "GBK";
    case 950:
        return "Big5";
    case 932:
        return "Shift_JIS";
    case 949:
        return "windows-949";
    default:
        return "windows-" + QByteArray::number(ansiCodePage);
    }
}

class RtfParser
{
public:
    RtfParser(QByteArrayView data, QTextDocument& doc) : m_data(data), m_doc(doc), m_cursor(&doc) {}

    void parse();

private:
    GroupState& state() { return m_stack.back(); }
    void controlWord(const QByteArray& word, bool hasParam, int param);
    void text(char c);
    void flush();
    void applyCharFormat();
    QTextCharFormat charFormat() const;
    QTextBlockFormat blockFormat() const;
    void newParagraph();
    void insertChar(QChar c);
    void finishBlock();
    void enterTableCell();
    void leaveTable();
    void endGroup();
    QStringDecoder& decoderFor(int font);
    void insertPicture();

    QByteArrayView m_data;
    qsizetype m_pos = 0;
    QTextDocument& m_doc;
    QTextCursor m_cursor;
    std::vector<GroupState> m_stack{GroupState{}};
    std::vector<Font> m_fonts;
    QHash<int, int> m_fontIndex; // \fN -> m_fonts index
    std::vector<QRgb> m_colors;
    int m_defaultFont = 0;
    int m_ansiCodePage = 1252;
    QByteArray m_pending; // bytes of text not yet decoded
    int m_skipChars = 0;  // characters still to skip after a \uN
    QHash<QByteArray, std::shared_ptr<QStringDecoder>> m_decoders;
    // Font table entry being read.
    int m_fontNumber = -1;
    int m_fontCharset = 0;
    QByteArray m_fontName;
    // Colour table entry being read.
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorSet = false;
    // Picture being read.
    QByteArray m_pictHex;
    bool m_pictUsable = false;
    int m_pictureCount = 0;
    // Tables.
    QTextTable* m_table = nullptr;
    int m_row = 0, m_column = 0;
    bool m_rowEnded = false;
    std::vector<int> m_cellRightTwips;
    bool m_pageBreak = false;
    bool m_firstBlock = true;
};

void RtfParser::parse()
{
    while (m_pos < m_data.size()) {
        const char c = m_data[m_pos++];
        if (c == '{') {
            flush();
            if (m_stack.size() >= kMaxDepth)
                return;
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
                while (m_pos < m_data.size() &&
                       std::isalpha(static_cast<unsigned char>(m_data[m_pos])))
                    ++m_pos;
                const QByteArray word = m_data.sliced(start, m_pos - start).toByteArray();
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
                        return;
                    bool ok = false;
                    const int byte = m_data.sliced(m_pos, 2).toByteArray().toInt(&ok, 16);
                    m_pos += 2;
                    if (ok)
                        text(static_cast<char>(byte));
                    break;
                }
                case '*':
                    state().destination = Destination::Skip;
                    break;
                case '~':
                    insertChar(QChar(0x00A0));
                    break;
                case '_':
                    if (state().destination == Destination::Text)
                        text('-');
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
            text(c);
        }
    }
    flush();
    finishBlock();
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
                Font font;
                font.charset = m_fontCharset;
                QStringDecoder decoder(
                    encodingForCharset(m_fontCharset, m_ansiCodePage).constData());
                font.family = decoder.isValid() ? decoder.decode(m_fontName)
                                                : QString::fromLatin1(m_fontName);
                m_fontIndex.insert(m_fontNumber, static_cast<int>(m_fonts.size()));
                m_fonts.push_back(font);
            }
            m_fontName.clear();
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
        if (std::isxdigit(static_cast<unsigned char>(c)))
            m_pictHex.append(c);
        break;
    case Destination::Skip:
        break;
    }
}

QStringDecoder& RtfParser::decoderFor(int font)
{
    int charset = 0;
    if (const auto it = m_fontIndex.constFind(font); it != m_fontIndex.cend())
        charset = m_fonts[size_t(*it)].charset;
    const QByteArray name = encodingForCharset(charset, m_ansiCodePage);
    std::shared_ptr<QStringDecoder>& decoder = m_decoders[name];
    if (!decoder) {
        decoder =
            std::make_shared<QStringDecoder>(name.constData(), QStringConverter::Flag::Stateless);
        if (!decoder->isValid())
            decoder = std::make_shared<QStringDecoder>(QStringConverter::Latin1);
    }
    return *decoder;
}

void RtfParser::flush()
{
    if (m_pending.isEmpty())
        return;
    const GroupState& s = m_stack.back();
    const int font =
        s.doubleByte && s.assocFont >= 0 ? s.assocFont : (s.font >= 0 ? s.font : m_defaultFont);
    const QString decoded = decoderFor(font).decode(m_pending);
    m_pending.clear();
    if (s.inTable)
        enterTableCell();
    else if (m_table)
        leaveTable();
    m_cursor.insertText(decoded, charFormat());
}

QTextCharFormat RtfParser::charFormat() const
{
    const GroupState& s = m_stack.back();
    QTextCharFormat format;
    format.setFontStyleStrategy(QFont::NoAntialias);
    const int font =
        s.doubleByte && s.assocFont >= 0 ? s.assocFont : (s.font >= 0 ? s.font : m_defaultFont);
    if (const auto it = m_fontIndex.constFind(font);
        it != m_fontIndex.cend() && !m_fonts[size_t(*it)].family.isEmpty())
        format.setFontFamilies({m_fonts[size_t(*it)].family});
    format.setFontPointSize(std::max(1, s.halfPoints) / 2.0);
    format.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(s.italic);
    format.setFontUnderline(s.underline);
    format.setFontStrikeOut(s.strike);
    if (s.foreground > 0 && s.foreground < static_cast<int>(m_colors.size()))
        format.setForeground(QColor::fromRgb(m_colors[size_t(s.foreground)]));
    if (s.background > 0 && s.background < static_cast<int>(m_colors.size()))
        format.setBackground(QColor::fromRgb(m_colors[size_t(s.background)]));
    return format;
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
    return format;
}

// The paragraph that ends takes the paragraph properties in force.
void RtfParser::finishBlock()
{
    QTextBlockFormat format = blockFormat();
    if (m_pageBreak) {
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        m_pageBreak = false;
    }
    m_cursor.setBlockFormat(format);
}

void RtfParser::newParagraph()
{
    if (state().inTable)
        enterTableCell();
    else if (m_table)
        leaveTable();
    finishBlock();
    m_cursor.insertBlock(QTextBlockFormat(), charFormat());
}

void RtfParser::insertChar(QChar c)
{
    flush();
    if (state().destination != Destination::Text)
        return;
    if (m_skipChars > 0) {
        --m_skipChars;
        return;
    }
    if (state().inTable)
        enterTableCell();
    else if (m_table)
        leaveTable();
    m_cursor.insertText(QString(c), charFormat());
}

void RtfParser::enterTableCell()
{
    if (!m_table) {
        const int columns = std::max<int>(1, static_cast<int>(m_cellRightTwips.size()));
        QTextTableFormat format;
        format.setBorder(1);
        format.setCellPadding(2);
        format.setCellSpacing(0);
        QList<QTextLength> widths;
        int left = 0;
        for (int right : m_cellRightTwips) {
            widths << QTextLength(QTextLength::FixedLength,
                                  std::max(1, right - left) / kTwipsPerPixel);
            left = right;
        }
        if (!widths.isEmpty())
            format.setColumnWidthConstraints(widths);
        m_table = m_cursor.insertTable(1, columns, format);
        m_row = 0;
        m_rowEnded = false;
        m_cursor = m_table->cellAt(0, 0).firstCursorPosition();
    }
    if (m_rowEnded) {
        m_table->appendRows(1);
        ++m_row;
        m_column = 0;
        m_rowEnded = false;
    }
    if (m_column >= m_table->columns())
        m_table->appendColumns(m_column - m_table->columns() + 1);
    const QTextTableCell here = m_table->cellAt(m_cursor);
    if (!here.isValid() || here.row() != m_row || here.column() != m_column)
        m_cursor = m_table->cellAt(m_row, m_column).firstCursorPosition();
}

void RtfParser::leaveTable()
{
    m_cursor = m_table->lastCursorPosition();
    m_cursor.movePosition(QTextCursor::NextBlock);
    m_table = nullptr;
    m_column = 0;
    m_cellRightTwips.clear();
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
}

void RtfParser::insertPicture()
{
    if (!m_pictUsable || m_pictHex.isEmpty())
        return;
    const QImage image = QImage::fromData(QByteArray::fromHex(m_pictHex));
    m_pictHex.clear();
    if (image.isNull())
        return;
    const QUrl name(QStringLiteral("rtfpicture:%1").arg(++m_pictureCount));
    m_doc.addResource(QTextDocument::ImageResource, name, image);
    QTextImageFormat format;
    format.setName(name.toString());
    format.setWidth(image.width());
    format.setHeight(image.height());
    if (m_stack.size() >= 2 && m_stack[m_stack.size() - 2].inTable)
        enterTableCell();
    m_cursor.insertImage(format);
}

void RtfParser::controlWord(const QByteArray& w, bool hasParam, int param)
{
    GroupState& s = state();
    const bool on = !hasParam || param != 0;
    // Words that change the destination.
    if (w == "fonttbl") {
        s.destination = Destination::FontTable;
        return;
    }
    if (w == "colortbl") {
        s.destination = Destination::ColorTable;
        return;
    }
    if (w == "pict") {
        flush();
        s.destination = Destination::Picture;
        m_pictHex.clear();
        m_pictUsable = false;
        return;
    }
    if (w == "stylesheet" || w == "info" || w == "fldinst" || w == "header" || w == "footer" ||
        w == "headerl" || w == "headerr" || w == "footerl" || w == "footerr" || w == "object" ||
        w == "listtable" || w == "listoverridetable" || w == "rsidtbl" || w == "themedata" ||
        w == "colorschememapping" || w == "latentstyles" || w == "datastore" || w == "xmlnstbl" ||
        w == "pgdsctbl" || w == "footnote" || w == "annotation" || w == "nonshppict" || w == "xe" ||
        w == "tc" || w == "txe" || w == "bkmkstart" || w == "bkmkend" || w == "generator") {
        flush();
        s.destination = Destination::Skip;
        return;
    }
    if (s.destination == Destination::FontTable) {
        if (w == "f" && hasParam) {
            m_fontNumber = param;
            m_fontCharset = 0;
            m_fontName.clear();
        } else if (w == "fcharset") {
            m_fontCharset = param;
        }
        return;
    }
    if (s.destination == Destination::ColorTable) {
        if (w == "red")
            m_red = std::clamp(param, 0, 255), m_colorSet = true;
        else if (w == "green")
            m_green = std::clamp(param, 0, 255), m_colorSet = true;
        else if (w == "blue")
            m_blue = std::clamp(param, 0, 255), m_colorSet = true;
        return;
    }
    if (s.destination == Destination::Picture) {
        if (w == "pngblip" || w == "jpegblip")
            m_pictUsable = true;
        else if (w == "bin" && hasParam && param > 0)
            m_pos = std::min(m_data.size(), m_pos + param);
        return;
    }
    if (w == "bin") {
        if (hasParam && param > 0)
            m_pos = std::min(m_data.size(), m_pos + param);
        return;
    }
    if (s.destination == Destination::Skip)
        return;

    if (w == "u" && hasParam) {
        insertChar(QChar(static_cast<char16_t>(param < 0 ? param + 65536 : param)));
        m_skipChars = s.unicodeSkip;
        return;
    }
    // Everything else ends the text run so far, in the format it was typed in.
    flush();
    m_skipChars = 0;
    if (w == "ansicpg")
        m_ansiCodePage = param;
    else if (w == "deff")
        m_defaultFont = param;
    else if (w == "uc")
        s.unicodeSkip = std::clamp(param, 0, 10);
    else if (w == "par")
        newParagraph();
    else if (w == "pard") {
        s.align = Qt::AlignLeft;
        s.leftTwips = s.rightTwips = s.firstTwips = s.beforeTwips = s.afterTwips = 0;
        s.inTable = false;
    } else if (w == "plain") {
        const int skip = s.unicodeSkip;
        const Destination destination = s.destination;
        const bool inTable = s.inTable;
        const Qt::Alignment align = s.align;
        const int li = s.leftTwips, ri = s.rightTwips, fi = s.firstTwips, sb = s.beforeTwips,
                  sa = s.afterTwips;
        s = GroupState{};
        s.unicodeSkip = skip;
        s.destination = destination;
        s.inTable = inTable;
        s.align = align;
        s.leftTwips = li, s.rightTwips = ri, s.firstTwips = fi, s.beforeTwips = sb,
        s.afterTwips = sa;
    } else if (w == "f")
        s.font = param;
    else if (w == "af")
        s.assocFont = param;
    else if (w == "dbch")
        s.doubleByte = true;
    else if (w == "hich" || w == "loch")
        s.doubleByte = false;
    else if (w == "fs" && hasParam)
        s.halfPoints = std::clamp(param, 1, 4000);
    else if (w == "b")
        s.bold = on;
    else if (w == "i")
        s.italic = on;
    else if (w == "ul")
        s.underline = on;
    else if (w == "ulnone")
        s.underline = false;
    else if (w == "strike")
        s.strike = on;
    else if (w == "cf")
        s.foreground = param;
    else if (w == "cb" || w == "highlight" || w == "chcbpat")
        s.background = param;
    else if (w == "ql")
        s.align = Qt::AlignLeft;
    else if (w == "qc")
        s.align = Qt::AlignHCenter;
    else if (w == "qr")
        s.align = Qt::AlignRight;
    else if (w == "qj")
        s.align = Qt::AlignJustify;
    else if (w == "li")
        s.leftTwips = param;
    else if (w == "ri")
        s.rightTwips = param;
    else if (w == "fi")
        s.firstTwips = param;
    else if (w == "sb")
        s.beforeTwips = std::max(0, param);
    else if (w == "sa")
        s.afterTwips = std::max(0, param);
    else if (w == "line" || w == "tab" || w == "emdash" || w == "endash" || w == "bullet" ||
             w == "lquote" || w == "rquote" || w == "ldblquote" || w == "rdblquote") {
        const QChar ch = w == "line"        ? QChar(QChar::LineSeparator)
                         : w == "tab"       ? QChar(u'\t')
                         : w == "emdash"    ? QChar(0x2014)
                         : w == "endash"    ? QChar(0x2013)
                         : w == "bullet"    ? QChar(0x2022)
                         : w == "lquote"    ? QChar(0x2018)
                         : w == "rquote"    ? QChar(0x2019)
                         : w == "ldblquote" ? QChar(0x201C)
                                            : QChar(0x201D);
        insertChar(ch);
    } else if (w == "page") {
        newParagraph();
        m_pageBreak = true;
    } else if (w == "trowd") {
        m_cellRightTwips.clear();
    } else if (w == "cellx") {
        m_cellRightTwips.push_back(param);
    } else if (w == "intbl")
        s.inTable = true;
    else if (w == "cell") {
        enterTableCell();
        finishBlock();
        ++m_column; // the next content goes to the next cell
    } else if (w == "row") {
        if (m_table)
            m_rowEnded = true;
    }
    // Unknown words (and \fldrslt, \field, \rtf...) change nothing.
}

} // namespace

bool looksLikeRtf(QByteArrayView data)
{
    return data.size() >= 5 &&
           QByteArrayView(data.data(), 5).compare("{\\rtf", Qt::CaseInsensitive) == 0;
}

void readRtfOrText(QByteArrayView data, QTextDocument& document)
{
    document.clear();
    if (!looksLikeRtf(data)) {
        document.setPlainText(TextFile::decode(data));
        return;
    }
    // One edit for the whole document: the layout follows once, not after every insertion.
    QTextCursor edit(&document);
    edit.beginEditBlock();
    RtfParser parser(data, document);
    parser.parse();
    edit.endEditBlock();
}
