#include "CAct.h"

#include "ItemSettings.h"
#include "ModelLog.h"
#include "ProjectFile.h"
#include "SectionHost.h"
#include "base/ColorRef.h"
#include "canvas/BackBuffer.h"
#include "canvas/SectionLayout.h"

CAct::CAct() : m_caption(std::make_unique<CMyText>()) {}

CAct::CAct(CAct& parent, int zoneIndex)
    : m_zoneParent(&parent), m_zoneIndex(zoneIndex), m_caption(std::make_unique<CMyText>())
{
    m_hub.setClock(parent.clock());
    m_observer.store(parent.m_observer.load());
    m_refreshMilliHz.store(parent.refreshMilliHz());
}

CAct::~CAct()
{
    Stop();
    m_zoneAreas.clear();
    // The play thread has ended: nobody reports to the observer any more.
    m_observer.store(nullptr);
    ClearItems();
    ClearSections();
}

void CAct::setPlayObserver(PlayObserver* observer)
{
    // The play thread reads it without a lock: it changes only while no thread runs.
    Q_ASSERT(!hasPlayThread());
    m_observer.store(observer, std::memory_order_release);
    for (const auto& zone : m_zoneAreas)
        zone->m_observer.store(observer, std::memory_order_release);
}

void CAct::setSyncGate(SyncGate* gate)
{
    Q_ASSERT(!hasPlayThread());
    m_syncGate.store(gate, std::memory_order_release);
}

bool CAct::enterStep(int& effect, WaitClock::TimePoint& at)
{
    at = clock().now();
    SyncGate* gate = itemsOwner().m_syncGate.load(std::memory_order_acquire);
    // A page's preview plays on this wall alone.
    if (!gate || m_keepCurrentOnce.load())
        return false;
    SyncStep step{m_zoneIndex, m_currentIndex.load(), m_stepInItem++, effect};
    switch (gate->enter(*this, step, at)) {
    case SyncGate::Entry::Go:
        effect = step.effect;
        return false;
    case SyncGate::Entry::Stop:
        return true;
    case SyncGate::Entry::Switch:
        // Ends the item as a stop would; the loop plays the group's item next (Advance).
        m_syncNext.store(step.item);
        m_stopEvent.set();
        return true;
    }
    return false;
}

void CAct::Play()
{
    if (!m_zones.empty() && !hasPlayThread())
        fillBackground();
    forEachLoop([](PlayLoop& loop) { loop.Play(); });
}

void CAct::Pause()
{
    forEachLoop([](PlayLoop& loop) { loop.Pause(); });
}

void CAct::Stop()
{
    // Every zone is told at once, then waited for.
    forEachLoop([](PlayLoop& loop) { loop.tellStop(); });
    forEachLoop([](PlayLoop& loop) { loop.Stop(); });
}

bool CAct::StopWithin(std::chrono::milliseconds timeout)
{
    // Every zone is told at once; together they get the time one would.
    forEachLoop([](PlayLoop& loop) { loop.tellStop(); });
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool stopped = true;
    forEachLoop([&](PlayLoop& loop) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        stopped = loop.StopWithin(std::max(left, std::chrono::milliseconds(0))) && stopped;
    });
    return stopped;
}

bool CAct::stopPending() const
{
    bool pending = false;
    forEachLoop([&](const PlayLoop& loop) { pending = pending || loop.stopPending(); });
    return pending;
}

bool CAct::hasPlayThread() const
{
    bool any = false;
    forEachLoop([&](const PlayLoop& loop) { any = any || loop.hasThread(); });
    return any;
}

bool CAct::playProgressing(std::chrono::nanoseconds grace) const
{
    bool progressing = true;
    forEachLoop(
        [&](const PlayLoop& loop) { progressing = progressing && loop.progressing(grace); });
    return progressing;
}

void CAct::setClock(WaitClock& clock)
{
    for (CAct* area : zonesAndThis())
        area->m_hub.setClock(clock);
}

void CAct::setRefreshMilliHz(int milliHz)
{
    m_refreshMilliHz.store(milliHz > 0 ? milliHz : 60000);
    for (const auto& zone : m_zoneAreas)
        zone->setRefreshMilliHz(milliHz);
}

