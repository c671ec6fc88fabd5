#include "RenderCommand.h"

#include "PngWriter.h"

#include "base/SettingsStore.h"
#include "model/CAct.h"
#include "model/HeadlessSectionHost.h"
#include "model/Schedule.h"
#include "render/DesktopImage.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTextStream>

#include <functional>
#include <optional>

namespace {

// Writes each picture shown and its log line.
class PictureWriter final : public PlayObserver
{
public:
    PictureWriter(CAct& area, const HeadlessSectionHost& host, const QDir& dir, QFile& log)
        : m_area(area), m_host(host), m_dir(dir), m_log(log)
    {
        m_elapsed.start();
    }

    void pictureShown(const CPropBase& item, const QJsonObject& details) override
    {
        const QString name = QStringLiteral("%1.png").arg(++m_count, 4, 10, QLatin1Char('0'));
        m_pictures.write(composeDesktop(m_area, m_host), m_dir.filePath(name));
        QJsonObject line = details;
        line.insert(QStringLiteral("file"), name);
        line.insert(QStringLiteral("item"), m_itemIndex);
        line.insert(QStringLiteral("class"), QLatin1String(item.className()));
        line.insert(QStringLiteral("elapsedMs"), m_elapsed.elapsed());
        m_log.write(QJsonDocument(line).toJson(QJsonDocument::Compact));
        m_log.write("\n");
    }

    void itemSkipped(const CPropBase&, int index, const char* reason) override
    {
        const QJsonObject line{{QStringLiteral("phase"), QStringLiteral("skipped")},
                               {QStringLiteral("item"), index},
                               {QStringLiteral("reason"), QLatin1String(reason)}};
        m_log.write(QJsonDocument(line).toJson(QJsonDocument::Compact));
        m_log.write("\n");
    }

    // A picture at a moment of play time, whatever is playing.
    void tick(qint64 timeMs)
    {
        const QString name = QStringLiteral("%1.png").arg(++m_count, 4, 10, QLatin1Char('0'));
        m_pictures.write(composeDesktop(m_area, m_host), m_dir.filePath(name));
        QJsonObject line{{QStringLiteral("phase"), QStringLiteral("tick")},
                         {QStringLiteral("timeMs"), timeMs},
                         {QStringLiteral("file"), name},
                         {QStringLiteral("item"), m_itemIndex}};
        m_log.write(QJsonDocument(line).toJson(QJsonDocument::Compact));
        m_log.write("\n");
    }

    void setItemIndex(int index) { m_itemIndex = index; }
    int count() const { return m_count; }
    // Waits for the pictures still being written; false when one could not be.
    bool finish() { return m_pictures.finish(); }

private:
    CAct& m_area;
    const HeadlessSectionHost& m_host;
    QDir m_dir;
    QFile& m_log;
    QElapsedTimer m_elapsed; // since the render began
    int m_count = 0;
    int m_itemIndex = 0;
    PngQueue m_pictures;
};

// A clock that passes every tick of play time on its way to a deadline, for the pictures of
// --every: the picture at a tick is what the sections show at that moment.
class TickingClock final : public WaitClock
{
public:
    TickingClock(WaitClock& base, std::chrono::milliseconds every,
                 std::function<void(qint64)> onTick)
        : m_base(base), m_every(every), m_onTick(std::move(onTick)), m_start(base.now()),
          m_next(m_start + every)
    {}

    TimePoint now() override { return m_base.now(); }
    void waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                   TimePoint deadline) override
    {
        while (m_next <= deadline) {
            m_base.waitUntil(cv, lock, m_next);
            if (m_base.now() < m_next)
                return; // woken early: the waiter looks at its events first
            m_onTick(
                std::chrono::duration_cast<std::chrono::milliseconds>(m_next - m_start).count());
            m_next += m_every;
        }
        m_base.waitUntil(cv, lock, deadline);
    }

private:
    WaitClock& m_base;
    const std::chrono::milliseconds m_every;
    const std::function<void(qint64)> m_onTick;
    const TimePoint m_start;
    TimePoint m_next;
};

} // namespace

int renderProject(const RenderOptions& options, QTextStream& out, QTextStream& err)
{
    HeadlessSectionHost host;
    CAct area;
    QString error;
    if (!area.LoadProject(options.projectPath, &error)) {
        err << error << Qt::endl;
        return 1;
    }
    if (!QDir().mkpath(options.outDir)) {
        err << options.outDir << ": cannot make the folder" << Qt::endl;
        return 1;
    }
    const QDir dir(options.outDir);
    QFile log(dir.filePath(QStringLiteral("log.jsonl")));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        err << log.fileName() << ": " << log.errorString() << Qt::endl;
        return 1;
    }

    // Laid out as the program lays them out: "Pos" from the settings store.
    area.changeSettings([&](AreaSettings& s) {
        s.firstOffset = SettingsStore::readInt(QStringLiteral("Window"), QStringLiteral("XY"), 0);
    });
    area.setSectionHost(&host);
    area.CreateSectionWindows();
    area.LayoutSections();
    FastForwardClock fastClock;
    WaitClock& clock = options.fast ? static_cast<WaitClock&>(fastClock)
                                    : static_cast<WaitClock&>(SteadyWaitClock::instance());
    area.setClock(clock);
    PictureWriter writer(area, host, dir, log);
    area.setPlayObserver(&writer);
    std::optional<TickingClock> ticking;
    if (options.everyMs > 0) {
        ticking.emplace(clock, std::chrono::milliseconds(options.everyMs),
                        [&writer](qint64 timeMs) { writer.tick(timeMs); });
        area.setClock(*ticking);
    }
    if (options.wallClock.isValid())
        area.setWallClockStart(options.wallClock);

    // With zones, what no zone covers shows the background; each item plays in its zone, one
    // after the other.
    if (!area.zones().empty())
        area.fillBackground();
    for (int loop = 0; loop < options.loops; ++loop) {
        for (int i = 0; i < area.itemCount(); ++i) {
            CPropBase* item = area.item(i);
            CAct& zoneArea = area.areaFor(*item);
            writer.setItemIndex(i);
            zoneArea.setCurrent(i);
            // As the play loop does: an item outside its schedule is passed over.
            if (!Schedule::of(*item).allows(area.wallTime())) {
                area.reportSkipped(*item, i, "schedule");
                continue;
            }
            item->Play(zoneArea);
        }
    }
    area.setPlayObserver(nullptr);
    if (!writer.finish()) {
        err << options.outDir << ": could not write every picture" << Qt::endl;
        return 1;
    }
    out << writer.count() << " pictures written to " << QDir::toNativeSeparators(options.outDir)
        << Qt::endl;
    return 0;
}
