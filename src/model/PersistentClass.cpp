#include "PersistentClass.h"

#include <array>
#include <deque>
#include <mutex>

namespace {

constexpr std::array<PersistentClass, 2> kOwnClasses{{
    {kTextBlockClass, ClassFamily::TextBlock, nullptr},
    {kSectionClass, ClassFamily::Section, nullptr},
}};

// The item classes' records, made the first time a file names them.
const PersistentClass* itemClass(const ItemKindInfo& kind)
{
    static std::mutex mutex;
    static std::deque<PersistentClass> records;
    std::lock_guard lock(mutex);
    for (const PersistentClass& c : records)
        if (c.kind == &kind)
            return &c;
    records.push_back({kind.className.constData(), ClassFamily::Item, &kind});
    return &records.back();
}

} // namespace

const PersistentClass* findPersistentClass(QByteArrayView name)
{
    for (const PersistentClass& c : kOwnClasses) {
        if (name == QByteArrayView(c.name))
            return &c;
    }
    const ItemKindInfo* kind = ItemKinds::find(name);
    return kind ? itemClass(*kind) : nullptr;
}
