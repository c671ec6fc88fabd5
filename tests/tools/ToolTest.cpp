#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ToolRun
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

ToolRun tool(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(TESSARIN_TOOL), args);
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitCode(), process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class ToolTest : public testing::Test
{
protected:
    QString path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }

private:
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(ToolTest, MakeDumpMakeGivesTheSameBytes)
{
    writeFile(path("in.json"), R"({"area": {"ledWidth": 960},
        "items": [{"class": "CPropText", "filePath": "/节目/通知.txt"},
                  {"class": "CPropImage", "filePath": "p.bmp", "texts": [{"content": "字"}]}],
        "sections": [{"sectionLength": 480}, {"sectionIndex": 1, "sectionLength": 480}]})");
    ToolRun made = tool({"make", path("in.json"), path("a.zpm")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();

    ToolRun dumped = tool({"dump", path("a.zpm")});
    ASSERT_EQ(dumped.exitCode, 0) << dumped.err.toStdString();
    EXPECT_TRUE(dumped.out.contains("\"/节目/通知.txt\"")) << dumped.out.toStdString();
    writeFile(path("dump.json"), dumped.out);

    ASSERT_EQ(tool({"make", path("dump.json"), path("b.zpm")}).exitCode, 0);
    EXPECT_EQ(readFile(path("b.zpm")), readFile(path("a.zpm")));
    EXPECT_FALSE(readFile(path("a.zpm")).isEmpty());
}

TEST_F(ToolTest, BadInputFailsWithAMessageAndTouchesNothing)
{
    writeFile(path("old.zpm"), "previous project");
    writeFile(path("broken.json"), "{\"items\": [");
    ToolRun broken = tool({"make", path("broken.json"), path("old.zpm")});
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_TRUE(broken.err.contains("not valid JSON")) << broken.err.toStdString();
    writeFile(path("typo.json"), R"({"items": [{"class": "CPropTxt"}]})");
    ToolRun typo = tool({"make", path("typo.json"), path("old.zpm")});
    EXPECT_EQ(typo.exitCode, 1);
    EXPECT_TRUE(typo.err.contains("items[0].class")) << typo.err.toStdString();
    EXPECT_EQ(readFile(path("old.zpm")), "previous project");

    ToolRun notProject = tool({"dump", path("old.zpm")});
    EXPECT_EQ(notProject.exitCode, 1);
    EXPECT_TRUE(notProject.out.isEmpty());
    EXPECT_TRUE(notProject.err.contains(QStringLiteral("时超过它的结尾")))
        << notProject.err.toStdString();

    ToolRun missing = tool({"dump", path("missing.zpm")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("missing.zpm"));

    EXPECT_EQ(tool({"frobnicate"}).exitCode, 2);
}
