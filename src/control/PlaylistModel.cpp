#include "PlaylistModel.h"

#include "model/CAct.h"
#include "model/CPropBase.h"

#include <QFont>

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
    const bool playing = index.row() == m_playingRow;
    switch (role) {
    case Qt::DisplayRole:
        return lineFor(item->filePath);
    case Qt::ToolTipRole:
    case FilePathRole:
        return item->filePath;
    case ClassNameRole:
        return QString::fromLatin1(item->className());
    case PlayingRole:
        return playing;
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

void PlaylistModel::setPlayingRow(int row)
{
    if (row == m_playingRow)
        return;
    const int before = m_playingRow;
    m_playingRow = row;
    for (const int changed : {before, row}) {
        if (changed >= 0 && changed < rowCount())
            emit dataChanged(index(changed), index(changed),
                             {Qt::FontRole, Qt::DecorationRole, PlayingRole});
    }
}

void PlaylistModel::endReset()
{
    m_playingRow = -1;
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
