#include "TextPage.h"

#include "model/CPropText.h"
#include "ui/widgets/CColorBtn.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRegularExpressionValidator>
#include <QToolButton>

namespace {

constexpr int kSizes[] = {8,  9,  10, 11, 12, 14, 16, 18, 20, 22, 24,
                          28, 32, 36, 40, 48, 56, 64, 80, 96, 128};

} // namespace

QStringList TextPage::fontFamilies()
{
    QStringList families;
    // Real families only: one entry per family, whatever foundries offer it ("Nimbus Sans
    // [UKWN]"), and none of fontconfig's generic aliases.
    static const QStringList generic{QStringLiteral("Sans Serif"), QStringLiteral("Serif"),
                                     QStringLiteral("Monospace"),  QStringLiteral("Sans"),
                                     QStringLiteral("Mono"),       QStringLiteral("Fantasy"),
                                     QStringLiteral("Cursive"),    QStringLiteral("System-ui")};
    for (QString family : QFontDatabase::families()) {
        if (family.startsWith(QLatin1Char('@')))
            continue;
        if (const qsizetype foundry = family.indexOf(QLatin1String(" ["));
            foundry > 0 && family.endsWith(QLatin1Char(']')))
            family.truncate(foundry);
        if (generic.contains(family, Qt::CaseInsensitive) || families.contains(family))
            continue;
        families << family;
    }
    // The default face of text items is a substitution here; it must be choosable.
    for (const char* alias : {"宋体", "SimSun", "新宋体", "NSimSun"}) {
        const QString name = QString::fromUtf8(alias);
        if (!QFont::substitutes(name).isEmpty() && !families.contains(name))
            families << name;
    }
    families.sort(Qt::CaseInsensitive);
    return families;
}

void TextPage::build(QGridLayout* grid, int& row)
{
    addBackground(grid, row);
    addMagic(grid, row);
    addSpeedAndHold(grid, row);
    grid->addWidget(new QLabel(dialogText("Effects:", "效果:"), this), row, 0);
    m_style = listCombo(1104, StringId::TextStyles, grid, row, 1);
    m_spacing = digitsEdit(1114, dialogText("Line spacing:", "行距:"), grid, row++, 2);

    grid->addWidget(new QLabel(dialogText("Font:", "字体:"), this), row, 0);
    m_font = new QComboBox(this);
    m_font->setObjectName(QStringLiteral("1135"));
    m_font->addItems(fontFamilies());
    m_font->setCurrentIndex(-1);
    grid->addWidget(m_font, row, 1, 1, 2);
    m_size = new QComboBox(this);
    m_size->setObjectName(QStringLiteral("641"));
    m_size->setEditable(true);
    for (int size : kSizes)
        m_size->addItem(QString::number(size));
    grid->addWidget(m_size, row, 3);
    m_textColor = new CColorBtn(this);
    m_textColor->setObjectName(QStringLiteral("590"));
    grid->addWidget(m_textColor, row++, 4);

    auto* toggles = new QHBoxLayout;
    m_bold = toggle(1137, QStringLiteral("B"), StringId::TipBold);
    m_italic = toggle(588, QStringLiteral("I"), StringId::TipItalic);
    m_underline = toggle(589, QStringLiteral("U"), StringId::TipUnderline);
    m_left = toggle(1138, QStringLiteral("⇤"), StringId::TipLeftJustify);
    m_center = toggle(591, QStringLiteral("↔"), StringId::TipCenterJustify);
    m_right = toggle(592, QStringLiteral("⇥"), StringId::TipRightJustify);
    m_vcenter = toggle(594, QStringLiteral("↕"), StringId::TipVerticalJustify);
    for (QToolButton* b : {m_bold, m_italic, m_underline, m_left, m_center, m_right, m_vcenter})
        toggles->addWidget(b);
    toggles->addStretch();
    grid->addLayout(toggles, row++, 0, 1, 5);

    grid->addWidget(new QLabel(dialogText("Scroll:", "滚动:"), this), row, 0);
    m_scroll = new QComboBox(this);
    m_scroll->setObjectName(QString::number(kScrollId));
    m_scroll->addItems(dialogText("none\nleft\nright\nup\ndown", "不滚动\n向左\n向右\n向上\n向下")
                           .split(QLatin1Char('\n')));
    grid->addWidget(m_scroll, row, 1);
    m_pixelsPerSecond =
        digitsEdit(kPixelsPerSecondId, dialogText("Pixels/s:", "像素/秒:"), grid, row++, 2);
    // Line spacing in pixels 0-100; font size 1-500 pixels; 1-10000 pixels a second (or empty).
    NumberField::limit(m_spacing, 0, 100);
    NumberField::limit(m_size->lineEdit(), 1, 500);
    NumberField::limit(m_pixelsPerSecond, 1, 10000);
    addPreview(grid, row, StringId::TipPreview);

    connectTiming<CPropText>();
    const auto store = [this](auto&& write) { this->store<CPropText>(write); };
    connect(m_style, &QComboBox::activated, this, [store](int index) {
        if (index >= 0)
            store([index](CPropText& it) { it.textStyle = index; });
    });
    connect(m_spacing, &QLineEdit::textEdited, this, [this, store] {
        if (const auto value = NumberField::numberIn(m_spacing))
            store([&](CPropText& it) { it.lineSpacing = *value; });
    });
    connect(m_font, &QComboBox::activated, this, [this, store](int index) {
        if (index >= 0)
            store([this](CPropText& it) { it.fontName = m_font->currentText(); });
    });
    connect(m_size, &QComboBox::activated, this, [this, store](int index) {
        if (index < 0)
            return;
        if (const auto value = NumberField::numberIn(m_size->lineEdit()))
            store([&](CPropText& it) { it.fontSize = *value; });
    });
    connect(m_size->lineEdit(), &QLineEdit::textEdited, this, [this, store] {
        if (const auto value = NumberField::numberIn(m_size->lineEdit()))
            store([&](CPropText& it) { it.fontSize = *value; });
    });
    connect(m_textColor, &CColorBtn::clicked, this, [this, store] {
        store([this](CPropText& it) { it.textColor = m_textColor->color(); });
    });
    connect(m_bold, &QToolButton::clicked, this,
            [store](bool on) { store([on](CPropText& it) { it.bold = on; }); });
    connect(m_italic, &QToolButton::clicked, this,
            [store](bool on) { store([on](CPropText& it) { it.italic = on; }); });
    connect(m_underline, &QToolButton::clicked, this,
            [store](bool on) { store([on](CPropText& it) { it.underline = on; }); });
    for (QToolButton* b : {m_left, m_center, m_right})
        connect(b, &QToolButton::clicked, this, [this, b] { horizontalAlignment(b); });
    connect(m_vcenter, &QToolButton::clicked, this,
            [store](bool on) { store([on](CPropText& it) { it.alignVCenter = on; }); });
    connect(m_scroll, &QComboBox::activated, this, [this](int) { storeScroll(); });
    connect(m_pixelsPerSecond, &QLineEdit::textEdited, this, [this] { storeScroll(); });
}

