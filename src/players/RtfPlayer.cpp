#include "RtfPlayer.h"

#include "PlayerFile.h"
#include "base/ColorRef.h"
#include "base/Notifications.h"
#include "base/ThreadPriority.h"
#include "model/CAct.h"
#include "model/CPropRtf.h"
#include "model/ItemKinds.h"
#include "model/PlayRandom.h"
#include "render/TransitionEngine.h"
#include "render/pictures/CMyBitmap.h"
#include "render/pictures/TransparentCopy.h"
#include "render/text/CMyRichEdit.h"
#include "render/text/OfficeConverter.h"
#include "render/text/RichEditHost.h"

#include <QJsonObject>

namespace {

bool isSpreadsheet(const QString& ext)
{
    for (const char* name : {"XLS", "WKS", "XLM", "XLA", "XLT", "XLL", "XLSX", "ODS"})
        if (ext.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool isDocument(const QString& ext)
{
    for (const char* name : {"DOC", "DOCX", "ODT"})
        if (ext.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

void RtfPlayer::play()
{
    int effect = m_item.effect;
    if (effect == 0)
        effect = PlayRandom::next() % 50 + 1;
    const QRect rect = m_area.pictureRect();
    if (rect.isEmpty())
        return;
    if (m_area.WaitStop(5))
        return;

    // Looked at before it is loaded or converted: not there, or not what its name says, is told
    // (once until it plays) and not played.
    {
        QByteArray head;
        if (!PlayerFile::read(m_item, m_area, &head, PlayerFile::Read::Head))
            return;
    }
    CMyRichEdit edit;
    RichEditHost::shared().nextControlId();
    const QString ext = fileExtension(m_item.filePath);
    // A stop ends a long load or conversion under way.
    const auto stopped = [this] { return m_area.stopRequested(); };
    // A failure is told once for this file until it changes: the item fails on every pass.
    const QString failureKey = PlayerFile::key(m_item);
    {
        // Unpaced: the other zones' steps go on meanwhile.
        const ThreadPriority::OrdinaryScope ordinary;
        if (ext.compare(QLatin1String("RTF"), Qt::CaseInsensitive) == 0) {
            QString error;
            if (edit.LoadFile(m_item.filePath, &error, stopped))
                Notifications::clear(failureKey);
            else if (!error.isEmpty())
                Notifications::postOnce(failureKey, error);
        } else if (isDocument(ext) || isSpreadsheet(ext)) {
            // Documents and spreadsheets play from their rich-text cache, converted when needed.
            QString message;
            const bool converted =
                isSpreadsheet(ext)
                    ? OfficeConverter::ConvertSpreadsheet(m_item.filePath, edit, &message, stopped)
                    : OfficeConverter::ConvertWordDocument(m_item.filePath, edit, &message,
                                                           stopped);
            if (!message.isEmpty())
                Notifications::postOnce(failureKey, message);
            else if (converted)
                Notifications::clear(failureKey);
            if (!converted) {
                m_area.WaitStop(1000);
                return;
            }
        }
    }
    // Reversed for black-on-white documents on a black wall: near greys (the page, black text)
    // turn over, colours with a hue and pictures stay.
    const bool reverse = m_item.reverseColors != 0;
    if (reverse)
        edit.ReverseColors();
    const int background =
        reverse ? rgbToColorRef(CMyRichEdit::reversedColor(colorRefToRgb(m_item.backColor)))
                : m_item.backColor;
    edit.SetBackgroundColor(background);
    if (m_area.WaitStop(1))
        return;

    QImage pages[2] = {QImage(rect.size(), QImage::Format_RGB32),
                       QImage(rect.size(), QImage::Format_RGB32)};
    CMyBitmap picture;
    const bool withPicture = !m_item.backImagePath.isEmpty() && picture.Load(m_item.backImagePath);
    const int key = background;
    QImage composed;
    if (withPicture)
        composed = QImage(rect.size(), QImage::Format_RGB32);

    const QRect page(QPoint(0, 0), rect.size());
    int first = 0;
    edit.RenderRange(pages[0], page, background, first);
    int cur = 0;
    const int length = edit.TextLength();
    int pageNumber = 0;
    while (length > 0) {
        edit.waitRenderDone();
        const int next = edit.nextChar();
        edit.RenderRangeAsync(pages[1 - cur], page, background, next);
        const QImage* shown = &pages[cur];
        if (withPicture) {
            composed.fill(colorRefToRgb(key));
            picture.DrawFitted(composed, page, m_item.backFitMode);
            TransparentCopy(composed, 0, 0, page.width(), page.height(), pages[cur], 0, 0,
                            page.width(), page.height(), key);
            shown = &composed;
        }
        // Numbers no effect has (only a project file can hold them) show the page at once.
        RunTransition(*shown, effect, m_item.speed, m_area);
        m_area.reportShown(m_item, QJsonObject{{QStringLiteral("page"), ++pageNumber},
                                               {QStringLiteral("effect"), effect},
                                               {QStringLiteral("firstChar"), first},
                                               {QStringLiteral("nextChar"), next},
                                               {QStringLiteral("textLength"), length}});
        if (m_area.WaitStop(m_item.holdTime * 100))
            break;
        cur = 1 - cur;
        first = next;
        if (next >= length)
            break;
    }
    // A page may still be rendering into a surface that goes with this play.
    edit.waitRenderDone();
}
