#include "ProjectJson.h"

#include "CAct.h"
#include "FieldVisitor.h"
#include "ItemSettings.h"
#include "PersistentClass.h"

#include <QJsonArray>
#include <QSet>

#include <cmath>
#include <limits>

namespace {

class JsonWriter final : public FieldVisitor
{
public:
    explicit JsonWriter(QJsonObject& out) : m_out(out) {}

    void integer(const char* name, int& value) override
    {
        m_out.insert(QLatin1String(name), value);
    }
    void string(const char* name, QString& value) override
    {
        m_out.insert(QLatin1String(name), value);
    }
    void rect(const char* name, WinRect& value) override
    {
        m_out.insert(QLatin1String(name),
                     QJsonArray{value.left, value.top, value.right, value.bottom});
    }
    void textBlocks(const char* name, std::vector<std::unique_ptr<CMyText>>& blocks) override
    {
        QJsonArray array;
        for (const auto& block : blocks)
            array.append(textBlockJson(*block));
        m_out.insert(QLatin1String(name), array);
    }

    static QJsonObject textBlockJson(CMyText& block)
    {
        QJsonObject json;
        JsonWriter writer(json);
        block.Serialize(writer);
        return json;
    }

private:
    QJsonObject& m_out;
};

// Reads one JSON object's fields. The first fault is kept; later calls do nothing.
class JsonReader final : public FieldVisitor
{
public:
    JsonReader(const QJsonObject& in, QString where, QString* error)
        : m_in(in), m_where(std::move(where)), m_error(error)
    {}

    void integer(const char* name, int& value) override
    {
        const QJsonValue v = take(name);
        if (!v.isUndefined())
            toInt(v, name, value);
    }
    void string(const char* name, QString& value) override
    {
        const QJsonValue v = take(name);
        if (v.isUndefined())
            return;
        if (!v.isString())
            return fail(name, QStringLiteral("expected a string"));
        value = v.toString();
    }
    void rect(const char* name, WinRect& value) override
    {
        const QJsonValue v = take(name);
        if (v.isUndefined())
            return;
        const QJsonArray a = v.toArray();
        if (!v.isArray() || a.size() != 4)
            return fail(name, QStringLiteral("expected [left, top, right, bottom]"));
        int* parts[] = {&value.left, &value.top, &value.right, &value.bottom};
        for (int i = 0; i < 4; ++i)
            toInt(a[i], name, *parts[i]);
    }
    void textBlocks(const char* name, std::vector<std::unique_ptr<CMyText>>& blocks) override
    {
        const QJsonValue v = take(name);
        if (v.isUndefined())
            return;
        if (!v.isArray())
            return fail(name, QStringLiteral("expected an array of text blocks"));
        const QJsonArray array = v.toArray();
        const QString where = path(name);
        for (qsizetype i = 0; i < array.size() && ok(); ++i) {
            auto block = std::make_unique<CMyText>();
            if (readTextBlock(array[i], QStringLiteral("%1[%2]").arg(where).arg(i), *block,
                              m_error))
                blocks.push_back(std::move(block));
        }
    }

    // Takes a field that is not one of the visited ones (an item's "class").
    QJsonValue take(const char* name)
    {
        const QString key = QLatin1String(name);
        m_seen.insert(key);
        return ok() ? m_in.value(key) : QJsonValue(QJsonValue::Undefined);
    }

    // Refuses any field that was never asked for: a misspelt name must not pass as a default.
    bool finish()
    {
        for (auto it = m_in.begin(); it != m_in.end() && ok(); ++it) {
            if (!m_seen.contains(it.key()))
                fail(nullptr, QStringLiteral("unknown field \"%1\"").arg(it.key()));
        }
        return ok();
    }

    bool ok() const { return m_error->isEmpty(); }

    void fail(const char* name, const QString& what)
    {
        if (ok())
            *m_error = QStringLiteral("%1: %2").arg(name ? path(name) : m_where, what);
    }

    static bool readTextBlock(const QJsonValue& v, const QString& where, CMyText& block,
                              QString* error)
    {
        if (!v.isObject()) {
            *error = QStringLiteral("%1: expected an object").arg(where);
            return false;
        }
        JsonReader reader(v.toObject(), where, error);
        block.Serialize(reader);
        return reader.finish();
    }

private:
    QString path(const char* name) const
    {
        return m_where.isEmpty() ? QString::fromLatin1(name)
                                 : m_where + QLatin1Char('.') + QLatin1String(name);
    }

    // Integers are 32 bits; values up to 0xFFFFFFFF are taken as their bit pattern, so that a
    // colour can be written unsigned.
    void toInt(const QJsonValue& v, const char* name, int& out)
    {
        const double d = v.toDouble(std::nan(""));
        if (!v.isDouble() || std::isnan(d) || d != std::floor(d) ||
            d < double(std::numeric_limits<qint32>::min()) ||
            d > double(std::numeric_limits<quint32>::max()))
            return fail(name, QStringLiteral("expected a 32-bit integer"));
        out = d < 0 ? static_cast<int>(static_cast<qint64>(d))
                    : static_cast<int>(static_cast<quint32>(static_cast<qint64>(d)));
    }

