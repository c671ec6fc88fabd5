#include "AreaGeometryStore.h"

#include "base/SettingsStore.h"
#include "model/CAct.h"

namespace {

const QString kWindow = QStringLiteral("Window");

} // namespace

void AreaGeometryStore::load(CAct& area)
{
    area.changeSettings([](AreaSettings& s) {
        s.posX = SettingsStore::readInt(kWindow, QStringLiteral("PosX"), 0);
        s.posY = SettingsStore::readInt(kWindow, QStringLiteral("PosY"), 0);
        s.ledWidth = SettingsStore::readInt(kWindow, QStringLiteral("Width"), CAct::kDefaultWidth);
        s.ledHeight =
            SettingsStore::readInt(kWindow, QStringLiteral("Hight"), CAct::kDefaultHeight);
        s.firstOffset = SettingsStore::readInt(kWindow, QStringLiteral("XY"), 0);
    });
}

void AreaGeometryStore::save(const CAct& area)
{
    // In this order: older versions read them so.
    SettingsStore::writeInt(kWindow, QStringLiteral("PosX"), area.settings().posX);
    SettingsStore::writeInt(kWindow, QStringLiteral("PosY"), area.settings().posY);
    SettingsStore::writeInt(kWindow, QStringLiteral("Width"), area.settings().ledWidth);
    SettingsStore::writeInt(kWindow, QStringLiteral("Hight"), area.settings().ledHeight);
    SettingsStore::writeInt(kWindow, QStringLiteral("XY"), area.settings().firstOffset);
}
