#include "ScheduleGroup.h"

#include "base/StringTable.h"
#include "model/CPropBase.h"
#include "model/ItemSettings.h"
#include "model/Schedule.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>

namespace {

QLineEdit* field(const char* name, const char* placeholder, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setPlaceholderText(QString::fromLatin1(placeholder));
    edit->setMaxLength(10);
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-000")));
    return edit;
}

} // namespace

ScheduleGroup::ScheduleGroup(Store store, QWidget* parent)
    : QGroupBox(dialogText("Schedule", "播放时段"), parent), m_store(std::move(store))
{
    setObjectName(QStringLiteral("schedule"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(dialogText("From:", "开始日期:"), this), 0, 0);
    m_from = field("scheduleFrom", "yyyy-mm-dd", this);
    grid->addWidget(m_from, 0, 1);
    grid->addWidget(new QLabel(dialogText("Until:", "结束日期:"), this), 0, 2);
    m_until = field("scheduleUntil", "yyyy-mm-dd", this);
    grid->addWidget(m_until, 0, 3);
    grid->addWidget(new QLabel(dialogText("Hours:", "时间:"), this), 1, 0);
    m_start = field("scheduleStart", "08:00", this);
    grid->addWidget(m_start, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("–"), this), 1, 2, Qt::AlignCenter);
    m_end = field("scheduleEnd", "18:00", this);
    grid->addWidget(m_end, 1, 3);
    auto* days = new QHBoxLayout;
    const QLocale locale = textSet() == TextSet::Chinese ? QLocale(QLocale::Chinese, QLocale::China)
                                                         : QLocale(QLocale::English);
    for (int day = 1; day <= 7; ++day) {
        auto* box = new QCheckBox(locale.dayName(day, QLocale::ShortFormat), this);
        box->setObjectName(QStringLiteral("scheduleDay%1").arg(day));
        m_days[size_t(day - 1)] = box;
        days->addWidget(box);
        connect(box, &QCheckBox::clicked, this, &ScheduleGroup::changed);
    }
    days->addStretch();
    grid->addLayout(days, 2, 0, 1, 4);
    for (QLineEdit* edit : {m_from, m_until, m_start, m_end})
        connect(edit, &QLineEdit::textEdited, this, &ScheduleGroup::changed);
}

void ScheduleGroup::show(const CPropBase& item)
{
    m_showing = true;
    const Schedule s = Schedule::of(item);
    m_from->setText(s.from.isValid() ? s.from.toString(Qt::ISODate) : QString());
    m_until->setText(s.until.isValid() ? s.until.toString(Qt::ISODate) : QString());
    m_start->setText(s.start.isValid() ? s.start.toString(QStringLiteral("HH:mm")) : QString());
    m_end->setText(s.end.isValid() ? s.end.toString(QStringLiteral("HH:mm")) : QString());
    for (int day = 1; day <= 7; ++day)
        m_days[size_t(day - 1)]->setChecked(s.days.contains(day));
    setEnabled(true);
    m_showing = false;
}

void ScheduleGroup::changed()
{
    if (m_showing)
        return;
    // Half-typed dates and times wait until they read as one; empty fields open that part.
    const auto date = [](const QLineEdit* e, bool* ok) {
        const QDate d = QDate::fromString(e->text().trimmed(), Qt::ISODate);
        *ok = e->text().trimmed().isEmpty() || d.isValid();
        return d;
    };
    const auto time = [](const QLineEdit* e, bool* ok) {
        const QTime t = QTime::fromString(e->text().trimmed(), QStringLiteral("H:mm"));
        *ok = e->text().trimmed().isEmpty() || t.isValid();
        return t;
    };
    bool ok[4];
    Schedule s;
    s.from = date(m_from, &ok[0]);
    s.until = date(m_until, &ok[1]);
    s.start = time(m_start, &ok[2]);
    s.end = time(m_end, &ok[3]);
    if (!ok[0] || !ok[1] || !ok[2] || !ok[3])
        return;
    for (int day = 1; day <= 7; ++day)
        if (m_days[size_t(day - 1)]->isChecked())
            s.days << day;
    bool kept = true;
    m_store([&](CPropBase& item) {
        kept = ItemSettings::write(item, QStringLiteral("schedule"),
                                   s.isAlways() ? QJsonValue() : QJsonValue(s.toJson()));
    });
    // Someone else's reserved text is never written over.
    setEnabled(kept);
}
