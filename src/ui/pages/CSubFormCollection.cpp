#include "CSubFormCollection.h"

#include "model/CPropBase.h"
#include "ui/widgets/UiLog.h"

#include <QWidget>

// The pages go with the host; a page that is its own widget leaves its parent as it goes.
CSubFormCollection::~CSubFormCollection() = default;

bool CSubFormCollection::AddSubForm(std::unique_ptr<PropertyPage> page,
                                    const QList<QByteArray>& classNames, QWidget* parent)
{
    if (!page || classNames.isEmpty()) {
        qCWarning(lcUi, "property page refused: no page or no item class");
        return false;
    }
    for (const QByteArray& name : classNames) {
        if (FindSubForm(name)) {
            qCWarning(lcUi, "property page refused: \"%s\" has a page already", name.constData());
            return false;
        }
    }
    m_pages.push_back(std::move(page));
    m_classes.push_back(classNames);
    m_parent = parent;
    return true;
}

bool CSubFormCollection::ShowSubForm(int index)
{
    if (index >= static_cast<int>(m_pages.size()))
        return false;
    if (index >= 0 && index == m_shown) {
        if (QWidget* w = m_pages[size_t(index)]->widget()) {
            w->show();
            w->update();
        }
        return true;
    }
    if (m_shown >= 0) {
        if (QWidget* w = m_pages[size_t(m_shown)]->widget())
            w->hide();
    }
    m_shown = -1;
    if (index < 0)
        return true;
    PropertyPage& page = *m_pages[size_t(index)];
    QWidget* w = page.widget();
    if (!w) {
        w = page.create(m_parent);
        if (!w)
            return false;
        // The page area is at least as large as the page needs, whatever the text size: the
        // window grows rather than a field being cut.
        if (m_parent)
            m_parent->setMinimumSize(
                m_parent->minimumSize().expandedTo(w->minimumSizeHint() + QSize(4, 4)));
        if (m_centre)
            w->move(m_placement.center() - w->rect().center());
        else
            w->move(m_placement.topLeft());
    }
    w->setGeometry(m_placement);
    w->show();
    w->update();
    m_shown = index;
    return true;
}

void CSubFormCollection::relayout()
{
    if (m_shown < 0)
        return;
    if (QWidget* w = m_pages[size_t(m_shown)]->widget())
        w->setGeometry(m_placement);
}

PropertyPage* CSubFormCollection::FindSubForm(QByteArrayView className) const
{
    for (size_t i = 0; i < m_classes.size(); ++i) {
        for (const QByteArray& name : m_classes[i])
            if (QByteArrayView(name) == className)
                return m_pages[i].get();
    }
    return nullptr;
}

void CSubFormCollection::showItemPage(CPropBase& item)
{
    PropertyPage* page = FindSubForm(item.className());
    int index = -1;
    for (size_t i = 0; i < m_pages.size(); ++i)
        if (m_pages[i].get() == page)
            index = static_cast<int>(i);
    if (!page || !ShowSubForm(index)) {
        ShowSubForm(-1);
        return;
    }
    page->SetItem(item);
}
