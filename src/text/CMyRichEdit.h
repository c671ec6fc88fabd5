#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QTextDocument>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The rich-text renderer: holds a document (RTF or plain text) and draws it page by page into
// pictures of a given size at 96 dots per inch, reporting where each page ends. Every operation
// takes the renderer's lock, so the play thread and a page-render worker never use the document
// at the same time. Needs a QGuiApplication (fonts), not a window.
class CMyRichEdit
{
public:
    CMyRichEdit();
    ~CMyRichEdit(); // waits for a running render
    CMyRichEdit(const CMyRichEdit&) = delete;
    CMyRichEdit& operator=(const CMyRichEdit&) = delete;

    // Replaces the content with the file's: RTF when it starts with "{\rtf", else plain text.
    // False with the message (string 61696 or 61697) when the file cannot be read.
    bool LoadFile(const QString& path, QString* errorText = nullptr);
    void LoadText(const QString& textOrRtf);
    // RTF (rich) or plain text; false with string 61698 when it cannot be written.
    bool SaveFile(const QString& path, bool rich, QString* errorText = nullptr);
    // The previous colour (COLORREF).
    int SetBackgroundColor(int colorRef);

    // Fills rect with the background and draws the page that starts at character `first`;
    // returns the first character that did not fit (TextLength() after the last page).
    int RenderRange(QImage& surface, const QRect& rect, int background, int first, int last = -1);
    // The same on a worker thread; the result is nextChar() once waitRenderDone() returned.
    void RenderRangeAsync(QImage& surface, const QRect& rect, int background, int first,
                          int last = -1);
    void waitRenderDone();
    int nextChar();

    int TextLength();
    void SelectEnd();

    // For tests and the RTF writer: the document, read under the lock by the caller's promise.
    QTextDocument& document() { return m_document; }

private:
    // Where each page of a document starts, for the page size they were counted for.
    struct Pages
    {
        QSize size;
        std::vector<int> starts;
    };
    int renderDocument(QTextDocument& document, Pages& pages, QImage& surface, const QRect& rect,
                       int background, int first);
    static void paginate(QTextDocument& document, Pages& pages, QSize page);

    std::mutex m_mutex;
    QImage m_layoutDevice{1, 1, QImage::Format_RGB32};
    QTextDocument m_document;
    int m_background = 0x00FFFFFF;
    int m_next = 0;
    Pages m_pages;
    // The page render running on a worker.
    std::thread m_worker;
    std::mutex m_doneMutex;
    std::condition_variable m_doneChanged;
    bool m_renderDone = true;
};
