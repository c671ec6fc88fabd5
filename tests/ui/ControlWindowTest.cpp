#include "ScriptedPrompts.h"
#include "base/Language.h"
#include "base/Notifications.h"
#include "base/RecentFileList.h"
#include "base/SettingsStore.h"
#include "control/RemoteBridge.h"
#include "model/CAct.h"
#include "model/CPropImage.h"
#include "model/CPropText.h"
#include "remote/RemoteServer.h"
#include "remote/RemoteSettings.h"
#include "support/TestSettings.h"
#include "support/TestVideos.h"
#include "ui/CDlgSeting.h"
#include "ui/CTessarinDlg.h"
#include "ui/ZoneEditor.h"
#include "ui/ZonePanel.h"
#include "ui/widgets/UserPrompts.h"
#include "ui/widgets/WindowPlacement.h"

#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "control/ProjectController.h"

#include <QFont>
#include <QListView>

#include <gtest/gtest.h>

#include <deque>
#include <functional>

namespace {

enum Id
{
    New = 1057,
    Play = 1141,
    Pause = 1137,
    Stop = 1011,
    Delete = 1012,
    MoveUp = 1064,
    MoveDown = 1065,
    Edit = 1020,
};

class ControlWindowTest : public testing::Test
{
protected:
    void SetUp() override
    {
        TestSettings::clear();
        recent.load();
    }

    std::unique_ptr<CTessarinDlg> open()
    {
        return std::make_unique<CTessarinDlg>(recent, &prompts);
    }

    QString textFile(const char* name, int lines = 1)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < lines; ++i)
            file.write("text\n");
        return path;
    }

    // A window with n text items that hold for a minute.
    std::unique_ptr<CTessarinDlg> withItems(int n)
    {
        auto w = open();
        prompts.addFiles.clear();
        for (int i = 0; i < n; ++i)
            prompts.addFiles << textFile(qPrintable(QStringLiteral("f%1.txt").arg(i)));
        w->onAddFile();
        for (int i = 0; i < n; ++i)
            static_cast<CPropText*>(w->area()->item(i))->holdTime = 600;
        return w;
    }

    static bool enabled(CTessarinDlg& w, int id) { return w.button(id)->isEnabled(); }

    QTemporaryDir dir;
    RecentFileList recent;
    ScriptedPrompts prompts;
};

} // namespace

TEST_F(ControlWindowTest, StartWithoutALastProjectMakesANewOne)
{
    auto w = open();
    EXPECT_TRUE(w->editMode());
    EXPECT_TRUE(w->projectPath().isEmpty());
    ASSERT_EQ(w->area()->sections().size(), 1u);
    EXPECT_EQ(w->area()->TotalRect(), QRect(0, 0, 480, 360));
    EXPECT_TRUE(enabled(*w, Play));
    EXPECT_FALSE(enabled(*w, Pause));
    EXPECT_FALSE(enabled(*w, Stop));
    EXPECT_TRUE(w->hintLabel()->isVisibleTo(w.get()));
    w->onPlay(); // nothing to play
    EXPECT_FALSE(w->area()->isPlaying());
    EXPECT_FALSE(w->isModified()); // nothing in a new project yet: nothing to lose
}

TEST_F(ControlWindowTest, PlayPauseStopButtonStates)
{
    auto w = withItems(2);
    w->onPlay();
    EXPECT_FALSE(enabled(*w, Play));
    EXPECT_TRUE(enabled(*w, Pause));
    EXPECT_TRUE(enabled(*w, Stop));
    EXPECT_FALSE(w->editMode()); // compact while playing
    EXPECT_TRUE(w->area()->isPlaying());
    w->onPause();
    EXPECT_TRUE(enabled(*w, Play));
    EXPECT_FALSE(enabled(*w, Pause));
    EXPECT_TRUE(enabled(*w, Stop));
    EXPECT_TRUE(w->area()->isPaused());
    // Play after Pause resumes where the wall was.
    w->onStop();
    ASSERT_TRUE(w->controller()->playItem(1));
    w->onPause();
    w->onPlay();
    EXPECT_EQ(w->area()->currentIndex(), 1);
    EXPECT_FALSE(w->area()->isPaused());
    EXPECT_TRUE(w->area()->isPlaying());
    EXPECT_FALSE(enabled(*w, Play));
    // Play on a stopped wall starts from the first item.
    w->onStop();
    w->onPlay();
    EXPECT_EQ(w->area()->currentIndex(), 0);
    w->onStop();
    EXPECT_TRUE(enabled(*w, Play));
    EXPECT_FALSE(enabled(*w, Pause));
    EXPECT_FALSE(enabled(*w, Stop));
    EXPECT_FALSE(w->area()->isPlaying());
}

TEST_F(ControlWindowTest, AddDeleteAndMoveFiles)
{
    auto w = withItems(3);
    QAbstractItemModel* list = w->fileList()->model();
    const auto line = [list](int row) { return list->index(row, 0).data().toString(); };
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_EQ(line(0), "f0.txt");
    EXPECT_EQ(w->currentRow(), 2); // the last added
    EXPECT_EQ(prompts.lastFilter.split('|').first(), "All Files");
    EXPECT_FALSE(enabled(*w, MoveDown));
    EXPECT_TRUE(enabled(*w, MoveUp));

    w->onDeleteFile(); // the last of three: line 1 selected
    EXPECT_EQ(list->rowCount(), 2);
    EXPECT_EQ(w->currentRow(), 1);
    EXPECT_EQ(w->area()->itemCount(), 2);

    w->setCurrentRow(0);
    EXPECT_FALSE(enabled(*w, MoveUp));
    w->onMoveUpFile(); // nothing on line 0
    EXPECT_EQ(line(0), "f0.txt");
    w->onMoveDownFile();
    EXPECT_EQ(line(1), "f0.txt");
    EXPECT_EQ(w->area()->item(1)->filePath, dir.filePath("f0.txt"));
    EXPECT_EQ(w->currentRow(), 1);

    w->onDeleteFile();
    w->onDeleteFile(); // the only one
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_EQ(w->currentRow(), -1);
    EXPECT_TRUE(w->hintLabel()->isVisibleTo(w.get()));
    EXPECT_EQ(w->pageHost().shownIndex(), -1);
    EXPECT_FALSE(enabled(*w, Delete));
    EXPECT_TRUE(w->isModified());
}

