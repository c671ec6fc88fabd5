#include "NumberField.h"

#include "base/StringTable.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVariant>

namespace {

constexpr const char* kLow = "numberLow";
constexpr const char* kHigh = "numberHigh";
constexpr const char* kMarked = "numberWrong";
constexpr const char* kTip = "numberTip";

void mark(QLineEdit* edit)
{
    if (!edit->property(kMarked).toBool()) {
        edit->setProperty(kTip, edit->toolTip());
        edit->setProperty(kMarked, true);
    }
    edit->setStyleSheet(QStringLiteral("QLineEdit { border: 2px solid red; }"));
    const QString low = QString::number(edit->property(kLow).toInt());
    const QString high = QString::number(edit->property(kHigh).toInt());
    edit->setToolTip(
        dialogText("A number from %1 to %2", "请输入 %1 到 %2 之间的数字").arg(low, high));
}

} // namespace

namespace NumberField {

void limit(QLineEdit* edit, int low, int high)
{
    edit->setProperty(kLow, low);
    edit->setProperty(kHigh, high);
    const int digits = int(QString::number(high).size());
    edit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(digits)), edit));
}

std::optional<int> numberIn(QLineEdit* edit, bool emptyAllowed)
{
    return numberIn(edit, edit->text(), emptyAllowed);
}

std::optional<int> numberIn(QLineEdit* edit, const QString& typed, bool emptyAllowed)
{
    const QString text = typed.trimmed();
    if (text.isEmpty() && emptyAllowed) {
        clearMark(edit);
        return 0;
    }
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < edit->property(kLow).toInt() || value > edit->property(kHigh).toInt()) {
        mark(edit);
        return std::nullopt;
    }
    clearMark(edit);
    return value;
}

void clearMark(QLineEdit* edit)
{
    if (!edit->property(kMarked).toBool())
        return;
    edit->setProperty(kMarked, false);
    edit->setStyleSheet(QString());
    edit->setToolTip(edit->property(kTip).toString());
}

bool isMarked(const QLineEdit* edit)
{
    return edit->property(kMarked).toBool();
}

} // namespace NumberField