bool CAct::playsItem(const CPropBase& item) const
{
    // The zones change only while nothing plays: read without a lock.
    const CAct& owner = itemsOwner();
    if (owner.m_zones.empty())
        return true;
    // A page, or the item moved to another zone, may write its settings meanwhile.
    std::lock_guard lock(item.fieldsMutex());
    return AreaZones::zoneOf(item, int(owner.m_zones.size())) == m_zoneIndex;
}

std::vector<CAct*> CAct::zonesAndThis()
{
    std::vector<CAct*> all{this};
    for (const auto& zone : m_zoneAreas)
        all.push_back(zone.get());
    return all;
}

namespace {
thread_local int t_playThreadZone = 0;
} // namespace

int CAct::playThreadZone()
{
    return t_playThreadZone;
}

void CAct::setPlayThreadZone(int zone)
{
    t_playThreadZone = zone;
}

CAct& CAct::zoneArea(int zone)
{
    return zone >= 1 && zone <= int(m_zoneAreas.size()) ? *m_zoneAreas[size_t(zone - 1)] : *this;
}

const CAct& CAct::zoneArea(int zone) const
{
    return zone >= 1 && zone <= int(m_zoneAreas.size()) ? *m_zoneAreas[size_t(zone - 1)] : *this;
}

CAct& CAct::areaFor(const CPropBase& item)
{
    for (const auto& zone : m_zoneAreas)
        if (zone->playsItem(item))
            return *zone;
    return *this;
}

void CAct::makeZoneAreas()
{
    Q_ASSERT(!m_zoneParent && !hasPlayThread());
    m_zoneAreas.clear();
    for (int k = 1; k < int(m_zones.size()); ++k)
        m_zoneAreas.push_back(std::unique_ptr<CAct>(new CAct(*this, k)));
}

void CAct::fillBackground()
{
    std::shared_lock sections(m_sectionsMutex);
    for (const auto& section : m_sections) {
        std::lock_guard sectionLock(section->renderChild->sectionMutex);
        section->renderChild->Blank(colorRefToRgb(m_settings.backColor));
    }
}

void CAct::playFrom(int index)
{
    CPropBase* item = this->item(index);
    if (!item)
        return;
    if (!m_zones.empty() && !hasPlayThread())
        fillBackground();
    // The zone's area plays from the item; the others play on, or start where they stand.
    CAct& zone = areaFor(*item);
    zone.m_currentIndex.store(index);
    zone.m_loop.SetCurrent(item, false);
    for (CAct* other : zonesAndThis())
        if (other != &zone && !other->isPlaying())
            other->m_loop.Play();
}

void CAct::playAllFrom(int index)
{
    Q_ASSERT(!m_zoneParent);
    CPropBase* from = item(index);
    if (m_zones.empty()) {
        playFrom(from ? index : 0);
        return;
    }
    if (!hasPlayThread())
        fillBackground();
    // Each zone's first item, the list read once.
    std::vector<int> starts(m_zones.size(), -1);
    for (int i = itemCount() - 1; i >= 0; --i)
        if (const CPropBase* candidate = item(i))
            starts[size_t(AreaZones::zoneOf(*candidate, int(m_zones.size())))] = i;
    if (from)
        starts[size_t(AreaZones::zoneOf(*from, int(m_zones.size())))] = index;
    const std::vector<CAct*> zones = zonesAndThis();
    for (size_t k = 0; k < zones.size(); ++k) {
        if (starts[k] < 0)
            continue; // a zone without items shows the background
        zones[k]->m_currentIndex.store(starts[k]);
        zones[k]->m_loop.SetCurrent(item(starts[k]), false);
    }
}

void CAct::setCurrent(int index)
{
    Q_ASSERT(!isPlaying());
    m_currentIndex.store(index);
    m_currentItem.store(item(index));
}

bool CAct::SaveProject(const QString& path, QString* errorText)
{
    return saveProjectFile(*this, path, errorText);
}

bool CAct::LoadProject(const QString& path, QString* errorText)
{
    // Nothing may play, and no window may stay, on records the new project replaces.
    Stop();
    ClearSections();
    return loadProjectFile(*this, path, errorText);
}

bool CAct::checkProjectFile(const QString& path, QString* why)
{
    return ::checkProjectFile(path, why);
}

