#pragma once

#include "model/PropertyPageHost.h"

#include <QByteArray>
#include <QRect>

#include <memory>
#include <vector>

class QWidget;

// A property page shown in the control window's page area; made on first use and kept.
class PropertyPage
{
public:
    virtual ~PropertyPage() = default;
    // Makes the page's widget (once), a child of `parent`.
    virtual QWidget* create(QWidget* parent) = 0;
    virtual QWidget* widget() const = 0;
    // Shows the item's values; every later change is written into it.
    virtual void SetItem(CPropBase& item) = 0;
};

// The page host and the pages' registry: one page per item class, keyed by the class name the
// kinds table and project files use (a page may serve several classes), the one shown, and where
// pages go.
class CSubFormCollection final : public PropertyPageHost
{
public:
    ~CSubFormCollection() override;

    // Appends a page for the items of these classes; refuses, with a log line, a null page and a
    // class that has a page already.
    bool AddSubForm(std::unique_ptr<PropertyPage> page, const QList<QByteArray>& classNames,
                    QWidget* parent);
    // Shows page `index` (making its widget on first use) and hides the one shown; -1 hides all.
    // An index past the last page changes nothing.
    bool ShowSubForm(int index);
    // The page of this class; null when the class has none.
    PropertyPage* FindSubForm(QByteArrayView className) const;
    int shownIndex() const { return m_shown; }

    void setPlacement(const QRect& rect, bool centre)
    {
        m_placement = rect;
        m_centre = centre;
    }
    // The page area changed size: the shown page follows it.
    void relayout();

    // An item shows the page of its class; an item without a page among them shows none, so it
    // is never handed to another kind's page.
    void showItemPage(CPropBase& item) override;

private:
    std::vector<std::unique_ptr<PropertyPage>> m_pages;
    std::vector<QList<QByteArray>> m_classes; // beside m_pages
    int m_shown = -1;
    QRect m_placement;
    bool m_centre = false;
    QWidget* m_parent = nullptr;
};
