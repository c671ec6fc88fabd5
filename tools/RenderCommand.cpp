#include "RenderCommand.h"

#include "PngWriter.h"

#include "base/SettingsStore.h"
#include "model/CAct.h"
#include "model/HeadlessSectionHost.h"
#include "render/DesktopImage.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTextStream>

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

} // namespace

int renderProject(const RenderOptions& options, QTextStream& out, QTextStream& err)
{
    HeadlessSectionHost host;
    CAct area(CAct::Binding::Detached);
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
    area.firstOffset = SettingsStore::readInt(QStringLiteral("Window"), QStringLiteral("XY"), 0);
    area.setSectionHost(&host);
    area.CreateSectionWindows();
    area.LayoutSections();
    FastForwardClock fastClock;
    if (options.fast)
        area.setClock(fastClock);
    PictureWriter writer(area, host, dir, log);
    area.setPlayObserver(&writer);

    for (int loop = 0; loop < options.loops; ++loop) {
        for (int i = 0; i < area.itemCount(); ++i) {
            CPropBase* item = area.item(i);
            writer.setItemIndex(i);
            area.currentIndex = i;
            area.currentItem = item;
            item->Play(area);
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
