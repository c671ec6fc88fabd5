#include "CMyRichEdit.h"

#include "RtfReader.h"
#include "RtfWriter.h"
#include "TextFile.h"
#include "base/ColorRef.h"
#include "base/SafeFile.h"
#include "base/StringTable.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>
#include <vector>

namespace {

void setUpDocument(QTextDocument& document, QImage& layoutDevice)
{
    document.setDocumentMargin(0);
    document.setUndoRedoEnabled(false);
    // The document's default face: the pinned CJK face at 12 points.
    QFont font(QStringLiteral("宋体"));
    font.setPointSize(12);
    // LED pixels are on or off: no smoothed edges, as on the text item's pages.
    font.setStyleStrategy(QFont::NoAntialias);
    document.setDefaultFont(font);
    // Laid out once for 96 dots per inch, as every page picture is; the pictures themselves
    // come and go.
    document.documentLayout()->setPaintDevice(&layoutDevice);
}

// No page size, no layout: the layout would otherwise follow every insertion of a load. The first
// page sets the size again and lays out only what it shows.
void unsetPageSize(QTextDocument& document)
{
    document.clear();
    document.setPageSize(QSizeF(0, 0));
}

} // namespace

CMyRichEdit::CMyRichEdit()
{
    m_thread.run([this] {
        m_document = std::make_unique<QTextDocument>();
        setUpDocument(*m_document, m_layoutDevice);
    });
}

CMyRichEdit::~CMyRichEdit()
{
    m_thread.run([this] {
        m_pages = RichTextPages();
        m_document.reset();
    });
}

bool CMyRichEdit::LoadFile(const QString& path, QString* errorText, const StopCheck& stop)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        if (errorText)
            *errorText = loadString(StringId::InvalidFileName);
        return false;
    }
    QByteArray bytes;
    switch (SafeFile::readAll(path, &bytes, -1, stop)) {
    case SafeFile::ReadError::None:
        break;
    case SafeFile::ReadError::Stopped:
        return false;
    case SafeFile::ReadError::NotRegular:
        if (errorText)
            *errorText = loadString(StringId::InvalidFileName);
        return false;
    case SafeFile::ReadError::TooLarge:
    case SafeFile::ReadError::OutOfMemory:
        if (errorText)
            *errorText = loadString(StringId::OutOfMemory);
        return false;
    default:
        if (errorText)
            *errorText = loadString(StringId::OpenDocumentFailed);
        return false;
    }
    const bool loaded = LoadData(bytes, stop);
    if (!loaded && m_outOfMemory && errorText)
        *errorText = loadString(StringId::OutOfMemory);
    return loaded;
}

bool CMyRichEdit::LoadData(const QByteArray& bytes, const StopCheck& stop)
{
    bool complete = true;
    m_outOfMemory = false;
    m_thread.run([&] {
        unsetPageSize(*m_document);
        try {
            complete = readRtfOrText(bytes, *m_document, stop);
        } catch (const std::bad_alloc&) {
            complete = false;
            m_outOfMemory = true;
        }
        if (!complete)
            m_document->clear();
        m_pages = RichTextPages();
    });
    return complete;
}

void CMyRichEdit::LoadText(const QString& textOrRtf)
{
    m_thread.run([&] {
        unsetPageSize(*m_document);
        if (looksLikeRtf(QByteArrayView(textOrRtf.left(5).toLatin1())))
            readRtfOrText(textOrRtf.toUtf8(), *m_document);
        else
            m_document->setPlainText(textOrRtf);
        m_pages = RichTextPages();
    });
}

bool CMyRichEdit::SaveFile(const QString& path, bool rich, QString* errorText)
{
    QByteArray bytes;
    m_thread.run(
        [&] { bytes = rich ? writeRtf(*m_document) : m_document->toPlainText().toUtf8(); });
    const SafeFile::Error error = SafeFile::write(path, bytes);
    if (error != SafeFile::Error::None) {
        // A full disk says so; anything else is the document that could not be saved.
        if (errorText)
            *errorText = error == SafeFile::Error::DiskFull
                             ? SafeFile::message(error, path)
                             : loadString(StringId::SaveDocumentFailed);
        return false;
    }
    return true;
}