bool CAct::checkProjectShape(const QString& path, QString* why) const
{
    return ::checkProjectShape(*this, path, why);
}

namespace {

// The string fields that name files: by their stored names, so that a path field a kind adds
// is found without a list to keep.
class PathFields final : public FieldVisitor
{
public:
    void integer(const char*, int&) override {}
    void string(const char* name, QString& value) override
    {
        if (QByteArrayView(name).endsWith("Path") && !value.isEmpty())
            paths << value;
    }
    void rect(const char*, WinRect&) override {}
    void textBlocks(const char*, std::vector<std::unique_ptr<CMyText>>&) override {}

    QStringList paths;
};

} // namespace

QStringList CAct::namedFiles() const
{
    PathFields fields;
    for (int i = 0; i < itemCount(); ++i) {
        if (const CPropBase* found = item(i))
            found->lockedClone()->Serialize(fields);
    }
    return fields.paths;
}

void CAct::SerializeSettings(FieldVisitor& v)
{
    // The reader writes into them while nothing plays: the area is being read, not shown.
    AreaSettings& s = m_settings;
    v.integer("splitMode", s.splitMode);
    v.integer("reserved1", s.reserved1);
    v.integer("frameLines", s.frameLines);
    v.integer("frameColor", s.frameColor);
    v.integer("posX", s.posX);
    v.integer("posY", s.posY);
    v.integer("ledWidth", s.ledWidth);
    v.integer("ledHeight", s.ledHeight);
    v.integer("backColor", s.backColor);
    v.integer("manualPlay", s.manualPlay);
    m_manualPlay.store(s.manualPlay); // a reader may have written it
}

void CAct::setSettings(const AreaSettings& settings)
{
    std::unique_lock lock(m_sectionsMutex);
    m_settings = settings;
    m_manualPlay.store(settings.manualPlay);
}

std::vector<AreaZone> CAct::zones() const
{
    std::shared_lock lock(m_sectionsMutex);
    return m_zones;
}

bool CAct::setZones(std::vector<AreaZone> zones, QString* why)
{
    Q_ASSERT(!hasPlayThread());
    const QSize led(m_settings.ledWidth, m_settings.ledHeight);
    const QString refused = AreaZones::check(zones, led);
    if (!refused.isEmpty()) {
        if (why)
            *why = refused;
        return false;
    }
    if (AreaZones::isWhole(zones, led))
        zones.clear();
    {
        std::unique_lock lock(m_sectionsMutex);
        m_zones = std::move(zones);
    }
    makeZoneAreas();
    return true;
}

void CAct::takeStoredZones()
{
    CPropBase* first = item(0);
    if (!first)
        return;
    const QJsonValue stored = ItemSettings::read(*first).value(AreaZones::kZonesKey);
    if (stored.isUndefined())
        return;
    std::vector<AreaZone> read;
    QString why;
    if (!AreaZones::fromJson(stored, &read, &why) || !setZones(std::move(read), &why)) {
        qCWarning(lcModel) << "the project's zones are not used:" << why;
        return;
    }
    ItemSettings::write(*first, AreaZones::kZonesKey, QJsonValue());
}

bool CAct::manualPlay() const
{
    if (m_zoneParent)
        return m_zoneParent->manualPlay();
    return m_manualPlay.load(std::memory_order_relaxed) != 0;
}

namespace {

// The addresses of an area's stored settings, in their stored order.
class SettingFields final : public FieldVisitor
{
public:
    void integer(const char*, int& value) override { fields.push_back(&value); }
    void string(const char*, QString&) override {}
    void rect(const char*, WinRect&) override {}
    void textBlocks(const char*, std::vector<std::unique_ptr<CMyText>>&) override {}

    std::vector<int*> fields;
};

} // namespace

