#pragma once

#include "CSubFormCollection.h"
#include "base/StringTable.h"
#include "model/CPropBase.h"
#include "ui/widgets/NumberField.h"

#include <QComboBox>
#include <QLineEdit>
#include <QWidget>

#include <functional>
#include <mutex>

class CColorBtn;
class QGridLayout;
class ScheduleGroup;
class QToolButton;
class UserPrompts;

// What a page needs from the control window.
struct PageContext
{
    std::function<void()> setModified;       // the control window's SetModified(1)
    std::function<void(CPropBase&)> preview; // the page's play button: the controller's preview
    UserPrompts* prompts = nullptr;          // the browse dialog
};

// The behaviour every property page shares: made on first use, shows an item, writes every
// change into it at once and marks the project modified; does nothing while it has no item.
// Edits report only what the operator typed, so showing an item changes nothing.
class PropertyPageBase : public QWidget, public PropertyPage
{
    Q_OBJECT

public:
    explicit PropertyPageBase(PageContext context) : m_context(std::move(context)) {}

    QWidget* create(QWidget* parent) override;
    QWidget* widget() const override
    {
        return m_created ? const_cast<PropertyPageBase*>(this) : nullptr;
    }
    void SetItem(CPropBase& item) override;

    // The leading decimal number of a text, 0 when it has none ("12a" is 12).
    static int leadingNumber(const QString& text);
    // Empties the combo and fills it with the pieces of a string-table list.
    static void FillComboFromString(QComboBox* combo, StringId list, int index);

protected:
    // Builds the page's own controls into the grid, below the shared groups.
    virtual void build(QGridLayout* grid, int& row) = 0;
    // Shows the item's own values.
    virtual void show(CPropBase& item) = 0;

    CPropBase* item() const { return m_item; }
    // Writes into the item under its lock (a preview may be playing it right now) and marks the
    // project modified; nothing without an item of that kind.
    template <class Item = CPropBase, class Write>
    void store(Write&& write)
    {
        if (auto* it = dynamic_cast<Item*>(item())) {
            {
                std::lock_guard lock(it->fieldsMutex());
                write(*it);
            }
            modified();
        }
    }
    // After every stored change.
    void modified() const;
    void preview();
    void browse();

    // The shared groups; each page adds those it has.
    void addBackground(QGridLayout* grid, int& row);
    void addMagic(QGridLayout* grid, int& row);
    void addSpeedAndHold(QGridLayout* grid, int& row);
    void addPreview(QGridLayout* grid, int& row, StringId tooltip);

    // The "Magic" and "Speed" controls of the entry, of an item kind that has them.
    template <class Item>
    void connectEntry()
    {
        connect(m_magic, &QComboBox::activated, this, [this](int index) {
            if (index >= 0)
                store<Item>([index](Item& it) { it.effect = index; });
        });
        connect(m_speed, &QLineEdit::textEdited, this, [this] {
            if (const auto value = NumberField::numberIn(m_speed))
                store<Item>([&value](Item& it) { it.speed = *value; });
        });
    }
    template <class Item>
    void showEntry(const Item& it)
    {
        m_magic->setCurrentIndex(it.effect);
        m_speed->setText(QString::number(it.speed));
        NumberField::clearMark(m_speed);
    }
    // The entry and "Stop for".
    template <class Item>
    void connectTiming()
    {
        connectEntry<Item>();
        connect(m_hold, &QLineEdit::textEdited, this, [this] {
            if (const auto value = NumberField::numberIn(m_hold))
                store<Item>([&value](Item& it) { it.holdTime = *value; });
        });
    }
    template <class Item>
    void showTiming(const Item& it)
    {
        showEntry(it);
        m_hold->setText(QString::number(it.holdTime));
        NumberField::clearMark(m_hold);
    }
    // The "clear" effect and "Clear speed" of a picture-like item.
    template <class Item>
    void connectClearing(QComboBox* clear, QLineEdit* clearSpeed)
    {
        connect(clear, &QComboBox::activated, this, [this](int index) {
            if (index >= 0)
                store<Item>([index](Item& it) { it.clearEffect = index; });
        });
        connect(clearSpeed, &QLineEdit::textEdited, this, [this, clearSpeed] {
            if (const auto value = NumberField::numberIn(clearSpeed))
                store<Item>([&value](Item& it) { it.clearSpeed = *value; });
        });
    }
    template <class Item>
    static void showClearing(const Item& it, QComboBox* clear, QLineEdit* clearSpeed)
    {
        clear->setCurrentIndex(it.clearEffect);
        clearSpeed->setText(QString::number(it.clearSpeed));
        NumberField::clearMark(clearSpeed);
    }

    QLineEdit* digitsEdit(int id, const QString& label, QGridLayout* grid, int row, int column);
    QComboBox* listCombo(int id, StringId list, QGridLayout* grid, int row, int column);
    QToolButton* toggle(int id, const QString& text, StringId tooltip);

    PageContext m_context;
    CColorBtn* m_backColor = nullptr;
    QComboBox* m_backFit = nullptr;
    QLineEdit* m_backImage = nullptr;
    QComboBox* m_magic = nullptr;
    QLineEdit* m_speed = nullptr;
    QLineEdit* m_hold = nullptr;

private:
    CPropBase* m_item = nullptr;
    bool m_created = false;
    ScheduleGroup* m_schedule = nullptr;
};