TEST_F(ControlWindowTest, AddFileSkipsWhatNoItemPlays)
{
    auto w = open();
    prompts.addFiles = QStringList{dir.filePath("movie.swf"), textFile("a.txt")};
    w->onAddFile();
    EXPECT_EQ(w->fileList()->model()->rowCount(), 1);
    prompts.addFiles = QStringList{dir.filePath("movie.swf")};
    w->onAddFile();
    EXPECT_EQ(w->currentRow(), 0); // the line selected before stays
}

TEST_F(ControlWindowTest, SaveNamesAndReplace)
{
    auto w = withItems(1);
    prompts.savePaths << dir.filePath("Show");
    w->onSave();
    EXPECT_EQ(w->projectPath(), dir.filePath("show.zpm"));
    EXPECT_TRUE(QFile::exists(dir.filePath("show.zpm")));
    EXPECT_FALSE(w->isModified());
    EXPECT_EQ(SettingsStore::readString("open", "Resent file"), dir.filePath("show.zpm"));
    EXPECT_EQ(recent.entries().front(), dir.filePath("show.zpm"));

    // Replace answered No: the save-as dialog opens with the current path.
    prompts.answers = {false};
    prompts.savePaths << dir.filePath("A.ZPM");
    w->onSave();
    EXPECT_EQ(prompts.questions.back(), QStringLiteral("Replace Current File?"));
    EXPECT_EQ(prompts.savePrefills.back(), dir.filePath("show.zpm"));
    EXPECT_EQ(w->projectPath(), dir.filePath("a.zpm"));
    EXPECT_TRUE(QFile::exists(dir.filePath("a.zpm")));
}

TEST_F(ControlWindowTest, AFailedSaveIsReportedAndNotRecorded)
{
    auto w = withItems(1);
    prompts.savePaths << dir.filePath("no/such/folder/x.zpm");
    w->onSave();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(w->isModified());
    EXPECT_TRUE(w->projectPath().isEmpty());
    EXPECT_TRUE(SettingsStore::readString("open", "Resent file").isEmpty());
}

TEST_F(ControlWindowTest, OpenAProjectAndAFileThatIsNone)
{
    QString projectPath;
    {
        auto w = withItems(2);
        prompts.savePaths << dir.filePath("p.zpm");
        w->onSave();
        projectPath = w->projectPath();
    }
    auto w = open();
    prompts.openPaths << projectPath;
    w->onOpen();
    EXPECT_EQ(w->fileList()->model()->rowCount(), 2);
    EXPECT_EQ(w->currentRow(), 0);
    EXPECT_FALSE(w->isModified());
    EXPECT_EQ(w->projectPath(), projectPath);

    QFile junk(dir.filePath("junk.zpm"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("junk");
    junk.close();
    prompts.openPaths << junk.fileName();
    w->onOpen();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].contains(QStringLiteral("junk.zpm")));
    // Read aside first: the project that was open stays, windows and all.
    EXPECT_EQ(w->fileList()->model()->rowCount(), 2);
    EXPECT_EQ(w->projectPath(), projectPath);
    EXPECT_EQ(w->area()->sections().size(), 1u);
    EXPECT_FALSE(w->isModified());
}

TEST_F(ControlWindowTest, StartOpensTheLastProjectAndAutoPlays)
{
    QString projectPath;
    {
        auto w = withItems(3);
        prompts.savePaths << dir.filePath("auto.zpm");
        w->onSave();
        projectPath = w->projectPath();
    }
    SettingsStore::writeInt("Tessarin", "AutoPlay", 1);
    auto w = open();
    EXPECT_EQ(w->projectPath(), projectPath);
    EXPECT_FALSE(w->editMode()); // the compact strip
    EXPECT_TRUE(w->area()->isPlaying());
    EXPECT_EQ(w->area()->currentIndex(), 0);
    EXPECT_FALSE(w->isModified());
}

TEST_F(ControlWindowTest, ManualPlayKeys)
{
    auto w = withItems(5);
    w->area()->changeSettings([&](AreaSettings& s) { s.manualPlay = 1; });
    w->onPlay();
    QTest::keyClick(w.get(), Qt::Key_1);
    QTest::keyClick(w.get(), Qt::Key_1);
    EXPECT_EQ(w->area()->currentIndex(), 4); // previous of item 0 wraps to the last
    EXPECT_TRUE(w->area()->isPlaying());

    QTest::keyClick(w.get(), Qt::Key_1);
    QTest::keyClick(w.get(), Qt::Key_2); // a different digit cancels
    EXPECT_EQ(w->area()->currentIndex(), 4);
    QTest::keyClick(w.get(), Qt::Key_2);
    QTest::keyClick(w.get(), Qt::Key_2);
    EXPECT_EQ(w->area()->currentIndex(), 0); // next of the last wraps to the first

    QTest::keyClick(w.get(), Qt::Key_4);
    QTest::qWait(1100); // one "4" and a pause of more than a second
    QTest::keyClick(w.get(), Qt::Key_4);
    EXPECT_EQ(w->area()->currentIndex(), 0);
    QTest::keyClick(w.get(), Qt::Key_4);
    EXPECT_EQ(w->area()->currentIndex(), 4);
    QTest::keyClick(w.get(), Qt::Key_3);
    QTest::keyClick(w.get(), Qt::Key_3);
    EXPECT_EQ(w->area()->currentIndex(), 0);

    QTest::keyClick(w.get(), Qt::Key_2, Qt::KeypadModifier); // the keypad does not count
    QTest::keyClick(w.get(), Qt::Key_2, Qt::KeypadModifier);
    EXPECT_EQ(w->area()->currentIndex(), 0);
}