int CMyRichEdit::SetBackgroundColor(int colorRef)
{
    int previous = 0;
    m_thread.run([&] { previous = std::exchange(m_background, colorRef); });
    return previous;
}

QRgb CMyRichEdit::reversedColor(QRgb rgb)
{
    const int r = qRed(rgb), g = qGreen(rgb), b = qBlue(rgb);
    const int high = std::max({r, g, b});
    const int low = std::min({r, g, b});
    // Near grey: the channels lie close together (a red of 255, 0, 0 is far from grey).
    if (high - low > 48)
        return rgb;
    // Lightness turned over, the small tint kept: each channel moves by the same amount.
    const int shift = 255 - (high + low);
    const auto clamp = [](int v) { return std::clamp(v, 0, 255); };
    return qRgba(clamp(r + shift), clamp(g + shift), clamp(b + shift), qAlpha(rgb));
}

namespace {

QBrush reversedBrush(const QBrush& brush)
{
    if (brush.style() != Qt::SolidPattern)
        return brush;
    QBrush turned = brush;
    turned.setColor(QColor::fromRgba(CMyRichEdit::reversedColor(brush.color().rgba())));
    return turned;
}

void reverseFormatBrush(QTextFormat& format, int property)
{
    if (format.hasProperty(property))
        format.setProperty(property, reversedBrush(format.brushProperty(property)));
}

void reverseFrame(QTextFrame& frame)
{
    QTextFrameFormat format = frame.frameFormat();
    reverseFormatBrush(format, QTextFormat::BackgroundBrush);
    reverseFormatBrush(format, QTextFormat::FrameBorderBrush);
    frame.setFrameFormat(format);
    if (auto* table = qobject_cast<QTextTable*>(&frame)) {
        for (int row = 0; row < table->rows(); ++row)
            for (int column = 0; column < table->columns(); ++column) {
                QTextTableCell cell = table->cellAt(row, column);
                if (cell.row() != row || cell.column() != column)
                    continue; // a merged cell, done where it starts
                QTextCharFormat cellFormat = cell.format();
                reverseFormatBrush(cellFormat, QTextFormat::BackgroundBrush);
                for (const int border :
                     {QTextFormat::TableCellTopBorderBrush, QTextFormat::TableCellBottomBorderBrush,
                      QTextFormat::TableCellLeftBorderBrush,
                      QTextFormat::TableCellRightBorderBrush})
                    reverseFormatBrush(cellFormat, border);
                cell.setFormat(cellFormat);
            }
    }
    for (QTextFrame* child : frame.childFrames())
        reverseFrame(*child);
}

} // namespace

void CMyRichEdit::ReverseColors()
{
    m_thread.run([&] {
        m_reversed = true;
        QTextDocument& document = *m_document;
        // The ranges and their new formats first: changing formats splits and joins fragments.
        struct Change
        {
            int start, length;
            QTextCharFormat format;
        };
        std::vector<Change> changes;
        std::vector<std::pair<int, QTextBlockFormat>> blocks;
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            QTextBlockFormat blockFormat = block.blockFormat();
            if (blockFormat.hasProperty(QTextFormat::BackgroundBrush)) {
                reverseFormatBrush(blockFormat, QTextFormat::BackgroundBrush);
                blocks.emplace_back(block.position(), blockFormat);
            }
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                QTextCharFormat format = fragment.charFormat();
                if (format.isImageFormat())
                    continue; // pictures keep their colours
                if (format.foreground().style() == Qt::NoBrush)
                    format.setForeground(Qt::white);
                else
                    reverseFormatBrush(format, QTextFormat::ForegroundBrush);
                reverseFormatBrush(format, QTextFormat::BackgroundBrush);
                changes.push_back({fragment.position(), fragment.length(), format});
            }
        }
        QTextCursor cursor(&document);
        cursor.beginEditBlock();
        for (const Change& change : changes) {
            cursor.setPosition(change.start);
            cursor.setPosition(change.start + change.length, QTextCursor::KeepAnchor);
            cursor.setCharFormat(change.format);
        }
        for (const auto& [position, blockFormat] : blocks) {
            cursor.setPosition(position);
            cursor.setBlockFormat(blockFormat);
        }
        reverseFrame(*document.rootFrame());
        cursor.endEditBlock();
    });
}

