#include "ProjectFile.h"

#include "ArchiveReader.h"
#include "ArchiveWriter.h"
#include "CAct.h"
#include "ItemSettings.h"
#include "base/FileSniff.h"
#include "base/SafeFile.h"
#include "base/StringTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr qint64 kMaxProjectBytes = 256 * 1024 * 1024;

void setError(QString* errorText, StringId id, const QString& path)
{
    if (!errorText)
        return;
    *errorText = withPath(loadString(id), path);
}

} // namespace

QByteArray projectToBytes(CAct& area)
{
    QByteArray bytes;
    ArchiveWriter writer(bytes);
    area.SerializeSettings(writer);
    area.caption().Serialize(writer);
    const int itemCount = area.itemCount();
    writer.writeCount(static_cast<quint32>(itemCount));
    const std::vector<AreaZone> zones = area.zones();
    for (int i = 0; i < itemCount; ++i) {
        CPropBase& item = *area.item(i);
        if (i > 0 || zones.empty()) {
            writer.writeItem(item);
            continue;
        }
        // The zones go with whichever item is first now.
        std::unique_ptr<CPropBase> first = item.lockedClone();
        ItemSettings::write(*first, AreaZones::kZonesKey, AreaZones::toJson(zones));
        writer.writeItem(*first);
    }
    writer.writeCount(static_cast<quint32>(area.sections().size()));
    for (const auto& section : area.sections())
        writer.writeSection(*section);
    return bytes;
}

bool projectFromBytes(CAct& area, QByteArrayView bytes, const QString& path, QString* errorText,
                      bool zones)
{
    // Read into a detached area first: the real one never holds a half-read object.
    CAct loaded;
    ArchiveReader reader(bytes);
    loaded.SerializeSettings(reader);
    loaded.caption().Serialize(reader);
    const quint32 itemCount = reader.readCount();
    for (quint32 i = 0; i < itemCount && !reader.failed(); ++i) {
        // A null reference leaves no empty slot behind.
        if (std::unique_ptr<CPropBase> item = reader.readItem())
            loaded.appendItem(std::move(item));
    }
    const quint32 sectionCount = reader.readCount();

    for (quint32 i = 0; i < sectionCount && !reader.failed(); ++i) {
        if (std::unique_ptr<SectionRecord> section = reader.readSection())
            loaded.adoptSection(std::move(section));
    }
    if (!reader.failed() && zones)
        loaded.takeStoredZones();
    if (reader.failed()) {
        area.ClearItems();
        area.ClearSections(); // with their windows: none may outlive its record
        setError(errorText, reader.error(), path);
        return false;
    }
    area.takeProject(loaded);
    return true;
}

QString zonesNotStorable(const CAct& area)
{
    if (area.zones().empty())
        return {};
    const CPropBase* first = area.item(0);
    if (!first)
        return dialogText("The zones are kept with the first item: add an item before saving.",
                          "分区随第一个项目保存：请先添加项目再保存。");
    if (!ItemSettings::write(*first->lockedClone(), AreaZones::kZonesKey, QJsonArray()))
        return dialogText("The zones cannot be kept: the first item's settings are not ours.",
                          "无法保存分区：第一个项目的设置不是本程序的。");
    return {};
}

bool saveProjectFile(CAct& area, const QString& path, QString* errorText)
{
    // Saved without its zones, the project would play otherwise: refused, nothing written.
    if (const QString why = zonesNotStorable(area); !why.isEmpty()) {
        if (errorText)
            *errorText = why;
        return false;
    }
    const QByteArray bytes = projectToBytes(area);
    const SafeFile::Error error = SafeFile::write(path, bytes);
    if (error != SafeFile::Error::None) {
        setError(errorText, SafeFile::messageId(error), path);
        return false;
    }
    return true;
}

bool loadProjectFile(CAct& area, const QString& path, QString* errorText)
{
    // Projects are small: one larger than the limit is no project, and reading it whole could
    // ask for more memory than there is.
    QByteArray bytes;
    switch (SafeFile::readAll(path, &bytes, kMaxProjectBytes)) {
    case SafeFile::ReadError::None:
        break;
    case SafeFile::ReadError::CannotOpen:
        setError(errorText,
                 QFileInfo::exists(path) ? StringId::FileAccessDenied : StringId::FileNotFound,
                 path);
        return false;
    case SafeFile::ReadError::NotRegular:
        setError(errorText, StringId::FileAccessDenied, path);
        return false;
    case SafeFile::ReadError::TooLarge:
    case SafeFile::ReadError::OutOfMemory:
        setError(errorText, StringId::OutOfMemory, path);
        return false;
    default:
        setError(errorText, StringId::FileHardIo, path);
        return false;
    }
    try {
        return projectFromBytes(area, bytes, path, errorText);
    } catch (const std::bad_alloc&) {
        setError(errorText, StringId::OutOfMemory, path);
        return false;
    }
}

namespace {

bool refuse(QString* why, const QString& text)
{
    if (why)
        *why = text;
    return false;
}

} // namespace

bool checkProjectFile(const QString& path, QString* why)
{
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.exists())
        return refuse(why, withPath(loadString(StringId::FileNotFound), path));
    if (!info.isFile())
        return refuse(why, withPath(loadString(StringId::FileAccessDenied), path));
    if (info.size() > CAct::kMaxProjectFileBytes)
        return refuse(why, dialogText("%1 is larger than a project can be (64 MB).",
                                      "%1 太大，不是节目文件（最大 64 MB）。")
                               .arg(shown));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(why, withPath(loadString(StringId::FileAccessDenied), path));
    const QByteArray head = file.read(FileSniff::kProjectHeaderBytes);
    QString reason;
    if (!FileSniff::isProjectHeader(head, &reason))
        return refuse(why, dialogText("%1 is not a project file (%2).", "%1 不是节目文件（%2）。")
                               .arg(shown, reason));
    return true;
}

bool checkProjectShape(const CAct& area, const QString& path, QString* why)
{
    bool empty = false;
    {
        std::shared_lock lock(area.sectionsMutex());
        empty = area.sections().empty();
    }
    if (empty)
        return refuse(why, dialogText("%1 is not a project file (it has no sections).",
                                      "%1 不是节目文件（没有显示段）。")
                               .arg(QDir::toNativeSeparators(path)));
    return true;
}
