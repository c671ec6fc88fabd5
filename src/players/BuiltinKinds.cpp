#include "BuiltinKinds.h"

#include "GifPlayer.h"
#include "ImagePlayer.h"
#include "MarqueePlayer.h"
#include "RtfPlayer.h"
#include "TextPlayer.h"
#include "VideoPlayer.h"
#include "base/FileSniff.h"
#include "model/CAct.h"
#include "model/CPropGif.h"
#include "model/CPropImage.h"
#include "model/CPropRtf.h"
#include "model/CPropText.h"
#include "model/CPropVideo.h"
#include "model/CPropWord.h"
#include "model/ItemKinds.h"
#include "render/pictures/CPictureEx.h"

#include <QFile>
#include <QFileInfo>

#include <mutex>

namespace {

template <class Item>
std::unique_ptr<CPropBase> make()
{
    return std::make_unique<Item>();
}

// A kind's player takes the item class that kind is stored as; anything else plays nothing.
template <class Item, class Player>
void play(const CPropBase& item, CAct& area)
{
    if (const auto* typed = dynamic_cast<const Item*>(&item))
        Player(*typed, area).play();
}

// A text item pages, or scrolls when its settings say so.
void playText(const CPropBase& item, CAct& area)
{
    const auto* text = dynamic_cast<const CPropText*>(&item);
    if (!text)
        return;
    if (text->marquee().direction != CPropText::Scroll::None)
        MarqueePlayer(*text, area).play();
    else
        TextPlayer(*text, area).play();
}

// A video by its first bytes, whatever its name says of the container: PNG bytes named .mp4
// (or a TypeScript file named .ts) are no video.
bool isVideoFile(const QString& path)
{
    // Never opened when it is no regular file: a pipe would block.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    return FileSniff::sniff(file.read(FileSniff::kHeadBytes)) == FileSniff::Content::Video;
}

void registerAll()
{
    // In the order files are matched: a GIF that animates is a GIF item, any other a picture.
    ItemKinds::add({"CPropText",
                    {"TXT"},
                    {},
                    &make<CPropText>,
                    &playText,
                    ItemFeatures{.paged = true, .live = true}});
    ItemKinds::add({"CPropRtf",
                    {"RTF", "DOC", "XLS", "WKS", "XLM", "XLA", "XLT", "XLL",
                     // today's office files, converted the same way
                     "DOCX", "ODT", "XLSX", "ODS"},
                    {},
                    &make<CPropRtf>,
                    &play<CPropRtf, RtfPlayer>,
                    ItemFeatures{.paged = true}});
    ItemKinds::add({"CPropGif",
                    {"GIF"},
                    &IsAnimatedGif,
                    &make<CPropGif>,
                    &play<CPropGif, GifPlayer>,
                    ItemFeatures{.animated = true, .overlays = true}});
    ItemKinds::add({"CPropImage",
                    {"BMP", "JPG", "GIF", "WMF", "ICO", "PCX", "PNG", "JPEG"},
                    {},
                    &make<CPropImage>,
                    &play<CPropImage, ImagePlayer>,
                    ItemFeatures{.overlays = true}});
    ItemKinds::add({"CPropVideo",
                    {"MP4", "M4V", "MOV", "MKV", "WEBM", "AVI", "WMV", "FLV", "MPG", "MPEG", "TS"},
                    &isVideoFile,
                    &make<CPropVideo>,
                    &play<CPropVideo, VideoPlayer>,
                    ItemFeatures{.animated = true}});
    // Only project files make it; it plays nothing.
    ItemKinds::add({"CPropWord", {}, {}, &make<CPropWord>, nullptr, {}});
}

} // namespace

void registerBuiltinKinds()
{
    static std::once_flag once;
    std::call_once(once, registerAll);
}
