#include "support/TestVideos.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
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

TEST_F(ToolTest, RenderWritesTheLedRectangleAndALogLinePerPage)
{
    QByteArray text;
    for (int i = 0; i < 8; ++i)
        text += "line " + QByteArray::number(i) + "\n";
    writeFile(path("t.txt"), text);
    writeFile(path("p.json"),
              QStringLiteral(R"({"area": {"ledWidth": 200, "ledHeight": 40, "frameLines": 1,
        "frameColor": 255, "splitMode": 0},
        "items": [{"class": "CPropText", "filePath": "%1", "effect": 3, "holdTime": 50}],
        "sections": [{"sectionLength": 100}, {"sectionIndex": 1, "sectionLength": 100, "sectionPos": 20}]})")
                  .arg(path("t.txt"))
                  .toUtf8());
    ASSERT_EQ(tool({"make", path("p.json"), path("p.zpm")}).exitCode, 0);
    const ToolRun run = tool({"render", path("p.zpm"), path("out"), "--fast", "--loops", "2"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    const QList<QByteArray> lines = readFile(path("out/log.jsonl")).trimmed().split('\n');
    // The frame takes 2 of the 40 rows: (38 - 4) / (16 + 2) gives one line a page, 8 pages a loop.
    ASSERT_EQ(lines.size(), 16);
    const QJsonObject first = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(first["file"].toString(), "0001.png");
    EXPECT_EQ(first["item"].toInt(), 0);
    EXPECT_EQ(first["class"].toString(), "CPropText");
    EXPECT_EQ(first["page"].toInt(), 1);
    EXPECT_EQ(first["effect"].toInt(), 3);
    EXPECT_EQ(first["linesPerPage"].toInt(), 1);
    EXPECT_EQ(first["lines"].toInt(), 1);
    EXPECT_EQ(QJsonDocument::fromJson(lines[8]).object()["page"].toInt(), 1); // the second loop

    // The desktop to the farthest window: section 1 at (20, 40), 100 x 40.
    const QImage shot(path("out/0001.png"));
    ASSERT_EQ(shot.size(), QSize(120, 80));
    EXPECT_EQ(shot.pixel(0, 0), qRgb(255, 0, 0));    // frame
    EXPECT_EQ(shot.pixel(10, 79), qRgb(0, 0, 0));    // no window there
    EXPECT_EQ(shot.pixel(119, 40), qRgb(255, 0, 0)); // frame of section 1
    EXPECT_TRUE(QFile::exists(path("out/0016.png")));
    EXPECT_FALSE(QFile::exists(path("out/0017.png")));
}

TEST_F(ToolTest, RenderOfABadProjectFails)
{
    writeFile(path("bad.zpm"), "\x01\x02");
    const ToolRun run = tool({"render", path("bad.zpm"), path("out"), "--fast"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("时超过它的结尾"))) << run.err.toStdString();
    EXPECT_EQ(tool({"render", path("bad.zpm")}).exitCode, 2);
}

TEST_F(ToolTest, RenderKeepsEveryColourOfAPicture)
{
    // More than 256 colours: the pictures are written as full-colour PNGs.
    QImage gradient(64, 32, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            gradient.setPixel(x, y, qRgb(x * 4, y * 8, (x + y) * 2));
    ASSERT_TRUE(gradient.save(path("back.png")));
    writeFile(path("t.txt"), "x");
    writeFile(path("p.json"), QStringLiteral(R"({"area": {"ledWidth": 64, "ledHeight": 32},
        "items": [{"class": "CPropText", "filePath": "%1", "backImagePath": "%2", "backFitMode": 0,
                   "textColor": 0, "effect": 1}],
        "sections": [{"sectionLength": 64}]})")
                                  .arg(path("t.txt"), path("back.png"))
                                  .toUtf8());
    ASSERT_EQ(tool({"make", path("p.json"), path("p.zpm")}).exitCode, 0);
    ASSERT_EQ(tool({"render", path("p.zpm"), path("out"), "--fast"}).exitCode, 0);
    const QImage shot(path("out/0001.png"));
    ASSERT_EQ(shot.size(), QSize(64, 32));
    EXPECT_EQ(shot.pixel(63, 31), gradient.pixel(63, 31));
    EXPECT_EQ(shot.pixel(40, 20), gradient.pixel(40, 20));
}

TEST_F(ToolTest, ImagesPlayInOrderInRealTime)
{
    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(path("p.bmp")));
    QString items;
    for (int hold = 1; hold <= 3; ++hold)
        items += QStringLiteral(
                     R"(%1{"class": "CPropImage", "filePath": "%2", "holdTime": %3, "effect": 51,
                                 "clearEffect": 1})")
                     .arg(hold > 1 ? "," : "", path("p.bmp"))
                     .arg(hold);
    writeFile(path("p.json"),
              QStringLiteral(R"({"area": {"ledWidth": 40, "ledHeight": 20}, "items": [%1],
        "sections": [{"sectionLength": 40}]})")
                  .arg(items)
                  .toUtf8());
    ASSERT_EQ(tool({"make", path("p.json"), path("p.zpm")}).exitCode, 0);
    const ToolRun run = tool({"render", path("p.zpm"), path("out"), "--loops", "2"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QList<int> order;
    for (const QByteArray& line : readFile(path("out/log.jsonl")).trimmed().split('\n')) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        EXPECT_EQ(entry["phase"].toString(), "shown");
        order << entry["item"].toInt();
    }
    EXPECT_EQ(order, QList<int>({0, 1, 2, 0, 1, 2}));
}

