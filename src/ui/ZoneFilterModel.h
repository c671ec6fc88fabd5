#pragma once

#include <QSortFilterProxyModel>

// The playlist as the control window lists it: the items of the selected zone only (every item
// without zones), in the project's order.
class ZoneFilterModel final : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    int zone() const { return m_zone; }
    void setZone(int zone);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    int m_zone = 0;
};
