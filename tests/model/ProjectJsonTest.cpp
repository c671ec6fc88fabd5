#include "model/ProjectJson.h"
#include "model/CAct.h"
#include "model/CPropImage.h"
#include "model/CPropText.h"
#include "model/ProjectFile.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

QJsonObject parse(const char* json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(json), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
    return doc.object();
}

QString refusal(const char* json)
{
    CAct area;
    QString error;
    EXPECT_FALSE(projectFromJson(parse(json), area, &error)) << json;
    return error;
}

} // namespace

TEST(ProjectJson, DumpThenMakeGivesTheSameBytes)
{
    CAct area;
    area.changeSettings([&](AreaSettings& s) {
        s.ledWidth = 1024;
        s.frameColor = static_cast<int>(0xFFFFFFFF);
    });
    area.caption().name = QStringLiteral("标题");
    area.AddFile(QStringLiteral("/节目/a.txt"));
    area.AddFile(QStringLiteral("b.jpg"));
    static_cast<CPropImage*>(area.item(1))->texts.push_back(std::make_unique<CMyText>());
    static_cast<CPropImage*>(area.item(1))->texts.back()->rect = {-5, 1, 2, 3};
    area.AddFile(QStringLiteral("c.xls"));
    area.adoptSection(std::make_unique<SectionRecord>(0, 512, 3));
    area.adoptSection(std::make_unique<SectionRecord>(1, 512, 0));

    const QJsonObject json = projectToJson(area);
    // Through text, as the tool passes it.
    const QJsonObject reparsed = QJsonDocument::fromJson(QJsonDocument(json).toJson()).object();
    CAct made;
    QString error;
    ASSERT_TRUE(projectFromJson(reparsed, made, &error)) << error.toStdString();
    EXPECT_EQ(projectToBytes(made), projectToBytes(area));

    EXPECT_EQ(json["items"].toArray()[0].toObject()["class"].toString(), "CPropText");
    EXPECT_EQ(json["items"].toArray()[0].toObject()["filePath"].toString(),
              QStringLiteral("/节目/a.txt"));
    EXPECT_EQ(
        json["items"].toArray()[1].toObject()["texts"].toArray()[0].toObject()["rect"].toArray(),
        QJsonArray({-5, 1, 2, 3}));
    EXPECT_EQ(json["area"].toObject()["ledWidth"].toInt(), 1024);
}

TEST(ProjectJson, LeftOutFieldsTakeTheirDefaults)
{
    CAct area;
    QString error;
    ASSERT_TRUE(projectFromJson(parse(R"({"area": {"ledHeight": 32, "frameColor": 4294967295},
        "items": [{"class": "CPropText", "filePath": "n.txt", "bold": 1}],
        "sections": [{"sectionLength": 480}]})"),
                                area, &error))
        << error.toStdString();
    EXPECT_EQ(area.settings().ledHeight, 32);
    EXPECT_EQ(area.settings().ledWidth, 480);
    EXPECT_EQ(area.settings().reserved1, 32);
    EXPECT_EQ(area.settings().frameColor, -1);
    ASSERT_EQ(area.itemCount(), 1);
    const auto* text = static_cast<const CPropText*>(area.item(0));
    EXPECT_EQ(text->bold, 1);
    EXPECT_EQ(text->fontName, QStringLiteral("宋体"));
    EXPECT_EQ(text->holdTime, 20);
    EXPECT_EQ(area.caption().name, QStringLiteral("文字"));
    EXPECT_EQ(area.sections().at(0)->sectionLength, 480);
}

TEST(ProjectJson, MistakesAreRefusedWithTheirPlace)
{
    EXPECT_EQ(refusal(R"({"items": [{"class": "CPropText", "fontSize": "big"}]})"),
              "items[0].fontSize: expected a 32-bit integer");
    EXPECT_EQ(refusal(R"({"items": [{"class": "CPropText", "fontsize": 9}]})"),
              "items[0]: unknown field \"fontsize\"");
    EXPECT_TRUE(refusal(R"({"items": [{"class": "CActWnd"}]})")
                    .startsWith("items[0].class: expected one of"));
    EXPECT_TRUE(refusal(R"({"items": [{"filePath": "a.txt"}]})").startsWith("items[0].class"));
    EXPECT_EQ(refusal(R"({"items": [{"class": "CPropImage", "texts": [{"rect": [1, 2, 3]}]}]})"),
              "items[0].texts[0].rect: expected [left, top, right, bottom]");
    EXPECT_EQ(refusal(R"({"area": {"ledWidth": 1.5}})"),
              "area.ledWidth: expected a 32-bit integer");
    EXPECT_EQ(refusal(R"({"area": {"ledWidth": 4294967296}})"),
              "area.ledWidth: expected a 32-bit integer");
    EXPECT_EQ(refusal(R"({"caption": {"name": 5}})"), "caption.name: expected a string");
    EXPECT_EQ(refusal(R"({"sections": {}})"), "sections: expected an array");
    EXPECT_EQ(refusal(R"({"sections": [{"sectionLength": 1, "length": 2}]})"),
              "sections[0]: unknown field \"length\"");
    EXPECT_EQ(refusal(R"({"itmes": []})"), "project: unknown field \"itmes\"");
}
