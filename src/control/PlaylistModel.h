#pragma once

#include <QAbstractListModel>
#include <QIcon>
#include <QSet>

#include <vector>

class CAct;

// The playlist as the views see it: one row an item of the area, its file name, the playing row
// marked (bold, with the icon the window gives), a file that is not there marked too (a leading
// "⚠", red, "file not found" in its tooltip). The area's list is the only list; the
// controller, which makes every change to it, tells the model before and after each.
class PlaylistModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role
    {
        FilePathRole = Qt::UserRole + 1,
        ClassNameRole,
        PlayingRole,
        MissingRole,
        ZoneRole, // the zone the item plays in
    };

    explicit PlaylistModel(const CAct& area, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // What the view shows of a path: the file name after the last separator of either kind.
    static QString lineFor(const QString& filePath);

    void setPlayingIcon(const QIcon& icon) { m_playingIcon = icon; }
    // The first zone's playing row; with zones every zone's is marked.
    int playingRow() const { return m_playingRows.empty() ? -1 : m_playingRows.front(); }
    void setPlayingRow(int row) { setPlayingRows({row}); }
    // Zone k's playing row at k (-1: none).
    void setPlayingRows(const std::vector<int>& rows);
    const std::vector<int>& playingRows() const { return m_playingRows; }
    // The items' zones changed.
    void zonesChanged();

    // Whether the rows of this file show it as missing; false unmarks them.
    void setMissing(const QString& filePath, bool missing);
    bool isMissing(const QString& filePath) const { return m_missing.contains(filePath); }

    // The controller's changes, around the area's own.
    void beginReset() { beginResetModel(); }
    void endReset();
    void beginAppend(int count);
    void endAppend() { endInsertRows(); }
    void beginRemove(int row) { beginRemoveRows({}, row, row); }
    void endRemove() { endRemoveRows(); }
    bool beginMove(int from, int to);
    void endMove() { endMoveRows(); }

private:
    const CAct& m_area;
    QIcon m_playingIcon;
    std::vector<int> m_playingRows;
    QSet<QString> m_missing; // by path: every item of a missing file is marked
};
