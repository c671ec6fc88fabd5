#include "CAct.h"

#include "app/SettingsStore.h"

namespace {

const QString kWindow = QStringLiteral("Window");

AnimatedGifTest& animatedGifTest()
{
    static AnimatedGifTest test;
    return test;
}

} // namespace

CAct::CAct()
    : posX(SettingsStore::readInt(kWindow, QStringLiteral("PosX"), 0)),
      posY(SettingsStore::readInt(kWindow, QStringLiteral("PosY"), 0)),
      ledWidth(SettingsStore::readInt(kWindow, QStringLiteral("Width"), kDefaultWidth)),
      ledHeight(SettingsStore::readInt(kWindow, QStringLiteral("Hight"), kDefaultHeight)),
      firstOffset(SettingsStore::readInt(kWindow, QStringLiteral("XY"), 0)),
      caption(std::make_unique<CMyText>())
{
}

CAct::~CAct()
{
    SaveGeometry();
    caption.reset();
    ClearItems();
    while (!sections.empty())
        sections.pop_back();
}

void CAct::SaveGeometry() const
{
    SettingsStore::writeInt(kWindow, QStringLiteral("PosX"), posX);
    SettingsStore::writeInt(kWindow, QStringLiteral("PosY"), posY);
    SettingsStore::writeInt(kWindow, QStringLiteral("Width"), ledWidth);
    SettingsStore::writeInt(kWindow, QStringLiteral("Hight"), ledHeight);
    SettingsStore::writeInt(kWindow, QStringLiteral("XY"), firstOffset);
}

int CAct::AddFile(const QString& path)
{
    const std::optional<ItemKind> kind = itemKindForPath(path, animatedGifTest());
    if (!kind)
        return -1;
    std::unique_ptr<CPropBase> item = makeItem(*kind);
    item->filePath = path;
    std::lock_guard lock(m_itemsMutex);
    m_items.push_back(std::move(item));
    return static_cast<int>(m_items.size()) - 1;
}

int CAct::itemCount() const
{
    std::lock_guard lock(m_itemsMutex);
    return static_cast<int>(m_items.size());
}

CPropBase* CAct::item(int index) const
{
    std::lock_guard lock(m_itemsMutex);
    if (index < 0 || index >= static_cast<int>(m_items.size()))
        return nullptr;
    return m_items[static_cast<size_t>(index)].get();
}

void CAct::appendItem(std::unique_ptr<CPropBase> item)
{
    std::lock_guard lock(m_itemsMutex);
    m_items.push_back(std::move(item));
}

void CAct::insertItem(int index, std::unique_ptr<CPropBase> item)
{
    std::lock_guard lock(m_itemsMutex);
    const auto size = static_cast<int>(m_items.size());
    const int at = index < 0 ? 0 : (index > size ? size : index);
    m_items.insert(m_items.begin() + at, std::move(item));
}

std::unique_ptr<CPropBase> CAct::takeItem(int index)
{
    std::lock_guard lock(m_itemsMutex);
    if (index < 0 || index >= static_cast<int>(m_items.size()))
        return nullptr;
    std::unique_ptr<CPropBase> taken = std::move(m_items[static_cast<size_t>(index)]);
    m_items.erase(m_items.begin() + index);
    return taken;
}

bool CAct::moveItem(int from, int to)
{
    std::lock_guard lock(m_itemsMutex);
    const auto size = static_cast<int>(m_items.size());
    if (from < 0 || from >= size || to < 0 || to >= size)
        return false;
    std::unique_ptr<CPropBase> moving = std::move(m_items[static_cast<size_t>(from)]);
    m_items.erase(m_items.begin() + from);
    m_items.insert(m_items.begin() + to, std::move(moving));
    return true;
}

void CAct::ClearItems()
{
    std::vector<std::unique_ptr<CPropBase>> doomed;
    {
        std::lock_guard lock(m_itemsMutex);
        doomed.swap(m_items);
    }
    while (!doomed.empty())
        doomed.pop_back();
}

void CAct::setAnimatedGifTest(AnimatedGifTest test)
{
    animatedGifTest() = std::move(test);
}
