#include "ZoneFilterModel.h"

#include "control/PlaylistModel.h"

void ZoneFilterModel::setZone(int zone)
{
    if (zone == m_zone)
        return;
    m_zone = zone;
    invalidateFilter();
}

bool ZoneFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    const QModelIndex row = sourceModel()->index(sourceRow, 0, sourceParent);
    return row.data(PlaylistModel::ZoneRole).toInt() == m_zone;
}
