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
#include <QRegularExpression>

#include <utility>

namespace {

QString notADateText()
{
    return dialogText("not a date", "不是日期");
}

QString notATimeText()
{
    return dialogText("not a time", "不是时间");
}

QLineEdit* field(const char* name, const char* placeholder, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setPlaceholderText(QString::fromLatin1(placeholder));
    edit->setMaxLength(10);
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-000")));
    return edit;
}

// The short red label beside a field that says its text is not a date or a time.
QLabel* markLabel(QLineEdit* edit, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(edit->objectName() + QStringLiteral("Mark"));
    label->setStyleSheet(QStringLiteral("color: #d32f2f;"));
    label->hide();
    return label;
}

// A field and its mark in one cell of the grid.
void addWithMark(QGridLayout* grid, QLineEdit* edit, QLabel* mark, int row, int column)
{
    auto* cell = new QHBoxLayout;
    cell->setSpacing(4);
    cell->addWidget(edit);
    cell->addWidget(mark);
    grid->addLayout(cell, row, column);
}

// Whether the text has the whole shape of a date or a time, so that one that does not read is
// no longer half typed.
bool wholeDateShape(const QString& text)
{
    static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d{1,2}-\\d{2}$"));
    return shape.match(text).hasMatch();
}

bool wholeTimeShape(const QString& text)
{
    static const QRegularExpression shape(QStringLiteral("^\\d{1,2}:\\d{2}$"));
    return shape.match(text).hasMatch();
}

} // namespace

ScheduleGroup::ScheduleGroup(Store store, QWidget* parent)
    : QGroupBox(dialogText("Schedule", "播放时段"), parent), m_store(std::move(store))
{
    setObjectName(QStringLiteral("schedule"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(dialogText("From:", "开始日期:"), this), 0, 0);
    m_from = field("scheduleFrom", "yyyy-mm-dd", this);
    m_fromMark = markLabel(m_from, notADateText(), this);
    addWithMark(grid, m_from, m_fromMark, 0, 1);
    grid->addWidget(new QLabel(dialogText("Until:", "结束日期:"), this), 0, 2);
    m_until = field("scheduleUntil", "yyyy-mm-dd", this);
    m_untilMark = markLabel(m_until, notADateText(), this);
    addWithMark(grid, m_until, m_untilMark, 0, 3);
    grid->addWidget(new QLabel(dialogText("Hours:", "时间:"), this), 1, 0);
    m_start = field("scheduleStart", "08:00", this);
    m_startMark = markLabel(m_start, notATimeText(), this);
    addWithMark(grid, m_start, m_startMark, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("–"), this), 1, 2, Qt::AlignCenter);
    m_end = field("scheduleEnd", "18:00", this);
    m_endMark = markLabel(m_end, notATimeText(), this);
    addWithMark(grid, m_end, m_endMark, 1, 3);
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
    for (QLineEdit* edit : {m_from, m_until, m_start, m_end}) {
        connect(edit, &QLineEdit::textEdited, this, &ScheduleGroup::changed);
        // Left as it is: a text that is not a date or a time is marked, half typed or not.
        connect(edit, &QLineEdit::editingFinished, this, [this] {
            m_finished = true;
            changed();
        });
    }
}

void ScheduleGroup::show(const CPropBase& item)
{
    m_showing = true;
    const Schedule s = Schedule::of(item);
    m_from->setText(s.from.isValid() ? s.from.toString(Qt::ISODate) : QString());
    m_until->setText(s.until.isValid() ? s.until.toString(Qt::ISODate) : QString());
    m_start->setText(s.start.isValid() ? s.start.toString(QStringLiteral("HH:mm")) : QString());
    m_end->setText(s.end.isValid() ? s.end.toString(QStringLiteral("HH:mm")) : QString());
    for (QLabel* mark : {m_fromMark, m_untilMark, m_startMark, m_endMark})
        mark->hide();
    for (int day = 1; day <= 7; ++day)
        m_days[size_t(day - 1)]->setChecked(s.days.contains(day));
    setEnabled(true);
    m_showing = false;
}

void ScheduleGroup::changed()
{
    if (m_showing)
        return;
    const bool finished = std::exchange(m_finished, false);
    // Half-typed dates and times wait until they read as one; empty fields open that part. A
    // text of a whole date's or time's shape that is none (2026-13-45, 25:99), or one left so, is
    // marked beside its field and nothing is stored until it is corrected.
    const auto mark = [finished](QLabel* label, const QString& text, bool valid, bool whole) {
        if (valid || text.isEmpty())
            label->hide();
        else if (whole || finished)
            label->show();
    };
    const auto date = [&](const QLineEdit* e, QLabel* label, bool* ok) {
        const QString text = e->text().trimmed();
        const QDate d = QDate::fromString(text, Qt::ISODate);
        *ok = text.isEmpty() || d.isValid();
        mark(label, text, d.isValid(), wholeDateShape(text));
        return d;
    };
    const auto time = [&](const QLineEdit* e, QLabel* label, bool* ok) {
        const QString text = e->text().trimmed();
        const QTime t = QTime::fromString(text, QStringLiteral("H:mm"));
        *ok = text.isEmpty() || t.isValid();
        mark(label, text, t.isValid(), wholeTimeShape(text));
        return t;
    };
    bool ok[4];
    Schedule s;
    s.from = date(m_from, m_fromMark, &ok[0]);
    s.until = date(m_until, m_untilMark, &ok[1]);
    s.start = time(m_start, m_startMark, &ok[2]);
    s.end = time(m_end, m_endMark, &ok[3]);
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