TEST_F(ToolTest, RenderWritesEveryFrameOfAnAnimatedGifsFirstPass)
{
    const QString gif = QStringLiteral(TESSARIN_TEST_DATA "/gif/dispose-previous.gif");
    writeFile(path("p.json"),
              QStringLiteral(R"({"area": {"ledWidth": 40, "ledHeight": 30}, "items": [
                    {"class": "CPropGif", "filePath": "%1", "reservedText": "{\"playSeconds\": 2}"}],
                  "sections": [{"sectionLength": 40}]})")
                  .arg(gif)
                  .toUtf8());
    ASSERT_EQ(tool({"make", path("p.json"), path("p.zpm")}).exitCode, 0);
    const ToolRun run = tool({"render", path("p.zpm"), path("out"), "--fast"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QList<int> delays;
    int frame = 0;
    for (const QByteArray& line : readFile(path("out/log.jsonl")).trimmed().split('\n')) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        EXPECT_EQ(entry["phase"].toString(), "frame");
        EXPECT_EQ(entry["frame"].toInt(), frame++);
        delays << entry["delayMs"].toInt();
    }
    EXPECT_EQ(delays, QList<int>({100, 200, 200, 500}));
    // The LED picture of the second frame: the red square over the navy first frame.
    const QImage second(path("out/0002.png"));
    ASSERT_EQ(second.size(), QSize(40, 30));
    EXPECT_EQ(second.pixel(10, 10), qRgb(255, 0, 0));
    EXPECT_EQ(second.pixel(30, 2), qRgb(0, 0, 128));
    // Restored to the previous frame before the third.
    EXPECT_EQ(QImage(path("out/0003.png")).pixel(10, 10), qRgb(0, 0, 128));
}

TEST_F(ToolTest, RenderEveryAndClockFollowAMarqueeAndAClockInPlayTime)
{
    writeFile(path("ticker.txt"), "ticker");
    writeFile(path("clock.txt"), "{time}");
    writeFile(path("p.json"),
              QStringLiteral(R"({"area": {"ledWidth": 120, "ledHeight": 20}, "items": [
                    {"class": "CPropText", "filePath": "%1", "reservedText":
                        "{\"marquee\": {\"direction\": \"left\", \"pixelsPerSecond\": 120}}"},
                    {"class": "CPropText", "filePath": "%2", "holdTime": 20, "effect": 1,
                     "reservedText": "{\"fields\": true}"}],
                  "sections": [{"sectionLength": 60}, {"sectionLength": 60}]})")
                  .arg(path("ticker.txt"), path("clock.txt"))
                  .toUtf8());
    ASSERT_EQ(tool({"make", path("p.json"), path("p.zpm")}).exitCode, 0);
    const ToolRun run = tool({"render", path("p.zpm"), path("out"), "--fast", "--every", "250",
                              "--clock", "2026-12-08T09:15:30.200"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QList<qint64> ticks;
    QStringList phases;
    for (const QByteArray& line : readFile(path("out/log.jsonl")).trimmed().split('\n')) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        phases << entry["phase"].toString();
        if (entry["phase"].toString() == "tick")
            ticks << entry["timeMs"].toInteger();
    }
    // Ticks every 250 ms of play time: the marquee's pass (about 1.3 s), the clock's 2.1 s.
    ASSERT_GE(ticks.size(), 10);
    for (qsizetype i = 0; i < ticks.size(); ++i)
        EXPECT_EQ(ticks[i], 250 * (i + 1));
    EXPECT_TRUE(phases.contains("pass"));
    // The clock page (shown at 09:15:31.7, after the pass and the turning page's pause) turned
    // its seconds twice while it held: 09:15:32 and 09:15:33.
    EXPECT_EQ(phases.count("fields"), 2);

    EXPECT_EQ(tool({"render", path("p.zpm"), path("bad"), "--clock", "yesterday"}).exitCode, 2);
    EXPECT_EQ(tool({"render", path("p.zpm"), path("bad"), "--every", "0"}).exitCode, 2);
}

