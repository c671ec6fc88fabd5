#include "ItemKind.h"

#include "CPropGif.h"
#include "CPropImage.h"
#include "CPropRtf.h"
#include "CPropText.h"
#include "CPropWord.h"

#include <initializer_list>

namespace {

bool isOneOf(const QString& ext, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        if (ext.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

QString fileExtension(const QString& path)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? path : path.mid(dot + 1);
}

std::optional<ItemKind> itemKindForPath(const QString& path, const AnimatedGifTest& isAnimatedGif)
{
    const QString ext = fileExtension(path);
    if (isOneOf(ext, {"TXT"}))
        return ItemKind::Text;
    if (isOneOf(ext, {"RTF", "DOC", "XLS", "WKS", "XLM", "XLA", "XLT", "XLL"}))
        return ItemKind::Rtf;
    // Today's office files, converted the same way.
    if (isOneOf(ext, {"DOCX", "ODT", "XLSX", "ODS"}))
        return ItemKind::Rtf;
    if (isOneOf(ext, {"GIF"}) && isAnimatedGif && isAnimatedGif(path))
        return ItemKind::Gif;
    if (isOneOf(ext, {"BMP", "JPG", "GIF", "WMF", "ICO", "PCX", "PNG", "JPEG"}))
        return ItemKind::Image;
    return std::nullopt;
}

std::unique_ptr<CPropBase> makeItem(ItemKind kind)
{
    switch (kind) {
    case ItemKind::Text:
        return std::make_unique<CPropText>();
    case ItemKind::Rtf:
        return std::make_unique<CPropRtf>();
    case ItemKind::Image:
        return std::make_unique<CPropImage>();
    case ItemKind::Gif:
        return std::make_unique<CPropGif>();
    case ItemKind::Word:
        return std::make_unique<CPropWord>();
    }
    return nullptr;
}
