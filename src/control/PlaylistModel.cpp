#include "PlaylistModel.h"

#include "model/AreaZones.h"
#include "model/CAct.h"
#include "model/CPropBase.h"

#include "base/StringTable.h"

#include <QBrush>
#include <QFont>

#include <algorithm>

PlaylistModel::PlaylistModel(const CAct& area, QObject* parent)
    : QAbstractListModel(parent), m_area(area)
{}

int PlaylistModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_area.itemCount();
}

QVariant PlaylistModel::data(const QModelIndex& index, int role) const
{
    const CPropBase* item = index.isValid() ? m_area.item(index.row()) : nullptr;
    if (!item)
        return {};
    const bool playing =
        std::find(m_playingRows.begin(), m_playingRows.end(), index.row()) != m_playingRows.end();
    const bool missing = !item->filePath.isEmpty() && m_missing.contains(item->filePath);
    switch (role) {
    case Qt::DisplayRole:
        return missing ? QStringLiteral("⚠ ") + lineFor(item->filePath) : lineFor(item->filePath);
    case Qt::ToolTipRole:
        return missing
                   ? item->filePath + QLatin1Char('\n') + dialogText("file not found", "找不到文件")
                   : item->filePath;
    case FilePathRole:
        return item->filePath;
    case ClassNameRole:
        return QString::fromLatin1(item->className());
    case PlayingRole:
        return playing;
    case MissingRole:
        return missing;
    case ZoneRole:
        return AreaZones::zoneOf(*item, m_area.zoneCount());
    case Qt::ForegroundRole:
        return missing ? QVariant(QBrush(QColor(0xC0, 0x20, 0x20))) : QVariant();
    case Qt::FontRole:
        if (playing) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::DecorationRole:
        return playing ? QVariant(m_playingIcon) : QVariant();
    default:
        return {};
    }
}

QString PlaylistModel::lineFor(const QString& filePath)
{
    const qsizetype cut =
        std::max(filePath.lastIndexOf(QLatin1Char('\\')), filePath.lastIndexOf(QLatin1Char('/')));
    return filePath.mid(cut + 1);
}

void PlaylistModel::setPlayingRows(const std::vector<int>& rows)
{
    if (rows == m_playingRows)
        return;
    std::vector<int> changed = m_playingRows;
    changed.insert(changed.end(), rows.begin(), rows.end());
    m_playingRows = rows;
    for (const int row : changed)
        if (row >= 0 && row < rowCount())
            emit dataChanged(index(row), index(row),
                             {Qt::FontRole, Qt::DecorationRole, PlayingRole});
}

void PlaylistModel::zonesChanged()
{
    if (rowCount() > 0)
        emit dataChanged(index(0), index(rowCount() - 1), {ZoneRole});
}

void PlaylistModel::setMissing(const QString& filePath, bool missing)
{
    if (filePath.isEmpty() || m_missing.contains(filePath) == missing)
        return;
    if (missing)
        m_missing.insert(filePath);
    else
        m_missing.remove(filePath);
    for (int row = 0; row < rowCount(); ++row)
        if (const CPropBase* item = m_area.item(row); item && item->filePath == filePath)
            emit dataChanged(index(row), index(row),
                             {Qt::DisplayRole, Qt::ToolTipRole, Qt::ForegroundRole, MissingRole});
}

void PlaylistModel::endReset()
{
    m_playingRows.clear();
    endResetModel();
}

void PlaylistModel::beginAppend(int count)
{
    const int rows = rowCount();
    beginInsertRows({}, rows, rows + count - 1);
}

bool PlaylistModel::beginMove(int from, int to)
{
    // Qt counts the destination before the move: one further when moving down.
    return beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
}