    const QJsonObject& m_in;
    QString m_where;
    QString* m_error;
    QSet<QString> m_seen;
};

// Reads an optional array of objects named `name`, each through `readOne`(reader of the
// object); false at the first element it refuses.
template <class ReadOne>
bool readObjects(const QJsonValue& v, const char* name, QString* error, ReadOne&& readOne)
{
    if (v.isUndefined())
        return true;
    if (!v.isArray()) {
        *error = QStringLiteral("%1: expected an array").arg(QLatin1String(name));
        return false;
    }
    const QJsonArray array = v.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString where = QStringLiteral("%1[%2]").arg(QLatin1String(name)).arg(i);
        if (!array[i].isObject()) {
            *error = where + QStringLiteral(": expected an object");
            return false;
        }
        const QJsonObject json = array[i].toObject();
        JsonReader reader(json, where, error);
        if (!readOne(reader) || !reader.finish())
            return false;
    }
    return true;
}

bool readItems(const QJsonValue& v, CAct& area, QString* error)
{
    return readObjects(v, "items", error, [&area](JsonReader& reader) {
        const QByteArray className = reader.take("class").toString().toLatin1();
        const PersistentClass* cls = findPersistentClass(className);
        if (!cls || cls->family != ClassFamily::Item) {
            QStringList names;
            for (const ItemKindInfo* kind : ItemKinds::all())
                names << QString::fromLatin1(kind->className);
            reader.fail("class",
                        QStringLiteral("expected one of ") + names.join(QStringLiteral(", ")));
            return false;
        }
        const QJsonValue zone = reader.take("zone");
        std::unique_ptr<CPropBase> item = cls->kind->factory();
        item->Serialize(reader);
        if (!reader.ok())
            return false;
        if (!zone.isUndefined()) {
            const double n = zone.toDouble(-1);
            if (!zone.isDouble() || n < 0 || n != std::floor(n) || n >= AreaZones::kMostZones) {
                reader.fail("zone", QStringLiteral("expected a zone number from 0"));
                return false;
            }
            // Zone 0 is every item's without a word: a project of one zone keeps its bytes.
            if (n > 0 && !ItemSettings::write(*item, AreaZones::kZoneKey, int(n))) {
                reader.fail("zone", QStringLiteral("the item's reservedText is no JSON object"));
                return false;
            }
        }
        area.appendItem(std::move(item));
        return true;
    });
}

bool readSections(const QJsonValue& v, CAct& area, QString* error)
{
    return readObjects(v, "sections", error, [&area](JsonReader& reader) {
        auto section = std::make_unique<SectionRecord>();
        section->Serialize(reader);
        if (!reader.ok())
            return false;
        area.adoptSection(std::move(section));
        return true;
    });
}

} // namespace

QJsonObject projectToJson(CAct& area)
{
    QJsonObject settings;
    JsonWriter settingsWriter(settings);
    area.SerializeSettings(settingsWriter);

    const std::vector<AreaZone> zones = area.zones();
    QJsonArray items;
    for (int i = 0; i < area.itemCount(); ++i) {
        CPropBase& item = *area.item(i);
        QJsonObject json{{QStringLiteral("class"), QLatin1String(item.className())}};
        JsonWriter writer(json);
        item.Serialize(writer);
        if (!zones.empty())
            json.insert(AreaZones::kZoneKey, AreaZones::zoneOf(item, int(zones.size())));
        items.append(json);
    }

    QJsonArray sections;
    for (const auto& section : area.sections()) {
        QJsonObject json;
        JsonWriter writer(json);
        section->Serialize(writer);
        sections.append(json);
    }

    QJsonObject project{{QStringLiteral("area"), settings},
                        {QStringLiteral("caption"), JsonWriter::textBlockJson(area.caption())},
                        {QStringLiteral("items"), items},
                        {QStringLiteral("sections"), sections}};
    if (!zones.empty())
        project.insert(AreaZones::kZonesKey, AreaZones::toJson(zones));
    return project;
}

bool projectFromJson(const QJsonObject& json, CAct& area, QString* errorText)
{
    QString error;
    JsonReader top(json, QStringLiteral("project"), &error);
    const QJsonValue settings = top.take("area");
    const QJsonValue caption = top.take("caption");
    const QJsonValue items = top.take("items");
    const QJsonValue sections = top.take("sections");
    const QJsonValue zones = top.take("zones");
    bool ok = top.finish();
    if (ok && !settings.isUndefined()) {
        if (settings.isObject()) {
            JsonReader reader(settings.toObject(), QStringLiteral("area"), &error);
            area.SerializeSettings(reader);
            ok = reader.finish();
        } else {
            error = QStringLiteral("area: expected an object");
            ok = false;
        }
    }
    if (ok && !caption.isUndefined())
        ok = JsonReader::readTextBlock(caption, QStringLiteral("caption"), area.caption(), &error);
    ok = ok && readItems(items, area, &error) && readSections(sections, area, &error);
    if (ok && !zones.isUndefined()) {
        std::vector<AreaZone> read;
        QString why;
        ok = AreaZones::fromJson(zones, &read, &why) && area.setZones(std::move(read), &why);
        if (!ok)
            error = QStringLiteral("zones: ") + why;
        const int count = std::max<int>(1, int(area.zones().size()));
        for (int i = 0; ok && i < area.itemCount(); ++i)
            if (ItemSettings::number(*area.item(i), AreaZones::kZoneKey, 0) >= count) {
                error = QStringLiteral("items[%1].zone: there is no such zone").arg(i);
                ok = false;
            }
    }
    if (!ok && errorText)
        *errorText = error;
    return ok;
}
