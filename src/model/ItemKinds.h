#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class CAct;
class CPropBase;

// Plays one item into the area on the play thread and returns when its showing is over or the
// area's stop event is set. The item is a copy taken for this one play.
using ItemPlayer = void (*)(const CPropBase& item, CAct& area);
// A new item of the kind, with its defaults.
using ItemFactory = std::unique_ptr<CPropBase> (*)();
// A test beyond the extension (whether a GIF animates, say); called on the GUI thread.
using ItemFileTest = std::function<bool(const QString& path)>;

// What a kind can do, declared by the kind rather than guessed by whoever shows or plays it.
struct ItemFeatures
{
    bool animated = false; // moves while a page holds (GIF frames)
    bool overlays = false; // carries text blocks drawn over its picture
    bool paged = false;    // shows its content a page at a time
    bool live = false;     // may redraw while it holds (live fields)
};

// One item kind: everything the program knows of it, keyed by the class name project files
// store. Adding a kind is one entry here, its player and its page.
struct ItemKindInfo
{
    QByteArray className;   // the stored class name: "CPropText", ...
    QStringList extensions; // file name extensions that make it, without the dot, any case
    ItemFileTest accepts;   // may be empty: every file of those extensions
    ItemFactory factory = nullptr;
    ItemPlayer player = nullptr; // null: the kind plays nothing
    ItemFeatures features;
};

// The extension of a path: the text after its last '.', or the whole path when it has none.
QString fileExtension(const QString& path);

// The table of item kinds. Filled once at start (registerBuiltinKinds() in the players), before
// any area plays or any project is read; read from any thread.
namespace ItemKinds {

// Refuses, with a log line, an entry without a class name or a factory and one whose class name
// is taken already. Entries are asked in the order they were added.
bool add(ItemKindInfo info);
// Null for a class name no kind has.
const ItemKindInfo* find(QByteArrayView className);
// The first kind (in the order added) whose extensions hold the path's and whose test takes it.
const ItemKindInfo* forPath(const QString& path);
// Whether some kind takes files of this name by its extension alone (no test asked): for names
// that have no file yet, such as uploads.
bool extensionPlays(const QString& path);
// A new item of the kind; null for an unknown class name.
std::unique_ptr<CPropBase> make(QByteArrayView className);
std::vector<const ItemKindInfo*> all();

} // namespace ItemKinds