TEST_F(ControlWindowTest, ClosingWithChangesAsksToSave)
{
    auto w = withItems(1);
    prompts.answers = {true};
    prompts.savePaths << dir.filePath("closing.zpm");
    w->done(0);
    EXPECT_EQ(prompts.questions.back(), QStringLiteral("Save Current File?"));
    EXPECT_TRUE(QFile::exists(dir.filePath("closing.zpm")));
    EXPECT_EQ(w->area(), nullptr);
    EXPECT_EQ(SettingsStore::readInt("Window", "Width", -1), 480); // the area wrote its geometry
}

TEST_F(ControlWindowTest, CancelOrADismissedQuestionKeepsTheProjectAndTheWindow)
{
    using Choice = UserPrompts::Choice;
    auto w = withItems(3);
    ASSERT_TRUE(w->controller()->play());
    // New, Open and Close, each cancelled: nothing changes, the wall plays on.
    prompts.choices = {Choice::Cancel, Choice::Cancel, Choice::Cancel};
    prompts.openPaths << dir.filePath("other.zpm");
    w->onNew();
    w->onOpen();
    w->done(0);
    EXPECT_EQ(prompts.questions.size(), 3);
    EXPECT_EQ(prompts.openPaths.size(), 1); // no file dialog after a Cancel
    ASSERT_NE(w->area(), nullptr);
    EXPECT_EQ(w->area()->itemCount(), 3);
    EXPECT_TRUE(w->isModified());
    EXPECT_EQ(w->controller()->playState(), ProjectController::PlayState::Playing);
    // Yes, but the save dialog cancelled: the project stays as well.
    prompts.choices = {Choice::Yes};
    w->done(0);
    ASSERT_NE(w->area(), nullptr);
    EXPECT_EQ(w->area()->itemCount(), 3);
    // No lets the changes go.
    prompts.choices = {Choice::No};
    w->onNew();
    EXPECT_EQ(w->area()->itemCount(), 0);
}

TEST_F(ControlWindowTest, TheTitleTheSaveAsKeyAndAddFilesFirstFilterServeTheOperator)
{
    auto w = open();
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Kalvenore6.22 - untitled"));
    prompts.addFiles << textFile("a.txt");
    w->onAddFile();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Kalvenore6.22 - untitled *"));
    // The filter shown first takes every file some item plays.
    const QStringList entries = prompts.lastFilter.split('|');
    ASSERT_GT(entries.size(), 2);
    EXPECT_EQ(entries[0], QStringLiteral("All Files"));
    const QStringList patterns = entries[1].split(';');
    for (const char* pattern : {"*.txt", "*.rtf", "*.png", "*.jpeg", "*.jpg", "*.gif", "*.bmp",
                                "*.doc", "*.docx", "*.xls", "*.xlsx", "*.odt", "*.ods"})
        EXPECT_TRUE(patterns.contains(QLatin1String(pattern))) << pattern;
    // Ctrl+Shift+S saves under a new name, whatever the desktop's own keys.
    prompts.savePaths << dir.filePath("named.zpm");
    QTest::keyClick(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(QFile::exists(dir.filePath("named.zpm")));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Kalvenore6.22 - named.zpm"));
}

TEST_F(ControlWindowTest, OpensMenuListsTheRecentProjectsAndOpensOne)
{
    auto w = withItems(2);
    prompts.savePaths << dir.filePath("recent.zpm");
    w->onSaveAs();
    ASSERT_TRUE(QFile::exists(dir.filePath("recent.zpm")));
    w->onNew();
    ASSERT_EQ(w->area()->itemCount(), 0);
    auto* menu = w->findChild<QMenu*>(QStringLiteral("recentProjects"));
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    ASSERT_FALSE(menu->actions().isEmpty());
    QAction* first = menu->actions().first();
    EXPECT_EQ(first->text(), QDir::toNativeSeparators(dir.filePath("recent.zpm")));
    first->trigger();
    EXPECT_EQ(w->area()->itemCount(), 2);
    EXPECT_EQ(w->projectPath(), dir.filePath("recent.zpm"));
}

TEST_F(ControlWindowTest, MagicOffersAllFiftyEffectsAndRandom)
{
    auto w = withItems(1);
    w->setCurrentRow(0);
    auto* magic = w->findChild<QComboBox*>(QStringLiteral("1015"));
    ASSERT_NE(magic, nullptr);
    EXPECT_EQ(magic->count(), 51);
    EXPECT_EQ(magic->itemText(31), QStringLiteral("gradual change"));
    magic->setCurrentIndex(31);
    emit magic->activated(31);
    EXPECT_EQ(static_cast<CPropText*>(w->area()->item(0))->effect, 31);
}

TEST_F(ControlWindowTest, LanguageChangeRestartsInTheNewLanguageWithTheLastProject)
{
    QString projectPath;
    {
        auto w = withItems(1);
        prompts.savePaths << dir.filePath("lang.zpm");
        w->onSave();
        projectPath = w->projectPath();
    }
    SettingsStore::writeInt("Tessarin", "Language", 1);
    const TextSet saved = textSet();
    Language::apply(1); // a Chinese start
    auto w = open();
    EXPECT_EQ(w->button(Play)->toolTip(), QStringLiteral("播放"));
    QTimer::singleShot(0, [] {
        if (auto* settings = qobject_cast<CDlgSeting*>(QApplication::activeModalWidget()))
            settings->chooseLanguage(3); // "English" from the Language menu
    });
    w->onSettings();
    EXPECT_TRUE(w->restartRequested());
    EXPECT_EQ(w->area(), nullptr); // the window went the close path

    // The program as it starts again.
    Language::apply(SettingsStore::readInt("Tessarin", "Language", 0));
    auto again = open();
    EXPECT_EQ(again->button(Play)->toolTip(), QStringLiteral("Play"));
    EXPECT_EQ(again->projectPath(), projectPath);
    EXPECT_EQ(again->fileList()->model()->rowCount(), 1);
    setTextSet(saved);
    QLocale::setDefault(QLocale::c());
}

// "Hide play window" holds: moving the control window (which lays the sections out again) or
// dividing the sections anew does not bring the LED back while the toggle says it is hidden.
TEST_F(ControlWindowTest, HiddenPlayWindowsStayHidden)
{
    auto window = open();
    window->show();
    QApplication::processEvents();
    ASSERT_TRUE(window->area()->SectionsVisible());
    window->onShowHidePlayWindows();
    EXPECT_FALSE(window->area()->SectionsVisible());
    window->move(window->pos() + QPoint(40, 30));
    QApplication::processEvents();
    window->area()->LayoutSections();
    EXPECT_FALSE(window->area()->SectionsVisible());
    window->area()->ClearSections();
    window->area()->AddSection(0, 240, 0);
    window->area()->AddSection(1, 240, 0);
    window->area()->LayoutSections();
    EXPECT_FALSE(window->area()->SectionsVisible());
    window->onShowHidePlayWindows();
    EXPECT_TRUE(window->area()->SectionsVisible());
}

TEST_F(ControlWindowTest, FilesNothingPlaysAreSaidNotDropped)
{
    auto window = open();
    prompts.addFiles = {dir.filePath("notes.xyz"), textFile("a.txt"), dir.filePath("report.docx"),
                        dir.filePath("photo.png")};
    window->onAddFile();
    EXPECT_EQ(window->fileList()->model()->rowCount(), 3); // the text, the document, the picture
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages.first().contains(QStringLiteral("notes.xyz")));
    EXPECT_FALSE(prompts.messages.first().contains(QStringLiteral("a.txt")));
    // The filter offers what is played besides the list's own entries, and every file.
    const QString filter = loadString(StringId::AddFileFilter);
    for (const char* pattern : {"*.doc", "*.docx", "*.xls", "*.xlsx", "*.rtf", "*.png", "|*|"})
        EXPECT_TRUE(filter.contains(QLatin1String(pattern))) << pattern;
}

