#include "RtfParser.h"

#include <algorithm>
#include <utility>

namespace {

QColor mix(const QColor& back, const QColor& fore, double share)
{
    share = std::clamp(share, 0.0, 1.0);
    return QColor::fromRgbF(float(back.redF() * (1 - share) + fore.redF() * share),
                            float(back.greenF() * (1 - share) + fore.greenF() * share),
                            float(back.blueF() * (1 - share) + fore.blueF() * share));
}

} // namespace

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
    // A field instruction is read for its characters only: what would be shown of a picture,
    // a shape or an object in it is not.
    if (s.destination == Destination::FieldInstruction) {
        switch (keyword) {
        case K::FontTable:
        case K::ColorTable:
        case K::Picture:
        case K::ShapePicture:
        case K::ShapeInstruction:
        case K::ShapeText:
        case K::ShapeResult:
        case K::ShapePropertyValue:
        case K::DrawingObject:
        case K::Object:
        case K::ObjectResult:
        case K::UnicodePair:
        case K::UnicodeAlternative:
        case K::Field:
        case K::FieldResult:
            flush();
            s.destination = Destination::Skip;
            return;
        default:
            break;
        }
    }
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
        if (m_propertyName == "gtextUNICODE") {
            startBoxText(); // the text of a text effect (and of LibreOffice's drawn shapes)
        } else if (!s.shapePicture) {
            s.destination = Destination::Skip;
        }
        return;
    case K::ShapeText:
        if (s.destination == Destination::Text)
            startBoxText();
        return;
    case K::Shape:
        if (s.destination == Destination::Text) {
            flush();
            s.shapeMark = m_insertedChars;
        }
        return;
    case K::ShapeResult:
        flush();
        if (s.destination == Destination::Text && s.shapeMark == m_insertedChars)
            s.hidden = false; // an older form of the shape (a drawing object, a picture)
        else
            s.destination = Destination::Skip;
        return;
    case K::DrawingObject:
        // An old drawing object: only the text of its text box is shown.
        flush();
        if (s.destination == Destination::Text)
            s.hidden = true;
        return;
    case K::Field:
        if (s.destination == Destination::Text) {
            s.fieldDepth = static_cast<int>(m_stack.size());
            m_equation = RtfEquation();
        }
        return;
    case K::FieldInstruction:
        flush();
        if (s.destination != Destination::FieldInstruction)
            m_fieldInstruction.clear();
        s.destination = Destination::FieldInstruction;
        return;
    case K::FieldResult:
        if (s.destination == Destination::Text) {
            flush();
            // A phonetic guide shows as its base and guide, whatever the result holds.
            if (!m_equation.guide.isEmpty()) {
                insertFieldText();
                s.hidden = true;
            }
            s.resultDepth = static_cast<int>(m_stack.size());
            s.resultMark = m_insertedChars;
        }
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
    if (starred &&
        (s.destination == Destination::Text || s.destination == Destination::FieldInstruction)) {
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
    flush(true);
    m_skipChars = 0;
    // Of a field instruction only the words that decode its characters count.
    if (s.destination == Destination::FieldInstruction &&
        !(keyword == K::Font || keyword == K::AssocFont || keyword == K::DoubleByte ||
          keyword == K::HighAnsi || keyword == K::LowAnsi || keyword == K::RightToLeftChars ||
          keyword == K::LeftToRightChars || keyword == K::UnicodeSkip || keyword == K::Plain))
        return;
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
        s.hichFont = s.dbchFont = -1;
        s.runType = RunType::None;
        s.complexScript = false;
        s.hidden = false;
        break;
    case K::Font:
        s.chars.font = param;
        break;
    case K::AssocFont:
        if (!s.complexScript) {
            s.assocFont = param;
            if (s.runType == RunType::HighAnsi)
                s.hichFont = param;
            else if (s.runType == RunType::DoubleByte)
                s.dbchFont = param;
        }
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
