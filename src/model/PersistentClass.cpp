#include "PersistentClass.h"

#include <array>

namespace {

constexpr std::array<PersistentClass, 7> kClasses{{
    {"CPropText", ClassFamily::Item, ItemKind::Text},
    {"CPropRtf", ClassFamily::Item, ItemKind::Rtf},
    {"CPropImage", ClassFamily::Item, ItemKind::Image},
    {"CPropGif", ClassFamily::Item, ItemKind::Gif},
    {"CPropWord", ClassFamily::Item, ItemKind::Word},
    {kTextBlockClass, ClassFamily::TextBlock, ItemKind::Text},
    {kSectionClass, ClassFamily::Section, ItemKind::Text},
}};

} // namespace

const PersistentClass* findPersistentClass(QByteArrayView name)
{
    for (const PersistentClass& c : kClasses) {
        if (name == QByteArrayView(c.name))
            return &c;
    }
    return nullptr;
}
