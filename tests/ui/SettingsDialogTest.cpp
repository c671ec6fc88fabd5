#include "ScriptedPrompts.h"
#include "base/SettingsStore.h"
#include "model/CAct.h"
#include "model/HeadlessSectionHost.h"
#include "remote/FleetClient.h"
#include "remote/RemoteSettings.h"
#include "remote/SyncGroup.h"
#include "support/TestSettings.h"
#include "ui/CDlgSeting.h"
#include "ui/widgets/NumberField.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <functional>

#include <gtest/gtest.h>

namespace {

class SettingsDialogTest : public testing::Test
{
protected:
    SettingsDialogTest()
    {
        TestSettings::clear();
        area.setSectionHost(&host);
        area.changeSettings([&](AreaSettings& s) {
            s.ledWidth = 480;
            s.ledHeight = 32;
        });
        area.AddSection(0, 480, 0);
        area.LayoutSections();
    }

    QLineEdit* edit(CDlgSeting& d, int id) { return d.findChild<QLineEdit*>(QString::number(id)); }

    // Types into an edit as the operator does: every keystroke an edit of its own.
    void type(CDlgSeting& d, int id, const char* text)
    {
        QLineEdit* e = edit(d, id);
        e->selectAll();
        QTest::keyClicks(e, QString::fromLatin1(text));
    }

    // Pastes over an edit: one edit for the whole text.
    void paste(CDlgSeting& d, int id, const char* text)
    {
        QGuiApplication::clipboard()->setText(QString::fromLatin1(text));
        QLineEdit* e = edit(d, id);
        e->selectAll();
        e->paste();
        emit e->textEdited(e->text());
    }

    QRect window(int k) const { return host.window(*area.sections()[size_t(k)])->geometry; }

    HeadlessSectionHost host;
    CAct area;
    ScriptedPrompts prompts;
};

} // namespace

TEST_F(SettingsDialogTest, ThreeSectionsAtAPosAndTheSwitchToVertical)
{
    CDlgSeting d(area, prompts);
    EXPECT_FALSE(edit(d, 1004)->isEnabled()); // width: the sum of the sections
    EXPECT_TRUE(edit(d, 1086)->isEnabled());
    type(d, 1100, "3");
    type(d, 1020, "100");
    ASSERT_EQ(area.sections().size(), 3u);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(window(k), QRect(0, 100 + 32 * k, 160, 32)) << k;
    EXPECT_EQ(area.settings().firstOffset, 100);
    EXPECT_EQ(d.findChild<QComboBox*>("1025")->count(), 3);

    d.findChild<QRadioButton*>("1002")->click();
    EXPECT_EQ(area.settings().splitMode, 1);
    EXPECT_EQ(area.settings().ledWidth, 32);
    EXPECT_EQ(area.settings().ledHeight, 480);
    EXPECT_EQ(edit(d, 1004)->text(), "32");
    EXPECT_TRUE(edit(d, 1004)->isEnabled());
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(window(k), QRect(100 + 32 * k, 0, 32, 160)) << k;
}

TEST_F(SettingsDialogTest, SplitHorizontallyTwiceExchangesTwice)
{
    CDlgSeting d(area, prompts);
    d.findChild<QRadioButton*>("1001")->click();
    EXPECT_EQ(area.settings().ledWidth, 32);
    d.findChild<QRadioButton*>("1001")->click();
    EXPECT_EQ(area.settings().ledWidth, 480);
    EXPECT_EQ(area.settings().ledHeight, 32);
}

TEST_F(SettingsDialogTest, OutOfRangeValuesAreRefusedAndRestored)
{
    CDlgSeting d(area, prompts);
    type(d, 1100, "3");
    paste(d, 1100, "11");
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0], QStringLiteral("输入1－－10之间的数值！"));
    EXPECT_EQ(edit(d, 1100)->text(), "3");
    EXPECT_EQ(area.sections().size(), 3u);
    paste(d, 1020, "10001");
    EXPECT_EQ(prompts.messages.back(), QStringLiteral("输入0－－10000之间的数值！"));
    EXPECT_EQ(edit(d, 1020)->text(), "0");
    edit(d, 1100)->selectAll();
    QTest::keyClick(edit(d, 1100), Qt::Key_Backspace); // an empty edit is not applied
    EXPECT_EQ(area.sections().size(), 3u);
    QTest::keyClicks(edit(d, 1100), "x"); // digits only
    EXPECT_TRUE(edit(d, 1100)->text().isEmpty());
}