TEST_F(ControlWindowTest, AnUntouchedNewProjectClosesWithoutAQuestion)
{
    auto window = open();
    window->onNew();
    prompts.questions.clear();
    window->done(QDialog::Accepted);
    EXPECT_TRUE(prompts.questions.isEmpty()) << prompts.questions.join('|').toStdString();
}

TEST_F(ControlWindowTest, QtsOwnTextsFollowTheChineseTextSet)
{
    const TextSet before = textSet();
    setTextSet(TextSet::Chinese);
    if (!Language::installQtTexts())
        GTEST_SKIP() << "Qt's translations are not installed (qt6-translations-l10n)";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    setTextSet(TextSet::English);
    EXPECT_FALSE(Language::installQtTexts());
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    setTextSet(before);
}

TEST_F(ControlWindowTest, FileTypesAreNamedOnce)
{
    EXPECT_EQ(UserPrompts::qtFilter(QStringLiteral("Led Files (*.zpm)|*.zpm||")),
              QStringLiteral("Led Files (*.zpm)"));
    EXPECT_EQ(UserPrompts::qtFilter(QStringLiteral("Image File(*.bmp,*.jpg)|*.bmp;*.jpg||")),
              QStringLiteral("Image File (*.bmp *.jpg)"));
}

TEST_F(ControlWindowTest, SaveAsKeepsTheProjectModifiedWhenCancelled)
{
    auto window = open();
    prompts.addFiles = {textFile("a.txt")};
    window->onAddFile();
    ASSERT_TRUE(window->isModified());
    window->onSaveAs(); // no name chosen
    EXPECT_TRUE(window->isModified());
    const QString path = dir.filePath("copy.zpm");
    prompts.savePaths << path;
    window->onSaveAs();
    EXPECT_FALSE(window->isModified());
    EXPECT_EQ(window->projectPath(), path);
    EXPECT_TRUE(QFile::exists(path));
}

TEST_F(ControlWindowTest, KeysDropsAndThePlayingLine)
{
    auto window = open();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    // Files dropped on the window join the playlist.
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(textFile("a.txt")), QUrl::fromLocalFile(textFile("b.txt"))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    EXPECT_EQ(window->fileList()->model()->rowCount(), 2);
    // F5 plays; the playing line is marked.
    QTest::keyClick(window.get(), Qt::Key_F5);
    EXPECT_TRUE(window->area()->isPlaying());
    QTest::qWait(500);
    EXPECT_TRUE(window->fileList()
                    ->model()
                    ->index(window->area()->currentIndex(), 0)
                    .data(Qt::FontRole)
                    .value<QFont>()
                    .bold());
    QTest::keyClick(window.get(), Qt::Key_F8);
    EXPECT_FALSE(window->area()->isPlaying());
    // A project dropped on the window opens.
    prompts.savePaths << dir.filePath("p.zpm");
    window->onSaveAs();
    window->onNew();
    QMimeData project;
    project.setUrls({QUrl::fromLocalFile(dir.filePath("p.zpm"))});
    QDragEnterEvent enterProject(QPoint(20, 20), Qt::CopyAction, &project, Qt::LeftButton,
                                 Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enterProject);
    QDropEvent open(QPointF(20, 20), Qt::CopyAction, &project, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &open);
    EXPECT_EQ(window->projectPath(), dir.filePath("p.zpm"));
    EXPECT_EQ(window->fileList()->model()->rowCount(), 2);
}

