#include "base/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(SafeFileTest, AWriteThroughALinkKeepsTheLinkAndWritesItsTarget)
{
    // A project opened through a link (and a link to that link) in another folder.
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("projects") && QDir(dir.path()).mkpath("desk"));
    const QString target = dir.filePath("projects/show.zpm");
    ASSERT_EQ(SafeFile::write(target, "old"), SafeFile::Error::None);
    ASSERT_TRUE(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
    const QString link = dir.filePath("desk/show.zpm");
    const QString linkToLink = dir.filePath("desk/again.zpm");
    ASSERT_TRUE(QFile::link("../projects/show.zpm", link));
    ASSERT_TRUE(QFile::link("show.zpm", linkToLink));

    EXPECT_EQ(SafeFile::write(linkToLink, "new bytes"), SafeFile::Error::None);
    EXPECT_TRUE(QFileInfo(linkToLink).isSymLink());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(contents(target), "new bytes");
    EXPECT_EQ(QFile::permissions(target),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    // The temporary file was made beside the target and is gone; none was left beside the link.
    EXPECT_EQ(QDir(dir.filePath("projects")).entryList(QDir::Files | QDir::Hidden),
              QStringList{"show.zpm"});
    EXPECT_EQ(QDir(dir.filePath("desk")).entryList(QDir::Files | QDir::Hidden | QDir::System),
              (QStringList{"again.zpm", "show.zpm"}));

    // A link to nothing yet makes its target; a loop of links is no path.
    const QString dangling = dir.filePath("desk/new.zpm");
    ASSERT_TRUE(QFile::link(dir.filePath("projects/new.zpm"), dangling));
    EXPECT_EQ(SafeFile::write(dangling, "made"), SafeFile::Error::None);
    EXPECT_TRUE(QFileInfo(dangling).isSymLink());
    EXPECT_EQ(contents(dir.filePath("projects/new.zpm")), "made");
    ASSERT_TRUE(QFile::link("loop-b", dir.filePath("desk/loop-a")));
    ASSERT_TRUE(QFile::link("loop-a", dir.filePath("desk/loop-b")));
    EXPECT_EQ(SafeFile::write(dir.filePath("desk/loop-a"), "x"), SafeFile::Error::BadPath);
}
