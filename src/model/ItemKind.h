#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class CPropBase;

enum class ItemKind
{
    Text,
    Rtf,
    Image,
    Gif,
    Word,
};

// Reports whether a file is an animated GIF. Filled in by the GIF reader; until then no file is.
using AnimatedGifTest = std::function<bool(const QString& path)>;

// The extension of a path: the text after its last '.', or the whole path when it has none.
QString fileExtension(const QString& path);

// The kind of item a file name makes, in the order of the tests: text, rich text (documents and
// spreadsheets included), animated GIF, picture. Nothing for a name no kind accepts.
std::optional<ItemKind> itemKindForPath(const QString& path, const AnimatedGifTest& isAnimatedGif);

// A new item of the kind with its defaults.
std::unique_ptr<CPropBase> makeItem(ItemKind kind);