// At twice the usual text size the image page's fields still show their values whole, and the
// page grows with the window.
TEST_F(ControlWindowTest, PageFieldsDoNotClipAtLargeText)
{
    const QFont before = QApplication::font();
    QFont large = before;
    large.setPointSizeF(before.pointSizeF() * 2);
    QApplication::setFont(large);
    {
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::red);
        picture.save(dir.filePath("p.bmp"));
        auto window = open();
        prompts.addFiles = {dir.filePath("p.bmp")};
        window->onAddFile();
        window->area()->item(0)->backImagePath = dir.filePath("background/picture/path.bmp");
        static_cast<CPropImage*>(window->area()->item(0))->holdTime = 1200;
        window->setCurrentRow(-1);
        window->setCurrentRow(0);
        window->resize(1280, 800);
        window->show();
        QApplication::processEvents();
        for (QLineEdit* edit : window->findChildren<QLineEdit*>()) {
            if (!edit->isVisible() || edit->text().isEmpty() || edit->objectName() == "1074")
                continue;
            EXPECT_GE(edit->contentsRect().width(),
                      edit->fontMetrics().horizontalAdvance(edit->text()))
                << edit->objectName().toStdString() << " clips " << edit->text().toStdString();
        }
        auto* path = window->findChild<QLineEdit*>(QStringLiteral("1074"));
        ASSERT_NE(path, nullptr);
        EXPECT_GE(path->width(), path->fontMetrics().averageCharWidth() * 24);
    }
    QApplication::setFont(before);
}

// The settings, edit and delete buttons carry icons that say what they do, from the program's
// own set, and Delete looks different when it cannot be used.
TEST_F(ControlWindowTest, OwnIconsAndADeleteThatLooksDisabled)
{
    auto window = open();
    for (const char* id : {"1058", "1020", "1012"}) {
        auto* button = window->findChild<QToolButton*>(QString::fromLatin1(id));
        ASSERT_NE(button, nullptr) << id;
        EXPECT_FALSE(button->icon().pixmap(24, 24).isNull()) << id;
        EXPECT_FALSE(button->toolTip().isEmpty()) << id;
    }
    const QIcon bin = window->findChild<QToolButton*>(QStringLiteral("1012"))->icon();
    EXPECT_NE(bin.pixmap(24, 24, QIcon::Normal).toImage(),
              bin.pixmap(24, 24, QIcon::Disabled).toImage());
}

TEST_F(ControlWindowTest, AddClockAddsALiveTextFromAFileInTheDataFolder)
{
    const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
    auto w = open();
    w->onAddClock();
    const QString path = dir.filePath("data/Morvo/Tessarin/clock.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "{date} {weekday}\n{time}\n");
    ASSERT_EQ(w->area()->itemCount(), 1);
    const auto* clock = static_cast<CPropText*>(w->area()->item(0));
    EXPECT_TRUE(clock->liveFields());
    EXPECT_EQ(clock->filePath, path);
    EXPECT_EQ(w->fileList()->model()->rowCount(), 1);
    EXPECT_TRUE(w->isModified());

    // A file the operator changed is kept as it is.
    file.close();
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{time:HH:mm}\n");
    file.close();
    w->onAddClock();
    EXPECT_EQ(w->area()->itemCount(), 2);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "{time:HH:mm}\n");
    qputenv("XDG_DATA_HOME", savedDataHome);
}

TEST_F(ControlWindowTest, TheLedPreviewShowsTheLedAndCostsNothingWhileHidden)
{
    auto w = withItems(1);
    w->show();
    auto* preview = w->findChild<QLabel*>("ledPreview");
    ASSERT_NE(preview, nullptr);
    EXPECT_FALSE(preview->isVisible());
    auto* timer = preview->findChild<QTimer*>();
    ASSERT_NE(timer, nullptr);
    EXPECT_FALSE(timer->isActive());
    w->button(1304)->click();
    EXPECT_TRUE(preview->isVisible());
    EXPECT_TRUE(timer->isActive());
    EXPECT_GE(timer->interval(), 100); // at most ten pictures a second
    w->button(1304)->click();
    EXPECT_FALSE(timer->isActive());
}

TEST_F(ControlWindowTest, TheRemoteControlAnswersWhenTheSettingsTurnItOn)
{
    RemoteSettings settings;
    settings.enabled = true;
    settings.port = 0;
    settings.token = RemoteSettings::makeToken();
    ASSERT_TRUE(settings.save());
    auto w = withItems(2);
    ASSERT_NE(w->remote(), nullptr);
    w->remote()->applySettings();
    ASSERT_TRUE(w->remote()->server()->isListening());
    const QJsonObject status = w->remote()->status();
    EXPECT_EQ(status.value("itemCount").toInt(), 2);
    EXPECT_EQ(status.value("state").toString(), "stopped");
    EXPECT_EQ(status.value("led").toObject().value("sections").toInt(), 1);
    EXPECT_TRUE(w->remote()->command("last"));
    EXPECT_EQ(w->area()->currentIndex(), 1);
    EXPECT_EQ(w->remote()->status().value("state").toString(), "playing");
    EXPECT_TRUE(w->remote()->moveItem(1, 0));
    EXPECT_EQ(w->fileList()->model()->index(0, 0).data().toString(), "f1.txt");
    EXPECT_TRUE(w->remote()->deleteItem(0));
    EXPECT_EQ(w->area()->itemCount(), 1);
    EXPECT_FALSE(w->remote()->deleteItem(3));
    QString error;
    EXPECT_FALSE(w->remote()->saveProject(&error)); // no file yet
    EXPECT_FALSE(w->remote()->openProject(dir.filePath("none.zpm"), &error));
    EXPECT_EQ(w->area()->itemCount(), 1); // nothing changed
    w->onStop();
}

