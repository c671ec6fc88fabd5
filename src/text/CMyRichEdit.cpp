#include "CMyRichEdit.h"

#include "RtfReader.h"
#include "RtfWriter.h"
#include "app/StringTable.h"
#include "model/ColorRef.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

// The framework's messages name no file.
QString framework(StringId id, const QString&)
{
    return loadString(id);
}

} // namespace

CMyRichEdit::CMyRichEdit()
{
    m_document.setDocumentMargin(0);
    m_document.setUndoRedoEnabled(false);
    // The document's default face: the pinned CJK face at 12 points.
    QFont font(QStringLiteral("宋体"));
    font.setPointSize(12);
    // LED pixels are on or off: no smoothed edges, as on the text item's pages.
    font.setStyleStrategy(QFont::NoAntialias);
    m_document.setDefaultFont(font);
    // Laid out once for 96 dots per inch, as every page picture is; the pictures themselves
    // come and go.
    m_document.documentLayout()->setPaintDevice(&m_layoutDevice);
}

CMyRichEdit::~CMyRichEdit()
{
    waitRenderDone();
}

bool CMyRichEdit::LoadFile(const QString& path, QString* errorText)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        if (errorText)
            *errorText = framework(StringId::InvalidFileName, path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (errorText)
            *errorText = framework(StringId::OpenDocumentFailed, path);
        return false;
    }
    const QByteArray bytes = file.readAll();
    std::lock_guard lock(m_mutex);
    readRtfOrText(bytes, m_document);
    m_pages = Pages();
    return true;
}

void CMyRichEdit::LoadText(const QString& textOrRtf)
{
    std::lock_guard lock(m_mutex);
    if (textOrRtf.left(5).compare(QLatin1String("{\\rtf"), Qt::CaseInsensitive) == 0)
        readRtfOrText(textOrRtf.toUtf8(), m_document);
    else
        m_document.setPlainText(textOrRtf);
    m_pages = Pages();
}

bool CMyRichEdit::SaveFile(const QString& path, bool rich, QString* errorText)
{
    QByteArray bytes;
    {
        std::lock_guard lock(m_mutex);
        bytes = rich ? writeRtf(m_document) : m_document.toPlainText().toUtf8();
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (errorText)
            *errorText = framework(StringId::SaveDocumentFailed, path);
        return false;
    }
    return true;
}

int CMyRichEdit::SetBackgroundColor(int colorRef)
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_background, colorRef);
}

int CMyRichEdit::TextLength()
{
    std::lock_guard lock(m_mutex);
    // The characters of the text: the document counts one more, its final paragraph end.
    return std::max(0, m_document.characterCount() - 1);
}

void CMyRichEdit::SelectEnd()
{
    // Nothing shows a selection here; kept for the callers that end their edits with it.
}

void CMyRichEdit::paginate(QTextDocument& document, Pages& pages, QSize page)
{
    if (pages.size == page)
        return;
    pages.size = page;
    document.setTextWidth(page.width());
    std::vector<int>& starts = pages.starts;
    starts.assign(1, 0);
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const double pageHeight = std::max(1, page.height());
    // A page ends where a line would cross its bottom edge; that line opens the next page. A
    // line taller than a page gets a page of its own and is cut at its bottom.
    double pageTop = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QRectF blockRect = layout->blockBoundingRect(block);
        const QTextLayout* lines = block.layout();
        const bool pageBreak =
            block.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore;
        if (pageBreak && block.position() > starts.back()) {
            starts.push_back(block.position());
            pageTop = blockRect.top();
        }
        for (int i = 0; i < lines->lineCount(); ++i) {
            const QTextLine line = lines->lineAt(i);
            const double top = blockRect.top() + line.y();
            const double bottom = top + line.height();
            const int start = block.position() + line.textStart();
            if (bottom > pageTop + pageHeight + 0.01 && top > pageTop + 0.01 &&
                start > starts.back()) {
                starts.push_back(start);
                pageTop = top;
            }
        }
    }
}

int CMyRichEdit::renderDocument(QTextDocument& document, Pages& pages, QImage& surface,
                                const QRect& rect, int background, int first)
{
    QPainter painter(&surface);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.fillRect(rect, QColor::fromRgb(colorRefToRgb(background)));
    const int length = std::max(0, document.characterCount() - 1);
    if (length == 0 || first >= length || rect.isEmpty())
        return length;
    paginate(document, pages, rect.size());
    const std::vector<int>& starts = pages.starts;
    const auto found = std::upper_bound(starts.begin(), starts.end(), std::max(0, first));
    const size_t page = size_t(std::max<std::ptrdiff_t>(0, (found - starts.begin()) - 1));
    const int start = starts[page];
    const int next = page + 1 < starts.size() ? starts[page + 1] : length;
    // The page shows the lines from its start to the next page's start, nothing of either side.
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const QTextBlock firstBlock = document.findBlock(start);
    const QTextLine firstLine =
        firstBlock.layout()->lineForTextPosition(start - firstBlock.position());
    const double top =
        layout->blockBoundingRect(firstBlock).top() + (firstLine.isValid() ? firstLine.y() : 0);
    double bottom = top + rect.height();
    if (next < length) {
        const QTextBlock nextBlock = document.findBlock(next);
        const QTextLine nextLine =
            nextBlock.layout()->lineForTextPosition(next - nextBlock.position());
        bottom = std::min(bottom, layout->blockBoundingRect(nextBlock).top() +
                                      (nextLine.isValid() ? nextLine.y() : 0));
    }
    painter.setClipRect(QRectF(rect.left(), rect.top(), rect.width(), bottom - top));
    painter.translate(rect.left(), rect.top() - top);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, top, rect.width(), bottom - top);
    context.palette.setColor(QPalette::Text, Qt::black);
    layout->draw(&painter, context);
    return next;
}

int CMyRichEdit::RenderRange(QImage& surface, const QRect& rect, int background, int first,
                             int last)
{
    int next;
    {
        std::lock_guard lock(m_mutex);
        const int length = std::max(0, m_document.characterCount() - 1);
        if (last >= 0 && last < length) {
            // Only the first characters (a typed overlay): a copy that ends after them.
            std::unique_ptr<QTextDocument> part(m_document.clone());
            part->documentLayout()->setPaintDevice(&m_layoutDevice);
            QTextCursor cut(part.get());
            cut.setPosition(std::max(0, last));
            cut.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
            cut.removeSelectedText();
            Pages pages;
            next = std::min(renderDocument(*part, pages, surface, rect, background, first), last);
        } else {
            next = renderDocument(m_document, m_pages, surface, rect, background, first);
        }
        m_next = next;
    }
    {
        std::lock_guard lock(m_doneMutex);
        m_renderDone = true;
    }
    m_doneChanged.notify_all();
    return next;
}

void CMyRichEdit::RenderRangeAsync(QImage& surface, const QRect& rect, int background, int first,
                                   int last)
{
    waitRenderDone();
    {
        std::lock_guard lock(m_doneMutex);
        m_renderDone = false;
    }
    {
        std::lock_guard lock(m_mutex);
        m_next = 0;
    }
    m_worker = std::thread([this, &surface, rect, background, first, last] {
        RenderRange(surface, rect, background, first, last);
    });
}

void CMyRichEdit::waitRenderDone()
{
    {
        std::unique_lock lock(m_doneMutex);
        m_doneChanged.wait(lock, [this] { return m_renderDone; });
    }
    if (m_worker.joinable())
        m_worker.join();
}

int CMyRichEdit::nextChar()
{
    std::lock_guard lock(m_mutex);
    return m_next;
}