int CMyRichEdit::TextLength()
{
    int length = 0;
    // The characters of the text: the document counts one more, its final paragraph end.
    m_thread.run([&] { length = std::max(0, m_document->characterCount() - 1); });
    return length;
}

QString CMyRichEdit::plainText()
{
    QString text;
    m_thread.run([&] { text = m_document->toPlainText(); });
    return text;
}

void CMyRichEdit::withDocument(const std::function<void(QTextDocument&)>& work)
{
    m_thread.run([&] { work(*m_document); });
}

int CMyRichEdit::renderDocument(QTextDocument& document, RichTextPages& pages, QImage& surface,
                                const QRect& rect, int background, int first)
{
    QPainter painter(&surface);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.fillRect(rect, QColor::fromRgb(colorRefToRgb(background)));
    const int length = std::max(0, document.characterCount() - 1);
    if (length == 0 || first >= length || rect.isEmpty())
        return length;
    if (pages.size() != rect.size())
        pages.reset(document, rect.size());
    const RichTextPages::Page page = pages.pageAt(document, first);
    // The page shows what lies between its top and the next page's top, nothing of either side;
    // across, its band of a wide table only.
    const double width = page.width > 0 ? std::min<double>(page.width, rect.width()) : rect.width();
    painter.setClipRect(QRectF(rect.left(), rect.top(), width, page.bottom - page.top));
    painter.translate(rect.left() - page.left, rect.top() - page.top);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(page.left, page.top, width, page.bottom - page.top);
    context.palette.setColor(QPalette::Text, m_reversed ? Qt::white : Qt::black);
    document.documentLayout()->draw(&painter, context);
    return page.next;
}

int CMyRichEdit::render(QImage& surface, const QRect& rect, int background, int first, int last)
{
    const int length = std::max(0, m_document->characterCount() - 1);
    int next;
    if (last >= 0 && last < length) {
        // Only the first characters (a typed overlay): a copy that ends after them.
        std::unique_ptr<QTextDocument> part(m_document->clone());
        part->documentLayout()->setPaintDevice(&m_layoutDevice);
        QTextCursor cut(part.get());
        cut.setPosition(std::max(0, last));
        cut.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cut.removeSelectedText();
        RichTextPages pages;
        next = std::min(renderDocument(*part, pages, surface, rect, background, first), last);
    } else {
        next = renderDocument(*m_document, m_pages, surface, rect, background, first);
    }
    m_next = next;
    return next;
}

int CMyRichEdit::RenderRange(QImage& surface, const QRect& rect, int background, int first,
                             int last)
{
    int next = 0;
    m_thread.run([&] { next = render(surface, rect, background, first, last); });
    return next;
}

void CMyRichEdit::RenderRangeAsync(QImage& surface, const QRect& rect, int background, int first,
                                   int last)
{
    m_thread.post([this, &surface, rect, background, first, last] {
        m_next = 0;
        render(surface, rect, background, first, last);
    });
}

void CMyRichEdit::waitRenderDone()
{
    m_thread.waitIdle();
}

int CMyRichEdit::nextChar()
{
    int next = 0;
    m_thread.run([&] { next = m_next; });
    return next;
}