TEST_F(ControlWindowTest, AMessageThatNoLongerHoldsLeavesTheStatusLine)
{
    auto window = open();
    QLabel* status = window->statusLine();
    Notifications::Relay& relay = Notifications::Relay::instance();
    relay.publish(QStringLiteral("Converting a.doc with LibreOffice..."));
    EXPECT_EQ(status->text(), QStringLiteral("Converting a.doc with LibreOffice..."));
    emit relay.withdrawn(QStringLiteral("Converting a.doc with LibreOffice..."));
    EXPECT_TRUE(status->text().isEmpty());
    EXPECT_TRUE(status->toolTip().contains(QStringLiteral("Converting a.doc"))); // kept in the log
    // A later message stays when an earlier one is withdrawn.
    relay.publish(QStringLiteral("Converting b.doc with LibreOffice..."));
    relay.publish(QStringLiteral("The conversion of b.doc took too long."));
    emit relay.withdrawn(QStringLiteral("Converting b.doc with LibreOffice..."));
    EXPECT_EQ(status->text(), QStringLiteral("The conversion of b.doc took too long."));
}

// Where a window's frame goes beside the LED: where it is when that is free, else below, right
// of, left of and above the LED (the first that fits), else where the LED covers least; always on
// the screen, title bar first.
TEST(WindowPlacementTest, FramesGoBesideTheLedAndStayOnTheScreen)
{
    const QRect screen(0, 0, 1920, 1080);
    const struct
    {
        const char* what;
        QRect available;
        QList<QRect> led;
        QRect frame;
        QPoint expected;
    } cases[] = {
        {"free where it is", screen, {{0, 0, 1280, 96}}, {1300, 100, 400, 300}, {1300, 100}},
        {"over the LED, room below", screen, {{0, 0, 1280, 96}}, {-1, 36, 804, 428}, {0, 104}},
        {"two sections side by side, one off the screen",
         screen,
         {{0, 0, 1280, 48}, {1280, 0, 1280, 48}},
         {-1, 36, 804, 428},
         {0, 56}},
        {"stacked sections",
         screen,
         {{0, 0, 1280, 48}, {0, 48, 1280, 48}},
         {20, 0, 804, 428},
         {20, 104}},
        {"no room below: right", screen, {{0, 0, 1280, 900}}, {100, 100, 600, 400}, {1288, 100}},
        {"no room below or right: left",
         screen,
         {{400, 0, 1520, 900}},
         {500, 100, 300, 300},
         {92, 100}},
        {"only above", screen, {{0, 600, 1920, 480}}, {100, 700, 400, 300}, {100, 292}},
        {"nowhere free: the least covered",
         screen,
         {{0, 0, 1920, 1000}},
         {100, 100, 400, 300},
         {100, 780}},
        {"title bar above the screen", screen, {}, {-1, -24, 804, 428}, {0, 0}},
        {"off the right and bottom edges", screen, {}, {1800, 1000, 400, 300}, {1520, 780}},
        {"larger than the screen keeps its title bar", screen, {}, {-50, -50, 2000, 1200}, {0, 0}},
        {"below a panel", {0, 30, 1920, 1050}, {}, {10, 0, 400, 300}, {10, 30}},
    };
    for (const auto& c : cases) {
        const QPoint at = WindowPlacement::clearOf(c.available, c.led, c.frame);
        EXPECT_EQ(at, c.expected) << c.what;
        const QRect placed(at, c.frame.size());
        if (c.frame.width() <= c.available.width() && c.frame.height() <= c.available.height()) {
            EXPECT_TRUE(c.available.contains(placed)) << c.what;
        }
    }
}

// When the LED comes over the shown control window (its size or place set up, a project opened),
// the window steps aside; the program's boxes open where the LED leaves them free.
TEST_F(ControlWindowTest, TheWindowAndItsBoxesStepAsideFromTheLed)
{
    auto window = open();
    window->show();
    const auto waitFor = [](const std::function<bool()>& done) {
        for (int i = 0; i < 200 && !done(); ++i)
            QTest::qWait(50);
        return done();
    };
    const auto clear = [&window] {
        const QRect frame = WindowPlacement::frameOf(window.get());
        for (const QRect& led : window->ledRects())
            if (led.intersects(frame))
                return false;
        return true;
    };
    ASSERT_TRUE(waitFor([&window] { return window->placementSettled(); }));
    ASSERT_TRUE(clear());
    const QRect available = window->screen()->availableGeometry();
    const QRect frame = WindowPlacement::frameOf(window.get());
    // The LED, 60 px wide, down the window's left edge: the window goes right of it.
    window->area()->changeSettings([&](AreaSettings& s) {
        s.splitMode = 0;
        s.firstOffset = 0;
        s.ledWidth = 60;
        s.ledHeight = frame.bottom() - 10;
    });
    window->area()->ClearSections();
    window->area()->AddSection(0, 60, 0);
    window->area()->LayoutSections();
    ASSERT_EQ(window->ledRects().size(), 1);
    EXPECT_TRUE(window->ledRects().first().intersects(frame));
    EXPECT_TRUE(waitFor(clear)) << "the window stays under the LED";
    EXPECT_EQ(WindowPlacement::frameOf(window.get()).topLeft(),
              QPoint(60 + WindowPlacement::kGapPx, frame.top()));
    EXPECT_TRUE(available.contains(WindowPlacement::frameOf(window.get())));

    // A box centred over the window would stand on the LED: it opens beside it.
    const QRect now = WindowPlacement::frameOf(window.get());
    const QList<QRect> led{now.adjusted(100, 0, -100, 0)};
    QMessageBox box(QMessageBox::NoIcon, "Tessarin", "text", QMessageBox::Ok, window.get());
    WindowPlacement::placeDialog(&box, window.get(), led);
    EXPECT_FALSE(QRect(box.pos(), box.size()).intersects(led.first()));
    EXPECT_TRUE(available.contains(QRect(box.pos(), box.size())));
}