TEST_F(ToolTest, RenderAppliesSchedulesAtItsClock)
{
    writeFile(path("a.txt"), "all");
    writeFile(path("b.txt"), "eve");
    writeFile(path("p.json"),
              QStringLiteral(R"({"area": {"ledWidth": 60, "ledHeight": 20}, "items": [
                    {"class": "CPropText", "filePath": "%1", "effect": 51, "holdTime": 1},
                    {"class": "CPropText", "filePath": "%2", "effect": 51, "holdTime": 1,
                     "reservedText": "{\"schedule\": {\"start\": \"18:00\", \"end\": \"23:00\"}}"}],
                  "sections": [{"sectionLength": 60}]})")
                  .arg(path("a.txt"), path("b.txt"))
                  .toUtf8());
    ASSERT_EQ(tool({"make", path("p.json"), path("p.zpm")}).exitCode, 0);
    const auto phases = [&](const char* clock, const char* out) {
        EXPECT_EQ(tool({"render", path("p.zpm"), path(out), "--fast", "--clock", clock}).exitCode,
                  0);
        QStringList lines;
        for (const QByteArray& line :
             readFile(path(qPrintable(QStringLiteral("%1/log.jsonl").arg(out))))
                 .trimmed()
                 .split('\n')) {
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            lines << QStringLiteral("%1:%2%3")
                         .arg(entry["item"].toInt())
                         .arg(entry["phase"].toString())
                         .arg(entry.contains("reason") ? "/" + entry["reason"].toString() : "");
        }
        return lines;
    };
    EXPECT_EQ(phases("2026-12-08T09:15:30", "morning"), QStringList({"0:", "1:skipped/schedule"}));
    EXPECT_EQ(phases("2026-12-08T19:00:00", "evening"), QStringList({"0:", "1:"}));
}

TEST_F(ToolTest, AVideoItemIsMadeDumpedAndRenderedOnItsClock)
{
    if (!TestVideos::haveFfmpeg())
        GTEST_SKIP() << "no ffmpeg command to make a test video with";
    const QString video =
        TestVideos::make(QFileInfo(path("x")).absolutePath(), QStringLiteral("clip.mp4"), {64, 48},
                         QStringLiteral("25"), 1.0);
    ASSERT_FALSE(video.isEmpty());
    writeFile(path("p.json"),
              QStringLiteral(R"({"area": {"ledWidth": 64, "ledHeight": 48}, "items": [
                    {"class": "CPropVideo", "filePath": "%1", "effect": 99, "fitMode": 2,
                     "clearEffect": 1, "reservedText": "{\"loops\": 1, \"volume\": 40}"}],
                  "sections": [{"sectionLength": 64}]})")
                  .arg(video)
                  .toUtf8());
    ToolRun made = tool({"make", path("p.json"), path("p.zpm")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    ToolRun dumped = tool({"dump", path("p.zpm")});
    ASSERT_EQ(dumped.exitCode, 0);
    EXPECT_TRUE(dumped.out.contains("\"CPropVideo\"")) << dumped.out.toStdString();
    EXPECT_TRUE(dumped.out.contains("volume")) << dumped.out.toStdString();
    writeFile(path("dump.json"), dumped.out);
    ASSERT_EQ(tool({"make", path("dump.json"), path("q.zpm")}).exitCode, 0);
    EXPECT_EQ(readFile(path("q.zpm")), readFile(path("p.zpm")));

    // Every 70 ms of play time, the frame due then (never on a refresh a frame starts on).
    const ToolRun run = tool({"render", path("p.zpm"), path("out"), "--fast", "--every", "70"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    int ticks = 0;
    for (const QByteArray& line : readFile(path("out/log.jsonl")).trimmed().split('\n')) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        if (entry["phase"].toString() != "tick")
            continue;
        const qint64 t = entry["timeMs"].toInteger();
        int due = 0;
        for (int n = 0; n < 25; ++n)
            if ((n * 12 + 4) / 5 * 1000 < t * 60) // frame n's first refresh (60 Hz): ceil(2.4 n)
                due = n;
        const QImage picture(path("out/") + entry["file"].toString());
        ASSERT_EQ(picture.size(), QSize(64, 48));
        if (t < 1000) {
            EXPECT_EQ(TestVideos::readNumber(picture, picture.rect()), due) << "at " << t;
        }
        ++ticks;
    }
    EXPECT_EQ(ticks, 14); // 70 .. 980 ms: the item ends with its last frame at 1 s
}
