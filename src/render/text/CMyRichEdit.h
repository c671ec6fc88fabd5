#pragma once

#include "RenderThread.h"
#include "RichTextPages.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>

class QTextDocument;

// The rich-text renderer: holds a document (RTF or plain text) and draws it page by page into
// pictures of a given size at 96 dots per inch, reporting where each page ends. The document is
// built, laid out, drawn and destroyed on the renderer's own thread, which lives as long as the
// renderer: Qt's font data belongs to the thread that loaded it. Every operation may be called
// from any one thread at a time (the play thread); it runs on the renderer's thread and waits,
// except RenderRangeAsync. Needs a QGuiApplication (fonts), not a window.
class CMyRichEdit
{
public:
    // Called now and then during a long load; true abandons it (the play loop's stop).
    using StopCheck = std::function<bool()>;

    CMyRichEdit();
    ~CMyRichEdit(); // waits for a running render
    CMyRichEdit(const CMyRichEdit&) = delete;
    CMyRichEdit& operator=(const CMyRichEdit&) = delete;

    // Replaces the content with the file's: RTF when it starts with "{\rtf", else plain text in
    // the charset it is written in. False with the message (string 61696 or 61697) when the file
    // cannot be read; false without one when `stop` ended the load (the content is then empty).
    bool LoadFile(const QString& path, QString* errorText = nullptr, const StopCheck& stop = {});
    void LoadText(const QString& textOrRtf);
    // The same from bytes already read; false when `stop` ended the load.
    bool LoadData(const QByteArray& bytes, const StopCheck& stop = {});
    // RTF (rich) or plain text; false with string 61698 when it cannot be written.
    bool SaveFile(const QString& path, bool rich, QString* errorText = nullptr);
    // The previous colour (COLORREF).
    int SetBackgroundColor(int colorRef);
    // For black-on-white documents on a black wall: every colour of the text, its backgrounds
    // and table borders that is near grey has its lightness turned over (black and near-black
    // text turns white, a white page black); colours with a hue keep it, pictures are left alone.
    // Text with no colour of its own is drawn white from then on.
    void ReverseColors();
    // The colour ReverseColors() gives `rgb`: lightness turned over for near greys, else `rgb`.
    static QRgb reversedColor(QRgb rgb);

    // Fills rect with the background and draws the page that starts at character `first`;
    // returns the first character that did not fit (TextLength() after the last page).
    int RenderRange(QImage& surface, const QRect& rect, int background, int first, int last = -1);
    // The same on the renderer's thread, returning at once; the result is nextChar() once
    // waitRenderDone() returned. The surface must stay until then.
    void RenderRangeAsync(QImage& surface, const QRect& rect, int background, int first,
                          int last = -1);
    void waitRenderDone();
    int nextChar();

    int TextLength();

    // The text without its formatting (tests, diagnostics).
    QString plainText();
    // Runs `work` with the document on the renderer's thread (the RTF writer, tests).
    void withDocument(const std::function<void(QTextDocument&)>& work);

private:
    int render(QImage& surface, const QRect& rect, int background, int first, int last);
    int renderDocument(QTextDocument& document, RichTextPages& pages, QImage& surface,
                       const QRect& rect, int background, int first);

    // Touched only on m_thread.
    QImage m_layoutDevice{1, 1, QImage::Format_RGB32};
    std::unique_ptr<QTextDocument> m_document;
    RichTextPages m_pages;
    int m_background = 0x00FFFFFF;
    bool m_reversed = false;
    // Written on m_thread, read by the caller after waitRenderDone().
    int m_next = 0;
    // Whether the last load failed for want of memory (written in a job the caller waits for).
    bool m_outOfMemory = false;
    // Last member: made after the rest; the destructor removes the document on it before it ends.
    RenderThread m_thread;
};
