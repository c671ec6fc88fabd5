#pragma once

#include <QGroupBox>

#include <array>
#include <functional>

class CPropBase;
class QCheckBox;
class QLabel;
class QLineEdit;

// The Schedule group every page has: the first and last day (yyyy-MM-dd), the days of the week
// and the hours (HH:mm; an end before the start runs overnight). Empty fields leave that part
// open; what is typed is kept as soon as it reads as a date or time, and a text that is none is
// marked beside its field ("not a date", "not a time") and not kept.
class ScheduleGroup final : public QGroupBox
{
    Q_OBJECT

public:
    // `store` writes into the page's item under its lock and marks the project modified.
    using Store = std::function<void(const std::function<void(CPropBase&)>&)>;
    ScheduleGroup(Store store, QWidget* parent);

    void show(const CPropBase& item);

private:
    void changed();

    Store m_store;
    QLineEdit* m_from = nullptr;
    QLineEdit* m_until = nullptr;
    QLineEdit* m_start = nullptr;
    QLineEdit* m_end = nullptr;
    // "not a date" / "not a time" beside each field, shown while its text is none.
    QLabel* m_fromMark = nullptr;
    QLabel* m_untilMark = nullptr;
    QLabel* m_startMark = nullptr;
    QLabel* m_endMark = nullptr;
    bool m_finished = false; // changed() after a field's editing finished
    std::array<QCheckBox*, 7> m_days{};
    bool m_showing = false;
};
