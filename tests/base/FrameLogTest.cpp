#include "base/FrameLog.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(FrameLog, OneLinePerPaintedStepAfterAHeader)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("frames.log");
    EXPECT_FALSE(FrameLog::enabled());
    FrameLog::write(1, 2, 3, 4, 5); // closed: nothing
    ASSERT_TRUE(FrameLog::open(path));
    EXPECT_TRUE(FrameLog::enabled());
    FrameLog::write(1000016666, 1000000000, 0, 7, 1);
    FrameLog::write(1000033333, 1000016667, 0, 8, 1);
    FrameLog::close();
    EXPECT_FALSE(FrameLog::enabled());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "# paintNs deadlineNs item step section\n"
                              "1000016666 1000000000 0 7 1\n"
                              "1000033333 1000016667 0 8 1\n");
    EXPECT_FALSE(FrameLog::open(dir.filePath("no/such/folder/frames.log")));
    EXPECT_FALSE(FrameLog::enabled());
}
