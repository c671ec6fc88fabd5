#include "Players.h"

#include "GifPlayer.h"
#include "ImagePlayer.h"
#include "MarqueePlayer.h"
#include "RtfPlayer.h"
#include "TextPlayer.h"
#include "model/CAct.h"
#include "model/CPropGif.h"
#include "model/CPropImage.h"
#include "model/CPropRtf.h"
#include "model/CPropText.h"
#include "model/PlayerRegistry.h"
#include "render/pictures/CPictureEx.h"

namespace {

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

} // namespace

void Players::registerAll()
{
    PlayerRegistry::add(ItemKind::Text, &playText);
    PlayerRegistry::add(ItemKind::Rtf, &play<CPropRtf, RtfPlayer>);
    PlayerRegistry::add(ItemKind::Image, &play<CPropImage, ImagePlayer>);
    PlayerRegistry::add(ItemKind::Gif, &play<CPropGif, GifPlayer>);
    CAct::setAnimatedGifTest(IsAnimatedGif);
}
