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
#include <QTextLayout>

#include <algorithm>

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
    // The page shows what lies between its top and the next page's top, nothing of either side.
    painter.setClipRect(QRectF(rect.left(), rect.top(), rect.width(), page.bottom - page.top));
    painter.translate(rect.left(), rect.top() - page.top);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, page.top, rect.width(), page.bottom - page.top);
    context.palette.setColor(QPalette::Text, Qt::black);
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
