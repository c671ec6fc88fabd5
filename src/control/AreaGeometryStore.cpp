#include "AreaGeometryStore.h"

#include "base/SettingsStore.h"
#include "model/CAct.h"

namespace {

const QString kWindow = QStringLiteral("Window");

} // namespace

void AreaGeometryStore::load(CAct& area)
{
    area.posX = SettingsStore::readInt(kWindow, QStringLiteral("PosX"), 0);
    area.posY = SettingsStore::readInt(kWindow, QStringLiteral("PosY"), 0);
    area.ledWidth = SettingsStore::readInt(kWindow, QStringLiteral("Width"), CAct::kDefaultWidth);
    area.ledHeight = SettingsStore::readInt(kWindow, QStringLiteral("Hight"), CAct::kDefaultHeight);
    area.firstOffset = SettingsStore::readInt(kWindow, QStringLiteral("XY"), 0);
}

void AreaGeometryStore::save(const CAct& area)
{
    // In this order: older versions read them so.
    SettingsStore::writeInt(kWindow, QStringLiteral("PosX"), area.posX);
    SettingsStore::writeInt(kWindow, QStringLiteral("PosY"), area.posY);
    SettingsStore::writeInt(kWindow, QStringLiteral("Width"), area.ledWidth);
    SettingsStore::writeInt(kWindow, QStringLiteral("Hight"), area.ledHeight);
    SettingsStore::writeInt(kWindow, QStringLiteral("XY"), area.firstOffset);
}
