#include "ItemSettings.h"

#include "CPropBase.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace {

// The object in the text; false when the text is neither empty nor a JSON object.
bool parse(const QString& text, QJsonObject* object)
{
    if (text.trimmed().isEmpty()) {
        *object = QJsonObject();
        return true;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    *object = document.object();
    return true;
}

} // namespace

QJsonObject ItemSettings::read(const CPropBase& item)
{
    QJsonObject object;
    return parse(item.reservedText, &object) ? object : QJsonObject();
}

double ItemSettings::number(const CPropBase& item, const QString& key, double fallback)
{
    const QJsonValue value = read(item).value(key);
    return value.isDouble() ? value.toDouble() : fallback;
}

bool ItemSettings::write(CPropBase& item, const QString& key, const QJsonValue& value)
{
    QJsonObject object;
    if (!parse(item.reservedText, &object))
        return false;
    if (value.isUndefined() || value.isNull())
        object.remove(key);
    else
        object.insert(key, value);
    item.reservedText =
        object.isEmpty() ? QString()
                         : QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    return true;
}