TEST_F(SettingsDialogTest, NumberFieldsTakeDigitsInRangeAndMarkTheRest)
{
    CDlgSeting d(area, prompts);
    // Split horizontally: the height is typed, the width is the sum of the sections.
    ASSERT_TRUE(edit(d, 1086)->isEnabled());
    const int height = area.settings().ledHeight;
    type(d, 1086, "abc");
    EXPECT_EQ(area.settings().ledHeight, height);
    paste(d, 1086, "-5");
    EXPECT_EQ(area.settings().ledHeight, height);
    paste(d, 1086, "99999");
    EXPECT_EQ(area.settings().ledHeight, height);
    EXPECT_TRUE(NumberField::isMarked(edit(d, 1086)));
    paste(d, 1086, "0");
    EXPECT_EQ(area.settings().ledHeight, height);
    paste(d, 1086, "");
    EXPECT_EQ(area.settings().ledHeight, height);
    EXPECT_TRUE(NumberField::isMarked(edit(d, 1086)));
    paste(d, 1086, "200");
    EXPECT_EQ(area.settings().ledHeight, 200);
    EXPECT_FALSE(NumberField::isMarked(edit(d, 1086)));

    // An empty section count is marked, not applied.
    paste(d, 1100, "");
    EXPECT_TRUE(NumberField::isMarked(edit(d, 1100)));
    EXPECT_EQ(area.sections().size(), 1u);
    type(d, 1100, "2");
    EXPECT_FALSE(NumberField::isMarked(edit(d, 1100)));
    EXPECT_EQ(area.sections().size(), 2u);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(SettingsDialogTest, BlankOnStopIsOffUntilTickedAndKeptInTheStore)
{
    {
        CDlgSeting d(area, prompts);
        auto* blank = d.findChild<QCheckBox*>("blankOnStop");
        ASSERT_TRUE(blank);
        EXPECT_FALSE(blank->isChecked());
        EXPECT_FALSE(SettingsStore::readBool("Tessarin", "BlankOnStop", false));
        blank->click();
        EXPECT_TRUE(SettingsStore::readBool("Tessarin", "BlankOnStop", false));
    }
    CDlgSeting again(area, prompts);
    auto* blank = again.findChild<QCheckBox*>("blankOnStop");
    EXPECT_TRUE(blank->isChecked());
    blank->click();
    EXPECT_FALSE(SettingsStore::readBool("Tessarin", "BlankOnStop", true));
}

TEST_F(SettingsDialogTest, TheRemotePortIsKeptWhenTheFieldIsNotAPort)
{
    CDlgSeting d(area, prompts);
    auto* port = d.findChild<QLineEdit*>("remotePort");
    ASSERT_TRUE(port);
    EXPECT_EQ(port->text(), "8734");
    port->selectAll();
    QTest::keyClicks(port, "x-");
    EXPECT_EQ(port->text(), "8734");
    port->selectAll();
    QTest::keyClicks(port, "99999");
    EXPECT_TRUE(NumberField::isMarked(port));
    emit port->editingFinished();
    EXPECT_EQ(RemoteSettings::load().port, 8734);
    EXPECT_TRUE(NumberField::isMarked(port)); // still shown as wrong
    port->selectAll();
    QTest::keyClicks(port, "0");
    EXPECT_TRUE(NumberField::isMarked(port));
    port->selectAll();
    QTest::keyClicks(port, "9000");
    EXPECT_FALSE(NumberField::isMarked(port));
    emit port->editingFinished();
    EXPECT_EQ(RemoteSettings::load().port, 9000);
    EXPECT_EQ(port->text(), "9000");
}

TEST_F(SettingsDialogTest, SectionLengthGrowsTheTotalAndPositionsMoveOneSection)
{
    CDlgSeting d(area, prompts);
    type(d, 1100, "3");
    type(d, 1026, "999"); // no section chosen: reaches none
    EXPECT_EQ(area.sections()[0]->sectionLength, 160);
    QComboBox* sections = d.findChild<QComboBox*>("1025");
    sections->setCurrentIndex(1);
    d.onSectionChosen(1);
    EXPECT_EQ(edit(d, 1026)->text(), "160");
    type(d, 1026, "200");
    EXPECT_EQ(area.sections()[1]->sectionLength, 200);
    EXPECT_EQ(area.settings().ledWidth, 520);
    EXPECT_EQ(edit(d, 1004)->text(), "520");
    EXPECT_EQ(window(1).width(), 200);
    type(d, 1019, "40");
    EXPECT_EQ(window(1).x(), 40);
    EXPECT_EQ(window(0).x(), 0);
}

TEST_F(SettingsDialogTest, MoreSectionsThanPixelsKeepEveryOneAPixel)
{
    area.changeSettings([&](AreaSettings& s) { s.ledWidth = 5; });
    CDlgSeting d(area, prompts);
    type(d, 1100, "7");
    ASSERT_EQ(area.sections().size(), 7u);
    for (const auto& section : area.sections())
        EXPECT_GE(section->sectionLength, 1);
}

TEST_F(SettingsDialogTest, ColoursFrameManualAutoPlayAndLanguage)
{
    CDlgSeting d(area, prompts);
    d.findChild<QComboBox*>("1003")->setCurrentIndex(2);
    d.onFrameStyle(2);
    EXPECT_EQ(area.settings().frameLines, 2);
    EXPECT_EQ(host.window(*area.sections()[0])->childRect, QRect(2, 2, 476, 28));
    d.findChild<QCheckBox*>("1022")->click();
    EXPECT_EQ(area.settings().manualPlay, 1);
    d.findChild<QCheckBox*>("1024")->click();
    EXPECT_EQ(SettingsStore::readInt("Tessarin", "AutoPlay", 0), 1);
    d.chooseLanguage(3);
    EXPECT_EQ(SettingsStore::readInt("Tessarin", "Language", 0), 3);
    EXPECT_EQ(d.languageChosen(), 3);
    EXPECT_EQ(d.result(), QDialog::Accepted);
}

TEST_F(SettingsDialogTest, ProjectDataChangesMarkTheProjectAndSettingsDoNot)
{
    CDlgSeting d(area, prompts);
    int changes = 0;
    QObject::connect(&d, &CDlgSeting::projectChanged, [&] { ++changes; });
    d.findChild<QCheckBox*>("1024")->click(); // auto play: a setting of this PC
    EXPECT_EQ(changes, 0);
    const auto changed = [&](const char* what, const std::function<void()>& change) {
        const int before = changes;
        change();
        EXPECT_GT(changes, before) << what;
    };
    changed("width", [&] { d.onWidthEdited(QStringLiteral("400")); });
    changed("height", [&] { d.onHeightEdited(QStringLiteral("64")); });
    changed("split", [&] { d.findChild<QRadioButton*>("1002")->click(); });
    changed("frame", [&] { d.onFrameStyle(1); });
    changed("frame colour", [&] { d.onFrameColor(); });
    changed("background", [&] { d.onBackColor(); });
    changed("manual play", [&] { d.findChild<QCheckBox*>("1022")->click(); });
    changed("sections", [&] { type(d, 1100, "2"); });
    changed("position", [&] { type(d, 1020, "8"); });
}

TEST_F(SettingsDialogTest, TurningTheRemoteControlOnMakesATokenAndWarnsBeyondThisMachine)
{
    CDlgSeting d(area, prompts);
    int changes = 0;
    QObject::connect(&d, &CDlgSeting::remoteChanged, [&] { ++changes; });
    auto* enabled = d.findChild<QCheckBox*>("remoteEnabled");
    auto* token = d.findChild<QLineEdit*>("remoteToken");
    auto* address = d.findChild<QLineEdit*>("remoteAddress");
    auto* warning = d.findChild<QLabel*>("remoteWarning");
    ASSERT_TRUE(enabled && token && address && warning);
    EXPECT_FALSE(enabled->isChecked());
    EXPECT_TRUE(token->text().isEmpty());

    enabled->click();
    const RemoteSettings on = RemoteSettings::load();
    EXPECT_TRUE(on.enabled);
    EXPECT_EQ(on.token.size(), 64); // 32 random bytes as hex
    EXPECT_EQ(token->text(), on.token);
    EXPECT_EQ(on.address, "127.0.0.1");
    EXPECT_EQ(on.port, 8734);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(warning->isHidden()); // this machine only

    address->setText("0.0.0.0");
    emit address->editingFinished();
    EXPECT_EQ(RemoteSettings::load().address, "0.0.0.0");
    EXPECT_FALSE(warning->isHidden());
    // Off and on again: the same token.
    enabled->click();
    enabled->click();
    EXPECT_EQ(RemoteSettings::load().token, on.token);
    EXPECT_EQ(changes, 4);
}

// The fleet's broker settings: what the group shows and stores is what the fleet reads, under
// the store's own keys, and it comes back in the group the next time.
TEST_F(SettingsDialogTest, TheFleetGroupKeepsTheBrokerSettingsUnderTheFleetsKeys)
{
    const auto field = [](CDlgSeting& d, const char* name) {
        return d.findChild<QLineEdit*>(QString::fromLatin1(name));
    };
    const auto enter = [&](CDlgSeting& d, const char* name, const QString& text) {
        QLineEdit* e = field(d, name);
        e->setText(text);
        emit e->editingFinished();
    };
    {
        CDlgSeting d(area, prompts);
        auto* group = d.findChild<QGroupBox*>(QStringLiteral("fleet"));
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->title(), QStringLiteral("Fleet (MQTT)"));
        // Nothing stored: no fleet, and the fleet's own defaults.
        EXPECT_FALSE(d.findChild<QCheckBox*>(QStringLiteral("fleetEnabled"))->isChecked());
        EXPECT_EQ(field(d, "fleetPort")->text(), QStringLiteral("1883"));
        EXPECT_EQ(field(d, "fleetTopicPrefix")->text(), QStringLiteral("tessarin"));
        EXPECT_EQ(field(d, "fleetCaFile")->text(),
                  QString::fromLatin1(FleetSettings::kSystemCaFile));
        EXPECT_EQ(field(d, "fleetPassword")->echoMode(), QLineEdit::Password);

        d.findChild<QCheckBox*>(QStringLiteral("fleetEnabled"))->click();
        enter(d, "fleetHost", QStringLiteral("broker.example"));
        EXPECT_EQ(SettingsStore::readString("Mqtt", "Url"),
                  QStringLiteral("mqtt://broker.example:1883"));
        d.findChild<QCheckBox*>(QStringLiteral("fleetTls"))->click();
        EXPECT_EQ(field(d, "fleetPort")->text(), QStringLiteral("8883")); // follows TLS
        enter(d, "fleetPort", QStringLiteral("8884"));
        enter(d, "fleetUser", QStringLiteral("wall"));
        enter(d, "fleetPassword", QStringLiteral("sécret"));
        enter(d, "fleetName", QStringLiteral("lobby-1"));
        enter(d, "fleetTopicPrefix", QStringLiteral("walls"));
        enter(d, "fleetCaFile", QStringLiteral("/etc/wall/ca.pem"));
        enter(d, "fleetCertFile", QStringLiteral("/etc/wall/cert.pem"));
        enter(d, "fleetKeyFile", QStringLiteral("/etc/wall/key.pem"));
        // The sync group beside the broker it meets on: none and auto until set.
        EXPECT_TRUE(field(d, "syncGroup")->text().isEmpty());
        auto* role = d.findChild<QComboBox*>(QStringLiteral("syncRole"));
        ASSERT_NE(role, nullptr);
        EXPECT_EQ(role->currentData().toString(), QStringLiteral("auto"));
        enter(d, "syncGroup", QStringLiteral("shopfront"));
        role->setCurrentIndex(role->findData(QStringLiteral("follower")));
        emit role->activated(role->currentIndex());
        // Out of range: marked, never stored.
        enter(d, "fleetPort", QStringLiteral("99999"));
        EXPECT_TRUE(NumberField::isMarked(field(d, "fleetPort")));
        EXPECT_TRUE(d.fleetChanged());
    }
    const FleetSettings read = FleetSettings::load();
    EXPECT_EQ(read.url, QStringLiteral("mqtts://broker.example:8884"));
    EXPECT_EQ(read.user, QStringLiteral("wall"));
    EXPECT_EQ(read.password, QStringLiteral("sécret"));
    EXPECT_EQ(read.name, QStringLiteral("lobby-1"));
    EXPECT_EQ(read.topicPrefix, QStringLiteral("walls"));
    EXPECT_EQ(read.caFile, QStringLiteral("/etc/wall/ca.pem"));
    EXPECT_EQ(read.certFile, QStringLiteral("/etc/wall/cert.pem"));
    EXPECT_EQ(read.keyFile, QStringLiteral("/etc/wall/key.pem"));
    EXPECT_EQ(SyncSettings::load().group, QStringLiteral("shopfront"));
    EXPECT_EQ(SyncSettings::load().role, SyncSettings::Role::Follower);
    EXPECT_EQ(SettingsStore::readString("Sync", "Role"), QStringLiteral("follower"));
    for (const char* key :
         {"Url", "Name", "User", "Password", "TopicPrefix", "CaFile", "CertFile", "KeyFile"})
        EXPECT_FALSE(SettingsStore::readString("Mqtt", QString::fromLatin1(key)).isEmpty()) << key;

    {
        // Back in the group as stored; looking changes nothing.
        CDlgSeting d(area, prompts);
        EXPECT_TRUE(d.findChild<QCheckBox*>(QStringLiteral("fleetEnabled"))->isChecked());
        EXPECT_TRUE(d.findChild<QCheckBox*>(QStringLiteral("fleetTls"))->isChecked());
        EXPECT_EQ(field(d, "fleetHost")->text(), QStringLiteral("broker.example"));
        EXPECT_EQ(field(d, "fleetPort")->text(), QStringLiteral("8884"));
        EXPECT_EQ(field(d, "fleetUser")->text(), QStringLiteral("wall"));
        EXPECT_EQ(field(d, "fleetPassword")->text(), QStringLiteral("sécret"));
        EXPECT_EQ(field(d, "fleetName")->text(), QStringLiteral("lobby-1"));
        EXPECT_EQ(field(d, "fleetTopicPrefix")->text(), QStringLiteral("walls"));
        EXPECT_EQ(field(d, "fleetKeyFile")->text(), QStringLiteral("/etc/wall/key.pem"));
        EXPECT_EQ(field(d, "syncGroup")->text(), QStringLiteral("shopfront"));
        EXPECT_EQ(d.findChild<QComboBox*>(QStringLiteral("syncRole"))->currentData().toString(),
                  QStringLiteral("follower"));
        enter(d, "fleetUser", QStringLiteral("wall"));
        enter(d, "syncGroup", QStringLiteral("shopfront"));
        EXPECT_FALSE(d.fleetChanged());
        // Off: the fleet sees no broker; the rest stays for the next time.
        d.findChild<QCheckBox*>(QStringLiteral("fleetEnabled"))->click();
        EXPECT_TRUE(d.fleetChanged());
    }
    EXPECT_TRUE(FleetSettings::load().url.isEmpty());
    EXPECT_EQ(FleetSettings::load().user, QStringLiteral("wall"));
}