// In the Chinese text set the settings read whole (the Language button as wide as its text, its
// menu naming each language in its own words), and after edit mode went off and on the page
// shows to its bottom.
TEST_F(ControlWindowTest, ChineseLabelsReadWholeAndThePageSurvivesEditMode)
{
    const TextSet saved = textSet();
    Language::apply(1);
    {
        auto window = withItems(1);
        CDlgSeting settings(*window->area(), prompts);
        settings.show();
        QApplication::processEvents();
        auto* language = settings.findChild<QPushButton*>(QStringLiteral("1023"));
        ASSERT_NE(language, nullptr);
        EXPECT_TRUE(language->text().contains(QStringLiteral("语言")));
        EXPECT_TRUE(language->text().contains(QStringLiteral("Language")));
        const int textWidth = language->fontMetrics().horizontalAdvance(language->text());
        EXPECT_GT(language->sizeHint().width(), textWidth);
        EXPECT_GE(language->width(), language->sizeHint().width());
        auto* menu = settings.findChild<QMenu*>(QStringLiteral("languageMenu"));
        ASSERT_NE(menu, nullptr);
        QStringList names;
        for (const QAction* action : menu->actions())
            names << action->text();
        EXPECT_EQ(names, QStringList(
                             {QStringLiteral("中文 (Chinese)"), QStringLiteral("English (英文)")}));
        // Nothing in the dialog is narrower than its text.
        for (QAbstractButton* button : settings.findChildren<QAbstractButton*>()) {
            if (button->isVisible() && !button->text().isEmpty()) {
                EXPECT_GE(button->width(), button->sizeHint().width())
                    << button->text().toStdString();
            }
        }
        for (QLabel* label : settings.findChildren<QLabel*>()) {
            if (label->isVisible() && !label->text().isEmpty()) {
                EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
            }
        }

        window->setCurrentRow(-1);
        window->show();
        QApplication::processEvents();
        window->button(Edit)->click(); // edit mode off: the toolbar strip alone
        QApplication::processEvents();
        window->setCurrentRow(0); // the page is made while the strip shows
        QWidget* page = window->pageHost().FindSubForm("CPropText")->widget();
        ASSERT_NE(page, nullptr);
        for (int pass = 0; pass < 2; ++pass) {
            window->button(Edit)->click();
            QApplication::processEvents();
            ASSERT_TRUE(page->isVisible());
            EXPECT_GE(page->height(), page->minimumSizeHint().height()) << pass;
            const QWidget* area = page->parentWidget();
            EXPECT_LE(page->geometry().bottom(), area->rect().bottom()) << pass;
            EXPECT_LE(area->mapTo(window.get(), area->rect().bottomLeft()).y(),
                      window->rect().bottom())
                << pass;
            window->button(Edit)->click();
            QApplication::processEvents();
            EXPECT_FALSE(page->isVisible());
        }
    }
    setTextSet(saved);
    QLocale::setDefault(QLocale::c());
}

