#include "ItemKinds.h"

#include "CPropBase.h"
#include "ModelLog.h"

#include <deque>
#include <mutex>
#include <shared_mutex>

namespace {

struct Table
{
    std::shared_mutex mutex;
    std::deque<ItemKindInfo> kinds; // a deque: entries keep their addresses as it grows
};

Table& table()
{
    static Table instance;
    return instance;
}

bool hasExtension(const ItemKindInfo& kind, const QString& ext)
{
    for (const QString& candidate : kind.extensions)
        if (ext.compare(candidate, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

QString fileExtension(const QString& path)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? path : path.mid(dot + 1);
}

bool ItemKinds::add(ItemKindInfo info)
{
    if (info.className.isEmpty() || !info.factory) {
        qCWarning(lcModel, "item kind \"%s\" refused: it needs a class name and a factory",
                  info.className.constData());
        return false;
    }
    Table& t = table();
    std::unique_lock lock(t.mutex);
    for (const ItemKindInfo& kind : t.kinds) {
        if (kind.className == info.className) {
            qCWarning(lcModel, "item kind \"%s\" refused: it exists already",
                      info.className.constData());
            return false;
        }
    }
    t.kinds.push_back(std::move(info));
    return true;
}

const ItemKindInfo* ItemKinds::find(QByteArrayView className)
{
    Table& t = table();
    std::shared_lock lock(t.mutex);
    for (const ItemKindInfo& kind : t.kinds)
        if (QByteArrayView(kind.className) == className)
            return &kind;
    return nullptr;
}

namespace {

// The kinds whose extensions hold the path's, in the order added.
std::vector<const ItemKindInfo*> kindsByExtension(const QString& path)
{
    const QString ext = fileExtension(path);
    std::vector<const ItemKindInfo*> candidates;
    Table& t = table();
    std::shared_lock lock(t.mutex);
    for (const ItemKindInfo& kind : t.kinds)
        if (hasExtension(kind, ext))
            candidates.push_back(&kind);
    return candidates;
}

} // namespace

const ItemKindInfo* ItemKinds::forPath(const QString& path)
{
    // The tests read files: asked outside the table's lock.
    for (const ItemKindInfo* kind : kindsByExtension(path))
        if (!kind->accepts || kind->accepts(path))
            return kind;
    return nullptr;
}

bool ItemKinds::extensionPlays(const QString& path)
{
    return !kindsByExtension(path).empty();
}

std::unique_ptr<CPropBase> ItemKinds::make(QByteArrayView className)
{
    const ItemKindInfo* kind = find(className);
    return kind ? kind->factory() : nullptr;
}

std::vector<const ItemKindInfo*> ItemKinds::all()
{
    Table& t = table();
    std::shared_lock lock(t.mutex);
    std::vector<const ItemKindInfo*> kinds;
    for (const ItemKindInfo& kind : t.kinds)
        kinds.push_back(&kind);
    return kinds;
}
