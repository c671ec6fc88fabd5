#include "PropertyPageBase.h"

#include "ScheduleGroup.h"
#include "model/CPropBase.h"
#include "ui/widgets/CColorBtn.h"
#include "ui/widgets/UserPrompts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QToolButton>

namespace {

const char kPictureFilter[] =
    "位图文件 (*.bmp,*.jpg,*.gif,*.wmf,*.ico)|*.bmp;*.jpg;*.gif;*.wmf;*.ico|All Files (*.*)|*.*||";

} // namespace

QWidget* PropertyPageBase::create(QWidget* parent)
{
    if (!m_created) {
        setParent(parent);
        auto* grid = new QGridLayout(this);
        grid->setContentsMargins(6, 6, 6, 6);
        int row = 0;
        build(grid, row);
        // When the item may play, on every page.
        m_schedule = new ScheduleGroup(
            [this](const std::function<void(CPropBase&)>& write) {
                store([&write](CPropBase& it) { write(it); });
            },
            this);
        grid->addWidget(m_schedule, row++, 0, 1, 5);
        grid->setRowStretch(row, 1);
        // The free column (the background picture's path) takes the width the page has.
        grid->setColumnStretch(3, 1);
        m_created = true;
    }
    return this;
}

void PropertyPageBase::SetItem(CPropBase& item)
{
    m_item = &item;
    if (m_backColor)
        m_backColor->setColor(item.backColor);
    if (m_backFit)
        m_backFit->setCurrentIndex(item.backFitMode);
    if (m_backImage)
        m_backImage->setText(item.backImagePath);
    if (m_schedule)
        m_schedule->show(item);
    show(item);
}

int PropertyPageBase::leadingNumber(const QString& value)
{
    const QString s = value.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == QLatin1Char('-') || s[i] == QLatin1Char('+')))
        negative = s[i++] == QLatin1Char('-');
    long long n = 0;
    for (; i < s.size() && s[i].isDigit() && s[i].unicode() < 128; ++i)
        n = std::min<long long>(n * 10 + (s[i].unicode() - '0'), 0x7FFFFFFF);
    return static_cast<int>(negative ? -n : n);
}

void PropertyPageBase::FillComboFromString(QComboBox* combo, StringId list, int index)
{
    combo->clear();
    combo->addItems(loadStringList(list));
    combo->setCurrentIndex(index);
}

void PropertyPageBase::modified() const
{
    if (m_context.setModified)
        m_context.setModified();
}

void PropertyPageBase::preview()
{
    if (m_item && m_context.preview)
        m_context.preview(*m_item);
}

void PropertyPageBase::browse()
{
    if (!m_item || !m_context.prompts)
        return;
    const QString path = m_context.prompts->openFile(this, QString::fromUtf8(kPictureFilter));
    if (path.isEmpty())
        return;
    store([&path](CPropBase& it) { it.backImagePath = path; });
    m_backImage->setText(path);
}

QLineEdit* PropertyPageBase::digitsEdit(int id, const QString& label, QGridLayout* grid, int row,
                                        int column)
{
    grid->addWidget(new QLabel(label, this), row, column);
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::number(id));
    // Room for six digits in whatever font and scale, no more than the column needs.
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
    grid->addWidget(edit, row, column + 1);
    return edit;
}

QComboBox* PropertyPageBase::listCombo(int id, StringId list, QGridLayout* grid, int row,
                                       int column)
{
    auto* combo = new QComboBox(this);
    combo->setObjectName(QString::number(id));
    FillComboFromString(combo, list, 0);
    grid->addWidget(combo, row, column);
    return combo;
}

QToolButton* PropertyPageBase::toggle(int id, const QString& label, StringId tooltip)
{
    auto* button = new QToolButton(this);
    button->setObjectName(QString::number(id));
    button->setText(label);
    button->setCheckable(true);
    button->setToolTip(loadString(tooltip));
    return button;
}

void PropertyPageBase::addBackground(QGridLayout* grid, int& row)
{
    grid->addWidget(new QLabel(dialogText("Background:", "背景:"), this), row, 0);
    m_backColor = new CColorBtn(this);
    m_backColor->setObjectName(QStringLiteral("1100"));
    grid->addWidget(m_backColor, row, 1);
    m_backFit = listCombo(1101, StringId::FitModes, grid, row, 2);
    m_backImage = new QLineEdit(this);
    m_backImage->setObjectName(QStringLiteral("1074"));
    // A path wants room: twenty-four characters at the least, whatever the text size.
    m_backImage->setMinimumWidth(m_backImage->fontMetrics().averageCharWidth() * 24);
    grid->addWidget(m_backImage, row, 3);
    auto* browseButton = new QToolButton(this);
    browseButton->setObjectName(QStringLiteral("1103"));
    browseButton->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    browseButton->setToolTip(loadString(StringId::TipBrowse));
    grid->addWidget(browseButton, row++, 4);

    connect(m_backColor, &CColorBtn::clicked, this,
            [this] { store([this](CPropBase& it) { it.backColor = m_backColor->color(); }); });
    connect(m_backFit, &QComboBox::activated, this, [this](int index) {
        if (index >= 0)
            store([index](CPropBase& it) { it.backFitMode = index; });
    });
    connect(m_backImage, &QLineEdit::textEdited, this, [this](const QString& path) {
        store([&path](CPropBase& it) { it.backImagePath = path; });
    });
    connect(browseButton, &QToolButton::clicked, this, &PropertyPageBase::browse);
}

void PropertyPageBase::addMagic(QGridLayout* grid, int& row)
{
    grid->addWidget(new QLabel(dialogText("Magic:", "特技:"), this), row, 0);
    m_magic = listCombo(1015, StringId::Effects, grid, row++, 1);
}

void PropertyPageBase::addSpeedAndHold(QGridLayout* grid, int& row)
{
    m_speed = digitsEdit(1067, dialogText("Speed:", "速度:"), grid, row, 0);
    m_speed->setToolTip(dialogText("Smaller is faster", "数值越小越快"));
    m_hold = digitsEdit(1019, dialogText("Stop for:", "停留:"), grid, row, 2);
    // Speed: 0 (fastest) to 100; hold time in tenths of a second, up to nearly three hours.
    NumberField::limit(m_speed, 0, 100);
    NumberField::limit(m_hold, 0, 99999);
    grid->addWidget(new QLabel(dialogText("x 0.1 s", "× 0.1 秒"), this), row++, 4);
}

void PropertyPageBase::addPreview(QGridLayout* grid, int& row, StringId tooltip)
{
    auto* button = new QToolButton(this);
    button->setObjectName(QStringLiteral("1092"));
    button->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    button->setToolTip(loadString(tooltip));
    grid->addWidget(button, row++, 0);
    connect(button, &QToolButton::clicked, this, &PropertyPageBase::preview);
}
