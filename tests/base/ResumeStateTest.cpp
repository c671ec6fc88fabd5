#include "base/ResumeState.h"

#include <QFile>

#include <gtest/gtest.h>

TEST(ResumeState, OnlyAnUncleanEndWhilePlayingResumes)
{
    QFile::remove(ResumeState::path());
    ResumeState none = ResumeState::load();
    EXPECT_TRUE(none.clean);
    EXPECT_FALSE(none.shouldResume());

    ResumeState playing{QStringLiteral("/walls/节目.zpm"), 2, true, false};
    ASSERT_TRUE(playing.save());
    ResumeState back = ResumeState::load();
    EXPECT_EQ(back.project, playing.project);
    EXPECT_EQ(back.item, 2);
    EXPECT_TRUE(back.shouldResume());

    back.clean = true; // a clean exit
    ASSERT_TRUE(back.save());
    EXPECT_FALSE(ResumeState::load().shouldResume());
    ResumeState stopped{QStringLiteral("/walls/a.zpm"), 1, false, false}; // a user's Stop
    ASSERT_TRUE(stopped.save());
    EXPECT_FALSE(ResumeState::load().shouldResume());

    // A broken file is no reason to resume anything.
    QFile file(ResumeState::path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{\"playing\": tru");
    file.close();
    EXPECT_FALSE(ResumeState::load().shouldResume());
    QFile::remove(ResumeState::path());
}