void CAct::takeProject(CAct& other)
{
    Q_ASSERT(!hasPlayThread() && !other.hasPlayThread());
    SettingFields mine;
    SettingFields theirs;
    SerializeSettings(mine);
    other.SerializeSettings(theirs);
    {
        std::scoped_lock lock(m_sectionsMutex, m_itemsMutex, other.m_itemsMutex);
        for (size_t i = 0; i < mine.fields.size(); ++i)
            *mine.fields[i] = *theirs.fields[i];
        m_manualPlay.store(m_settings.manualPlay);
        m_caption.swap(other.m_caption);
        // The sections that go take their windows with them: no window outlives its record.
        if (m_sectionHost) {
            for (const auto& section : m_sections)
                m_sectionHost->destroyWindow(*section);
        }
        m_sections.swap(other.m_sections);
        m_items.swap(other.m_items);
        m_zones.swap(other.m_zones);
        m_currentItem.store(nullptr);
    }
    makeZoneAreas();
}

std::unique_ptr<CPropBase> CAct::makeItemForFile(const QString& path)
{
    const ItemKindInfo* kind = ItemKinds::forPath(path);
    if (!kind)
        return nullptr;
    std::unique_ptr<CPropBase> item = kind->factory();
    item->filePath = path;
    return item;
}

int CAct::AddFile(const QString& path)
{
    std::unique_ptr<CPropBase> item = makeItemForFile(path);
    if (!item)
        return -1;
    appendItem(std::move(item));
    return itemCount() - 1;
}

int CAct::itemCount() const
{
    if (m_zoneParent)
        return m_zoneParent->itemCount();
    std::lock_guard lock(m_itemsMutex);
    return static_cast<int>(m_items.size());
}

CPropBase* CAct::item(int index) const
{
    if (m_zoneParent)
        return m_zoneParent->item(index);
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
    // The player of the item's zone may hold it; the other zones' threads reach items only under
    // the list's lock, and never this one.
    Q_ASSERT(!areaFor(*m_items[size_t(index)]).m_loop.hasThread());
    std::unique_ptr<CPropBase> taken = std::move(m_items[static_cast<size_t>(index)]);
    m_items.erase(m_items.begin() + index);
    // A later Play must not reach the item through the current slot, nor a zone's; an index
    // after it moves up with its item.
    for (CAct* area : zonesAndThis()) {
        CPropBase* expected = taken.get();
        area->m_currentItem.compare_exchange_strong(expected, nullptr);
        if (area->m_currentIndex.load() > index)
            area->m_currentIndex.fetch_sub(1);
    }
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
    // The current index follows its item, so the loop goes on from where that item is now;
    // every zone's alike.
    for (CAct* area : zonesAndThis()) {
        std::atomic<int>& index = area->m_currentIndex;
        const int current = index.load();
        if (current == from)
            index.store(to);
        else if (from < current && current <= to)
            index.store(current - 1);
        else if (to <= current && current < from)
            index.store(current + 1);
    }
    return true;
}

void CAct::ClearItems()
{
    Q_ASSERT(!hasPlayThread());
    std::vector<std::unique_ptr<CPropBase>> doomed;
    {
        std::lock_guard lock(m_itemsMutex);
        doomed.swap(m_items);
        m_currentItem.store(nullptr);
    }
    while (!doomed.empty())
        doomed.pop_back();
}

void CAct::setWallClockStart(const QDateTime& start)
{
    std::lock_guard lock(m_wallMutex);
    m_wallStart = start;
    m_wallStartAt = clock().now();
}

QDateTime CAct::wallTime() const
{
    if (m_zoneParent)
        return m_zoneParent->wallTime();
    std::lock_guard lock(m_wallMutex);
    if (!m_wallStart.isValid())
        return QDateTime::currentDateTime();
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(clock().now() - m_wallStartAt);
    return m_wallStart.addMSecs(elapsed.count());
}

QString CAct::sectionTitle(const char* format, int index) const
{
    return QString::fromUtf8(format).arg(index + 1);
}

SectionRecord* CAct::AddSection(int index, int length, int pos)
{
    auto section = std::make_unique<SectionRecord>(index, length, pos);
    SectionRecord* added = section.get();
    {
        std::unique_lock lock(m_sectionsMutex);
        m_sections.push_back(std::move(section));
    }
    if (m_sectionHost)
        m_sectionHost->createWindow(*added, sectionTitle("[显示段%1]", index));
    return added;
}

void CAct::CreateSectionWindows()
{
    if (!m_sectionHost)
        return;
    for (size_t i = 0; i < m_sections.size(); ++i)
        m_sectionHost->createWindow(*m_sections[i], sectionTitle("[Led%1]", static_cast<int>(i)));
}

