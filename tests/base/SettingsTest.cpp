#include "base/RecentFileList.h"
#include "base/SettingsStore.h"
#include "support/TestSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

class SettingsTest : public testing::Test
{
protected:
    void SetUp() override { TestSettings::clear(); }
};

} // namespace

TEST_F(SettingsTest, MissingKeysGiveTheDefault)
{
    EXPECT_EQ(SettingsStore::readInt("Tessarin", "Language", 0), 0);
    EXPECT_EQ(SettingsStore::readInt("Window", "Width", 480), 480);
    EXPECT_EQ(SettingsStore::readString("open", "Resent file"), QString());
}

TEST_F(SettingsTest, ValuesLiveUnderMorvoInTheTestFolder)
{
    SettingsStore::writeInt("Tessarin", "AutoPlay", 1);
    SettingsStore::writeString("open", "Resent file", QStringLiteral("/tmp/节目.zpm"));
    EXPECT_EQ(SettingsStore::readInt("Tessarin", "AutoPlay", 0), 1);
    EXPECT_EQ(SettingsStore::readString("open", "Resent file"), QStringLiteral("/tmp/节目.zpm"));
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Morvo", "Tessarin");
    EXPECT_TRUE(store.fileName().startsWith(TestSettings::folder()))
        << store.fileName().toStdString();
    EXPECT_FALSE(store.fileName().startsWith(QDir::homePath() + "/.config"));
}

TEST_F(SettingsTest, NonNumericIntegerReadsAsDefault)
{
    SettingsStore::writeString("Window", "Width", QStringLiteral("wide"));
    EXPECT_EQ(SettingsStore::readInt("Window", "Width", 480), 480);
}

TEST_F(SettingsTest, SwitchesReadAsPeopleAndQSettingsWriteThem)
{
    // Written by hand, as an operator edits the file.
    const QString fileName =
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "Morvo", "Tessarin").fileName();
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QFile file(fileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Remote]\nEnabled=true\n\n[Tessarin]\nAutoPlay=Yes\n\n[Switches]\n"
               "a=ON\nb=1\nc=False\nd=no\ne=off\nf=0\ng= TRUE \nh=maybe\ni=2\nj=\n");
    file.close();
    EXPECT_TRUE(SettingsStore::readBool("Remote", "Enabled", false));
    EXPECT_TRUE(SettingsStore::readBool("Tessarin", "AutoPlay", false));
    for (const char* on : {"a", "b", "g", "i"})
        EXPECT_TRUE(SettingsStore::readBool("Switches", on, false)) << on;
    for (const char* off : {"c", "d", "e", "f"})
        EXPECT_FALSE(SettingsStore::readBool("Switches", off, true)) << off;
    // What is no switch, or not there, is the default.
    EXPECT_TRUE(SettingsStore::readBool("Switches", "h", true));
    EXPECT_FALSE(SettingsStore::readBool("Switches", "h", false));
    EXPECT_TRUE(SettingsStore::readBool("Switches", "j", true));
    EXPECT_FALSE(SettingsStore::readBool("Switches", "missing", false));
    // What the program writes reads back.
    SettingsStore::writeInt("Remote", "Enabled", 0);
    EXPECT_FALSE(SettingsStore::readBool("Remote", "Enabled", true));
}

TEST_F(SettingsTest, RecentListKeepsSixMostRecentFirst)
{
    RecentFileList list;
    list.load();
    for (int i = 1; i <= 8; ++i)
        list.add(QStringLiteral("/p/%1.zpm").arg(i));
    ASSERT_EQ(list.entries().size(), 6);
    EXPECT_EQ(list.entries().front(), "/p/8.zpm");
    EXPECT_EQ(list.entries().back(), "/p/3.zpm");

    list.add("/p/5.zpm"); // moves to the top, no duplicate
    EXPECT_EQ(list.entries().front(), "/p/5.zpm");
    EXPECT_EQ(list.entries().count("/p/5.zpm"), 1);

    RecentFileList reloaded;
    reloaded.load();
    EXPECT_EQ(reloaded.entries(), list.entries());
    EXPECT_EQ(SettingsStore::readString("Recent File List", "File1"), "/p/5.zpm");
    EXPECT_EQ(SettingsStore::readString("Recent File List", "File6"), "/p/3.zpm");
}

TEST_F(SettingsTest, OnlyItsOwnerReadsTheStore)
{
    // It holds the remote token: owner read and write only, from the first write on, and again
    // after a write when something widened it.
    const QString fileName =
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "Morvo", "Tessarin").fileName();
    QFile::remove(fileName);
    const auto ownerOnly =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
    ASSERT_TRUE(SettingsStore::writeString("Remote", "Token", "secret"));
    EXPECT_EQ(QFile::permissions(fileName), ownerOnly);
    ASSERT_TRUE(QFile::setPermissions(fileName, ownerOnly | QFile::ReadGroup | QFile::ReadOther));
    ASSERT_TRUE(SettingsStore::writeInt("Remote", "Port", 8734));
    EXPECT_EQ(QFile::permissions(fileName), ownerOnly);
    EXPECT_EQ(SettingsStore::readString("Remote", "Token"), "secret");
}