TEST_F(ControlWindowTest, APlayingVideosPositionStandsBesideTheMessages)
{
    EXPECT_EQ(CTessarinDlg::positionText(-1), QString());
    EXPECT_EQ(CTessarinDlg::positionText(0), QStringLiteral("0:00"));
    EXPECT_EQ(CTessarinDlg::positionText(65'400'000), QStringLiteral("1:05"));
    EXPECT_EQ(CTessarinDlg::positionText(3'725'000'000), QStringLiteral("1:02:05"));
    if (!TestVideos::haveFfmpeg())
        GTEST_SKIP() << "no ffmpeg command to make test videos with";
    const QString path = TestVideos::make(dir.path(), QStringLiteral("clip.mp4"), {64, 48},
                                          QStringLiteral("25"), 3.0);
    ASSERT_FALSE(path.isEmpty());
    auto w = open();
    prompts.addFiles = QStringList{path};
    w->onAddFile();
    ASSERT_EQ(w->area()->itemCount(), 1);
    w->showStatus(QStringLiteral("a message"));
    w->onPlay();
    QString seen;
    for (int i = 0; i < 300 && seen != QStringLiteral("0:01"); ++i) {
        QTest::qWait(10);
        seen = w->positionLabel()->text();
    }
    EXPECT_EQ(seen, QStringLiteral("0:01"));
    EXPECT_EQ(w->statusLine()->text(), QStringLiteral("a message")); // never overwritten
    w->onStop();
    QTest::qWait(400);
    EXPECT_EQ(w->positionLabel()->text(), QString());
}

TEST(ZoneEditor, DragsMoveByWholePixelsStayOnTheLedAndSnapToEdges)
{
    const QSize led(320, 96);
    const std::vector<AreaZone> zones{{"main", QRect(0, 0, 200, 64)},
                                      {"clock", QRect(240, 0, 80, 64)},
                                      {"ticker", QRect(0, 64, 320, 32)}};
    using Grip = ZoneEditor::Grip;
    // The right edge dragged near the clock's left edge snaps to it; not near, it goes as told.
    EXPECT_EQ(ZoneEditor::draggedRect(zones, 0, Grip::Right, {37, 0}, led, 4),
              QRect(0, 0, 240, 64));
    EXPECT_EQ(ZoneEditor::draggedRect(zones, 0, Grip::Right, {20, 0}, led, 4),
              QRect(0, 0, 220, 64));
    // Never past the LED, never less than a pixel.
    EXPECT_EQ(ZoneEditor::draggedRect(zones, 1, Grip::Right, {500, 0}, led, 0),
              QRect(240, 0, 80, 64));
    EXPECT_EQ(ZoneEditor::draggedRect(zones, 1, Grip::Left, {500, 0}, led, 0),
              QRect(319, 0, 1, 64));
    EXPECT_EQ(ZoneEditor::draggedRect(zones, 2, Grip::TopLeft, {-9, -9}, led, 0),
              QRect(0, 55, 320, 41));
    // A move keeps the size, stays on the LED, and its nearer edge snaps.
    EXPECT_EQ(ZoneEditor::draggedRect(zones, 1, Grip::Move, {100, 100}, led, 0),
              QRect(240, 32, 80, 64));
    EXPECT_EQ(ZoneEditor::draggedRect(zones, 1, Grip::Move, {-38, 0}, led, 3),
              QRect(200, 0, 80, 64));
}

TEST_F(ControlWindowTest, ZonesAreLaidOutEditedAndEachListsItsOwnItems)
{
    auto w = withItems(2);
    w->show();
    ProjectController& controller = *w->controller();
    ZonePanel& panel = *w->zonePanel();
    ZoneEditor& editor = *panel.editor();
    EXPECT_FALSE(editor.isVisible()) << "one zone: the panel is a line";
    // A layout from the menu: main above a ticker.
    auto* layouts = panel.findChild<QToolButton*>("zoneLayouts");
    ASSERT_NE(layouts, nullptr);
    const QList<QAction*> actions = layouts->menu()->actions();
    ASSERT_EQ(actions.size(), 4);
    actions[1]->trigger();
    ASSERT_EQ(controller.zoneCount(), 2);
    EXPECT_TRUE(editor.isVisible());
    EXPECT_TRUE(w->isModified());
    QAbstractItemModel* list = w->fileList()->model();
    EXPECT_EQ(list->rowCount(), 2) << "the first zone holds every item so far";

    // The ticker selected by a click in it: its list is empty; a file added goes into it.
    const QRectF ticker = editor.toWidget(controller.zones()[1].rect);
    QTest::mouseClick(&editor, Qt::LeftButton, {}, ticker.center().toPoint());
    EXPECT_EQ(panel.selectedZone(), 1);
    EXPECT_EQ(list->rowCount(), 0);
    prompts.addFiles = {textFile("news.txt")};
    w->onAddFile();
    EXPECT_EQ(list->rowCount(), 1);
    EXPECT_EQ(controller.zoneOfItem(2), 1);
    EXPECT_EQ(w->currentRow(), 2);
    EXPECT_FALSE(enabled(*w, MoveUp)) << "the item above in the project is another zone's";

    // The ticker's top edge dragged up by the mouse: the main zone is in the way, refused.
    const QRect before = controller.zones()[1].rect;
    const QPoint top(int(ticker.center().x()), int(std::round(ticker.top())));
    QTest::mousePress(&editor, Qt::LeftButton, {}, top);
    QTest::mouseMove(&editor, top - QPoint(0, 20));
    QTest::mouseRelease(&editor, Qt::LeftButton, {}, top - QPoint(0, 20));
    EXPECT_EQ(controller.zones()[1].rect, before);
    EXPECT_TRUE(w->statusLine()->text().contains("overlap"))
        << w->statusLine()->text().toStdString();
    // The main zone's right edge dragged in: narrower, by whole LED pixels.
    const QRect main = controller.zones()[0].rect;
    const QRectF mainShown = editor.toWidget(main);
    QTest::mouseClick(&editor, Qt::LeftButton, {}, mainShown.center().toPoint());
    ASSERT_EQ(panel.selectedZone(), 0);
    const QPoint edge(int(std::round(mainShown.right())), int(mainShown.center().y()));
    QTest::mousePress(&editor, Qt::LeftButton, {}, edge);
    QTest::mouseMove(&editor, edge - QPoint(int(mainShown.width() / 3), 0));
    QTest::mouseRelease(&editor, Qt::LeftButton, {}, edge - QPoint(int(mainShown.width() / 3), 0));
    const QRect narrower = controller.zones()[0].rect;
    EXPECT_LT(narrower.width(), main.width() * 3 / 4);
    EXPECT_GT(narrower.width(), main.width() / 2);
    EXPECT_EQ(narrower.topLeft(), main.topLeft());
    EXPECT_EQ(narrower.height(), main.height());
    editor.setSelectedZone(1);
    const QRect after = controller.zones()[1].rect;

    // Typed: the ticker's height.
    auto* height = panel.findChild<QSpinBox*>("zoneHeight");
    ASSERT_NE(height, nullptr);
    EXPECT_EQ(height->value(), after.height());
    height->setValue(after.height() - 2);
    emit height->editingFinished();
    EXPECT_EQ(controller.zones()[1].rect.height(), after.height() - 2);

    // Another zone by halving the selected one; the last removed: its item joins the first.
    ASSERT_TRUE(panel.addZone());
    EXPECT_EQ(controller.zoneCount(), 3);
    EXPECT_EQ(panel.selectedZone(), 2);
    ASSERT_TRUE(panel.removeSelectedZone());
    EXPECT_EQ(controller.zoneCount(), 2);
    editor.setSelectedZone(1);
    ASSERT_TRUE(panel.removeSelectedZone());
    EXPECT_EQ(controller.zoneCount(), 1);
    EXPECT_EQ(list->rowCount(), 3);
    EXPECT_FALSE(editor.isVisible());
}

// Closing the window with a zone's field being typed in: the field's last edit comes when the
// project's controller is gone, and changes nothing.
TEST_F(ControlWindowTest, ClosingWhileAZoneFieldHasTheFocusIsAnOrdinaryClose)
{
    auto w = withItems(1);
    w->show();
    w->activateWindow();
    ZonePanel& panel = *w->zonePanel();
    const QSize led(w->area()->settings().ledWidth, w->area()->settings().ledHeight);
    ASSERT_TRUE(panel.apply(AreaZones::fromTemplate(AreaZones::Template::TickerBelow, led)));
    auto* name = panel.findChild<QLineEdit*>("zoneName");
    ASSERT_NE(name, nullptr);
    name->setFocus();
    QTest::keyClicks(name, "typed");
    QApplication::processEvents();

    w->SetModified(false);
    w.reset();
    SUCCEED();
}