void CAct::ClearSections()
{
    std::unique_lock lock(m_sectionsMutex);
    while (!m_sections.empty()) {
        if (m_sectionHost)
            m_sectionHost->destroyWindow(*m_sections.back());
        m_sections.pop_back();
    }
}

void CAct::BlankSections()
{
    std::shared_lock lock(m_sectionsMutex);
    for (const auto& section : m_sections) {
        std::lock_guard sectionLock(section->renderChild->sectionMutex);
        section->renderChild->Blank(qRgb(0, 0, 0));
    }
}

void CAct::LayoutSections()
{
    // The players read the section records and their sizes under the shared lock.
    std::unique_lock lock(m_sectionsMutex);
    const int count = static_cast<int>(m_sections.size());
    for (int k = 0; k < count; ++k) {
        SectionRecord& section = *m_sections[static_cast<size_t>(k)];
        section.backColor = m_settings.backColor;
        section.frameColor = m_settings.frameColor;
        section.frameLines = m_settings.frameLines;
        section.splitMode = m_settings.splitMode;
        const QRect geometry = SectionWindowRect(k);
        const QRect child = SectionLayout::childRect(geometry.size(), m_settings.frameLines, count,
                                                     section.sectionIndex, m_settings.splitMode);
        section.renderChild->setFillColor(m_settings.backColor);
        section.renderChild->setClientSize(child.size());
        if (m_sectionHost)
            m_sectionHost->placeWindow(section, geometry, child);
    }
}

QRect CAct::SectionWindowRect(int k) const
{
    const SectionRecord& section = *m_sections[static_cast<size_t>(k)];
    return SectionLayout::windowRect(m_settings.splitMode, m_settings.firstOffset,
                                     m_settings.ledWidth, m_settings.ledHeight, k,
                                     section.sectionLength, section.sectionPos);
}

QRect CAct::DesktopRect() const
{
    QRect all;
    for (int k = 0; k < static_cast<int>(m_sections.size()); ++k)
        all |= SectionWindowRect(k);
    return all;
}

void CAct::ShowSections(bool show)
{
    if (!m_sectionHost)
        return;
    for (const auto& section : m_sections)
        m_sectionHost->showWindow(*section, show);
}

bool CAct::SectionsVisible() const
{
    return m_sectionHost && !m_sections.empty() &&
           m_sectionHost->isWindowVisible(*m_sections.front());
}

QRect CAct::pictureRect() const
{
    std::shared_lock lock(sectionsMutex());
    return sections().empty() ? QRect() : QRect(QPoint(0, 0), zoneRectLocked().size());
}

QRect CAct::zoneRectLocked() const
{
    const QRect total = TotalRect();
    const std::vector<AreaZone>& zones = itemsOwner().m_zones;
    if (zones.empty() || m_zoneIndex >= int(zones.size()))
        return total;
    return zones[size_t(m_zoneIndex)].rect & total;
}

QRect CAct::TotalRect() const
{
    // As SectionLayout::totalSize counts it (the first section across, all of them along),
    // without a list: players ask once a step.
    const bool stacked = SectionLayout::splitsHeight(settings().splitMode);
    QSize total(0, 0);
    bool first = true;
    forEachBand([&](SectionRecord&, const QRect& band) {
        if (first)
            total = band.size();
        else if (stacked)
            total.rheight() += band.height();
        else
            total.rwidth() += band.width();
        first = false;
    });
    return QRect(QPoint(0, 0), total);
}

bool CAct::WaitStop(int ms)
{
    WaitClock::TimePoint deadline = clock().now() + std::chrono::milliseconds(ms);
    return WaitStopUntil(deadline);
}

void CAct::adoptSection(std::unique_ptr<SectionRecord> section)
{
    std::unique_lock lock(m_sectionsMutex);
    m_sections.push_back(std::move(section));
}

bool CAct::setSectionPlace(int k, int length, int pos)
{
    std::unique_lock lock(m_sectionsMutex);
    if (k < 0 || k >= static_cast<int>(m_sections.size()))
        return false;
    m_sections[static_cast<size_t>(k)]->sectionLength = length;
    m_sections[static_cast<size_t>(k)]->sectionPos = pos;
    return true;
}