void TextPage::storeScroll()
{
    const int index = m_scroll->currentIndex();
    if (index < 0)
        return;
    const auto typed = NumberField::numberIn(m_pixelsPerSecond, true);
    if (!typed)
        return;
    const int speed = *typed;
    bool kept = true;
    store<CPropText>([&](CPropText& it) {
        kept = it.setMarquee(static_cast<CPropText::Scroll>(index),
                             speed > 0 ? speed : it.marquee().pixelsPerSecond);
    });
    // Someone else's reserved text is never written over.
    m_scroll->setEnabled(kept);
    m_pixelsPerSecond->setEnabled(kept);
}

void TextPage::horizontalAlignment(QToolButton* pressed)
{
    const bool on = pressed->isChecked();
    QToolButton* buttons[] = {m_left, m_center, m_right};
    store<CPropText>([&](CPropText& it) {
        int* fields[] = {&it.alignLeft, &it.alignCenter, &it.alignRight};
        for (int i = 0; i < 3; ++i) {
            if (buttons[i] == pressed)
                *fields[i] = on;
            else if (on)
                *fields[i] = 0; // one horizontal alignment at a time
        }
    });
    if (on) {
        for (QToolButton* button : buttons)
            if (button != pressed)
                button->setChecked(false);
    }
}

void TextPage::show(CPropBase& base)
{
    auto& it = static_cast<CPropText&>(base);
    showTiming(it);
    m_spacing->setText(QString::number(it.lineSpacing));
    NumberField::clearMark(m_spacing);
    m_bold->setChecked(it.bold);
    m_italic->setChecked(it.italic);
    m_underline->setChecked(it.underline);
    m_textColor->setColor(it.textColor);
    m_left->setChecked(it.alignLeft);
    m_center->setChecked(it.alignCenter);
    m_right->setChecked(it.alignRight);
    m_vcenter->setChecked(it.alignVCenter);
    int font = -1;
    for (int i = 0; i < m_font->count() && font < 0; ++i) {
        if (m_font->itemText(i).startsWith(it.fontName))
            font = i;
    }
    m_font->setCurrentIndex(font);
    m_size->setEditText(QString::number(it.fontSize));
    NumberField::clearMark(m_size->lineEdit());
    m_style->setCurrentIndex(it.textStyle);
    const CPropText::Marquee marquee = it.marquee();
    m_scroll->setCurrentIndex(static_cast<int>(marquee.direction));
    m_pixelsPerSecond->setText(QString::number(marquee.pixelsPerSecond));
    NumberField::clearMark(m_pixelsPerSecond);
    m_scroll->setEnabled(true);
    m_pixelsPerSecond->setEnabled(true);
}
