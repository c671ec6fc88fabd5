#include "CDlgSeting.h"

#include "RemotePanel.h"
#include "base/SettingsStore.h"
#include "base/StringTable.h"
#include "canvas/SectionLayout.h"
#include "model/CAct.h"
#include "remote/FleetClient.h"
#include "remote/SyncGroup.h"
#include "ui/widgets/CColorBtn.h"
#include "ui/widgets/NumberField.h"
#include "ui/widgets/UserPrompts.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QToolButton>

#include <atomic>
#include <mutex>
#include <shared_mutex>

namespace {

enum Control
{
    IdFrame = 1003,
    IdFrameColor = 1106,
    IdBackColor = 1107,
    IdHorizontal = 1001,
    IdVertical = 1002,
    IdPos = 1020,
    IdNum = 1100,
    IdSection = 1025,
    IdLength = 1026,
    IdSectionPos = 1019,
    IdWidth = 1004,
    IdHeight = 1086,
    IdManual = 1022,
    IdAutoPlay = 1024,
    IdLanguage = 1023,
};

template <class W>
W* named(W* widget, int id)
{
    widget->setObjectName(QString::number(id));
    return widget;
}

} // namespace

CDlgSeting::CDlgSeting(CAct& area, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), m_area(area), m_prompts(prompts)
{
    setWindowTitle(dialogText("Setting", "设置"));
    buildWindow();
    loadValues();
}

void CDlgSeting::buildWindow()
{
    auto* grid = new QGridLayout(this);
    // Every number here is a whole number in the range the area takes.
    const auto digitsOnly = [this](int id, int low, int high) {
        auto* edit = named(new QLineEdit(this), id);
        NumberField::limit(edit, low, high);
        edit->setMaximumWidth(80);
        return edit;
    };
    int row = 0;
    grid->addWidget(new QLabel(dialogText("Frame:", "边框:"), this), row, 0);
    m_frame = named(new QComboBox(this), IdFrame);
    m_frame->addItems(loadStringList(StringId::FrameStyles));
    grid->addWidget(m_frame, row, 1);
    m_frameColor = named(new CColorBtn(this), IdFrameColor);
    grid->addWidget(m_frameColor, row, 2);
    grid->addWidget(new QLabel(dialogText("Background Color:", "背景色:"), this), row, 3);
    m_backColor = named(new CColorBtn(this), IdBackColor);
    grid->addWidget(m_backColor, row++, 4);

    m_horizontal =
        named(new QRadioButton(dialogText("Split horizontally", "水平分开"), this), IdHorizontal);
    m_vertical =
        named(new QRadioButton(dialogText("Split vertically", "垂直分开"), this), IdVertical);
    auto* split = new QButtonGroup(this);
    split->addButton(m_horizontal);
    split->addButton(m_vertical);
    grid->addWidget(m_horizontal, row, 0, 1, 2);
    grid->addWidget(m_vertical, row++, 2, 1, 2);

    grid->addWidget(new QLabel(dialogText("Pos", "位置"), this), row, 0);
    m_pos = digitsOnly(IdPos, 0, 10000);
    grid->addWidget(m_pos, row, 1);
    grid->addWidget(new QLabel(dialogText("Num", "数量"), this), row, 2);
    m_num = digitsOnly(IdNum, 1, 10);
    grid->addWidget(m_num, row, 3);
    m_section = named(new QComboBox(this), IdSection);
    grid->addWidget(m_section, row++, 4);

    grid->addWidget(new QLabel(dialogText("length per section", "每段长度"), this), row, 0);
    m_length = digitsOnly(IdLength, 1, 10000);
    grid->addWidget(m_length, row, 1);
    grid->addWidget(new QLabel(dialogText("pos per section", "每段位置"), this), row, 2);
    m_sectionPos = digitsOnly(IdSectionPos, 0, 10000);
    grid->addWidget(m_sectionPos, row++, 3);

    grid->addWidget(new QLabel(dialogText("LED Width", "屏宽:"), this), row, 0);
    m_width = digitsOnly(IdWidth, 1, 10000);
    grid->addWidget(m_width, row, 1);
    grid->addWidget(new QLabel(dialogText("LED Height", "屏高:"), this), row, 2);
    m_height = digitsOnly(IdHeight, 1, 10000);
    grid->addWidget(m_height, row++, 3);

    m_manual = named(
        new QCheckBox(
            dialogText("Manual play: 11 previous item, 22 next item, 33 first item, 44 last item",
                       "手动播放：11 上一节目，22 下一节目，33 首页，44 尾页"),
            this),
        IdManual);
    grid->addWidget(m_manual, row++, 0, 1, 5);
    m_autoPlay = named(new QCheckBox(dialogText("Auto Play", "自动播放节目"), this), IdAutoPlay);
    grid->addWidget(m_autoPlay, row, 0, 1, 3);
    // "Language" stays in the Chinese text set, so that whoever cannot read it still finds the
    // way back; each language is offered in its own name.
    m_languageButton =
        named(new QPushButton(dialogText("Language", "语言 (Language)"), this), IdLanguage);
    m_languageButton->setAutoDefault(false);
    m_languageButton->setMinimumWidth(m_languageButton->sizeHint().width());
    m_languageMenu = new QMenu(this);
    m_languageMenu->setObjectName(QStringLiteral("languageMenu"));
    m_languageMenu->addAction(QStringLiteral("中文 (Chinese)"), this,
                              [this] { chooseLanguage(1); });
    m_languageMenu->addAction(QStringLiteral("English (英文)"), this,
                              [this] { chooseLanguage(3); });
    grid->addWidget(m_languageButton, row++, 4);
    m_blankOnStop = new QCheckBox(dialogText("Blank the wall on stop", "停止时清屏"), this);
    m_blankOnStop->setObjectName(QStringLiteral("blankOnStop"));
    m_blankOnStop->setToolTip(
        dialogText("Off: Stop leaves the last picture on the wall", "不选：停止后保留最后的画面"));
    grid->addWidget(m_blankOnStop, row++, 0, 1, 5);
    auto* remote = new RemotePanel(this);
    grid->addWidget(remote, row++, 0, 1, 5);
    connect(remote, &RemotePanel::changed, this, &CDlgSeting::remoteChanged);
    grid->addWidget(buildFleetGroup(), row++, 0, 1, 5);

    connect(m_horizontal, &QRadioButton::clicked, this, [this] { onSplitClicked(0); });
    connect(m_vertical, &QRadioButton::clicked, this, [this] { onSplitClicked(1); });
    connect(m_frame, &QComboBox::activated, this, &CDlgSeting::onFrameStyle);
    connect(m_frameColor, &CColorBtn::clicked, this, &CDlgSeting::onFrameColor);
    connect(m_backColor, &CColorBtn::clicked, this, &CDlgSeting::onBackColor);
    connect(m_width, &QLineEdit::textEdited, this, &CDlgSeting::onWidthEdited);
    connect(m_height, &QLineEdit::textEdited, this, &CDlgSeting::onHeightEdited);
    connect(m_manual, &QCheckBox::clicked, this, &CDlgSeting::onManualPlay);
    connect(m_autoPlay, &QCheckBox::clicked, this, &CDlgSeting::onAutoPlay);
    connect(m_blankOnStop, &QCheckBox::clicked, this, [](bool on) {
        SettingsStore::writeInt(QStringLiteral("Tessarin"), QStringLiteral("BlankOnStop"),
                                on ? 1 : 0);
    });
    connect(m_pos, &QLineEdit::textEdited, this, &CDlgSeting::onPosEdited);
    connect(m_num, &QLineEdit::textEdited, this, &CDlgSeting::onNumEdited);
    connect(m_section, &QComboBox::activated, this, &CDlgSeting::onSectionChosen);
    connect(m_length, &QLineEdit::textEdited, this, &CDlgSeting::onLengthEdited);
    connect(m_sectionPos, &QLineEdit::textEdited, this, &CDlgSeting::onSectionPosEdited);
    connect(m_languageButton, &QPushButton::clicked, this, [this] {
        m_languageMenu->exec(m_languageButton->mapToGlobal(QPoint(-1, m_languageButton->height())));
    });
}

QWidget* CDlgSeting::buildFleetGroup()
{
    auto* group = new QGroupBox(dialogText("Fleet (MQTT)", "集群 (MQTT)"), this);
    group->setObjectName(QStringLiteral("fleet"));
    auto* grid = new QGridLayout(group);
    const auto field = [group](const char* name) {
        auto* edit = new QLineEdit(group);
        edit->setObjectName(QString::fromLatin1(name));
        return edit;
    };
    m_fleetEnabled = new QCheckBox(dialogText("Connect to a broker", "连接到代理服务器"), group);
    m_fleetEnabled->setObjectName(QStringLiteral("fleetEnabled"));
    grid->addWidget(m_fleetEnabled, 0, 0, 1, 2);
    m_fleetTls = new QCheckBox(dialogText("TLS (mqtts)", "加密 (TLS, mqtts)"), group);
    m_fleetTls->setObjectName(QStringLiteral("fleetTls"));
    grid->addWidget(m_fleetTls, 0, 2, 1, 2);
    grid->addWidget(new QLabel(dialogText("Broker:", "代理服务器:"), group), 1, 0);
    m_fleetHost = field("fleetHost");
    grid->addWidget(m_fleetHost, 1, 1);
    grid->addWidget(new QLabel(dialogText("Port:", "端口:"), group), 1, 2);
    m_fleetPort = field("fleetPort");
    NumberField::limit(m_fleetPort, 1, 65535);
    m_fleetPort->setMaximumWidth(80);
    grid->addWidget(m_fleetPort, 1, 3);
    grid->addWidget(new QLabel(dialogText("User:", "用户名:"), group), 2, 0);
    m_fleetUser = field("fleetUser");
    grid->addWidget(m_fleetUser, 2, 1);
    grid->addWidget(new QLabel(dialogText("Password:", "密码:"), group), 2, 2);
    m_fleetPassword = field("fleetPassword");
    m_fleetPassword->setEchoMode(QLineEdit::Password);
    grid->addWidget(m_fleetPassword, 2, 3);
    grid->addWidget(new QLabel(dialogText("Player name:", "播放器名称:"), group), 3, 0);
    m_fleetName = field("fleetName");
    m_fleetName->setPlaceholderText(FleetSettings::defaultName());
    grid->addWidget(m_fleetName, 3, 1);
    grid->addWidget(new QLabel(dialogText("Topic prefix:", "主题前缀:"), group), 3, 2);
    m_fleetPrefix = field("fleetTopicPrefix");
    grid->addWidget(m_fleetPrefix, 3, 3);
    // A sync group: walls of several PCs that play as one, on this broker.
    grid->addWidget(new QLabel(dialogText("Sync group:", "同步组:"), group), 4, 0);
    m_syncGroup = field("syncGroup");
    m_syncGroup->setPlaceholderText(dialogText("none", "无"));
    m_syncGroup->setToolTip(dialogText("Players of one group play the same project in step.",
                                       "同组的播放器同步播放同一节目。"));
    grid->addWidget(m_syncGroup, 4, 1);
    grid->addWidget(new QLabel(dialogText("Role:", "角色:"), group), 4, 2);
    m_syncRole = new QComboBox(group);
    m_syncRole->setObjectName(QStringLiteral("syncRole"));
    m_syncRole->addItem(dialogText("auto", "自动"), QStringLiteral("auto"));
    m_syncRole->addItem(dialogText("leader", "主机"), QStringLiteral("leader"));
    m_syncRole->addItem(dialogText("follower", "从机"), QStringLiteral("follower"));
    grid->addWidget(m_syncRole, 4, 3);
    // The TLS files, each with a button that looks for it.
    const struct
    {
        const char* english;
        const char* chinese;
        const char* name;
        QLineEdit** edit;
    } files[] = {
        {"CA certificates:", "CA 证书:", "fleetCaFile", &m_fleetCaFile},
        {"Client certificate:", "客户端证书:", "fleetCertFile", &m_fleetCertFile},
        {"Client key:", "客户端密钥:", "fleetKeyFile", &m_fleetKeyFile},
    };
    int row = 5;
    for (const auto& file : files) {
        grid->addWidget(new QLabel(dialogText(file.english, file.chinese), group), row, 0);
        QLineEdit* edit = field(file.name);
        *file.edit = edit;
        auto* browse = new QToolButton(group);
        browse->setText(QStringLiteral("..."));
        browse->setObjectName(QString::fromLatin1(file.name) + QStringLiteral("Browse"));
        auto* line = new QHBoxLayout;
        line->addWidget(edit, 1);
        line->addWidget(browse);
        grid->addLayout(line, row++, 1, 1, 3);
        connect(browse, &QPushButton::clicked, this, [this, edit] {
            const QString chosen = m_prompts.openFile(
                this, dialogText("Certificates and keys (*.pem *.crt *.key)|*.pem;*.crt;*.key|All "
                                 "Files (*.*)|*.*||",
                                 "证书和密钥 (*.pem *.crt *.key)|*.pem;*.crt;*.key|所有文件 "
                                 "(*.*)|*.*||"));
            if (chosen.isEmpty())
                return;
            edit->setText(chosen);
            storeFleet();
        });
    }
    auto* note = new QLabel(dialogText("The player connects with these when the dialog closes.",
                                       "关闭本对话框后按这些设置连接。"),
                            group);
    note->setWordWrap(true);
    grid->addWidget(note, row, 0, 1, 4);

    for (QCheckBox* box : {m_fleetEnabled, m_fleetTls})
        connect(box, &QCheckBox::clicked, this, &CDlgSeting::storeFleet);
    for (QLineEdit* edit : {m_fleetHost, m_fleetPort, m_fleetUser, m_fleetPassword, m_fleetName,
                            m_fleetPrefix, m_fleetCaFile, m_fleetCertFile, m_fleetKeyFile})
        connect(edit, &QLineEdit::editingFinished, this, &CDlgSeting::storeFleet);
    connect(m_syncGroup, &QLineEdit::editingFinished, this, &CDlgSeting::storeFleet);
    connect(m_syncRole, &QComboBox::activated, this, &CDlgSeting::storeFleet);
    connect(m_fleetPort, &QLineEdit::textEdited, this,
            [this] { NumberField::numberIn(m_fleetPort); });
    // The port follows TLS while it is the other scheme's usual one.
    connect(m_fleetTls, &QCheckBox::toggled, this, [this](bool tls) {
        if (m_fleetPort->text() == QLatin1String(tls ? "1883" : "8883"))
            m_fleetPort->setText(QLatin1String(tls ? "8883" : "1883"));
    });
    loadFleet();
    return group;
}

void CDlgSeting::loadFleet()
{
    const FleetSettings s = FleetSettings::load();
    QString host;
    int port = 1883;
    bool tls = false;
    const bool parsed = FleetSettings::parseUrl(s.url, &host, &port, &tls);
    m_fleetEnabled->setChecked(!s.url.isEmpty());
    // An address the fleet cannot read shows as it is, to be corrected.
    m_fleetHost->setText(parsed || s.url.isEmpty() ? host : s.url);
    QSignalBlocker quiet(m_fleetTls);
    m_fleetTls->setChecked(tls);
    m_fleetPort->setText(QString::number(port));
    NumberField::clearMark(m_fleetPort);
    m_fleetUser->setText(s.user);
    m_fleetPassword->setText(s.password);
    m_fleetName->setText(s.name);
    m_fleetPrefix->setText(s.topicPrefix);
    m_fleetCaFile->setText(s.caFile);
    m_fleetCertFile->setText(s.certFile);
    m_fleetKeyFile->setText(s.keyFile);
    const SyncSettings sync = SyncSettings::load();
    m_syncGroup->setText(sync.group);
    m_syncRole->setCurrentIndex(m_syncRole->findData(SyncSettings::roleName(sync.role)));
}

void CDlgSeting::storeFleet()
{
    const FleetSettings before = FleetSettings::load();
    FleetSettings s = before;
    QString host = m_fleetHost->text().trimmed();
    const bool tls = m_fleetTls->isChecked();
    // A port out of range is never stored: the field stays marked, the address keeps its port.
    QString oldHost;
    int port = tls ? 8883 : 1883;
    bool oldTls = false;
    FleetSettings::parseUrl(before.url, &oldHost, &port, &oldTls);
    if (const auto typed = NumberField::numberIn(m_fleetPort))
        port = *typed;
    if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('[')))
        host = QLatin1Char('[') + host + QLatin1Char(']'); // an IPv6 address
    s.url = m_fleetEnabled->isChecked() && !host.isEmpty()
                ? QStringLiteral("%1://%2:%3")
                      .arg(QLatin1String(tls ? "mqtts" : "mqtt"), host)
                      .arg(port)
                : QString();
    s.user = m_fleetUser->text();
    s.password = m_fleetPassword->text();
    s.name = m_fleetName->text().trimmed();
    // Empty: what the fleet takes when the store has nothing.
    const FleetSettings defaults;
    s.topicPrefix = m_fleetPrefix->text().trimmed().isEmpty() ? defaults.topicPrefix
                                                              : m_fleetPrefix->text().trimmed();
    s.caFile = m_fleetCaFile->text().trimmed().isEmpty() ? defaults.caFile
                                                         : m_fleetCaFile->text().trimmed();
    s.certFile = m_fleetCertFile->text().trimmed();
    s.keyFile = m_fleetKeyFile->text().trimmed();
    const QString group = QStringLiteral("Mqtt");
    const std::pair<const char*, std::pair<const QString*, const QString*>> keys[] = {
        {"Url", {&s.url, &before.url}},
        {"Name", {&s.name, &before.name}},
        {"User", {&s.user, &before.user}},
        {"Password", {&s.password, &before.password}},
        {"TopicPrefix", {&s.topicPrefix, &before.topicPrefix}},
        {"CaFile", {&s.caFile, &before.caFile}},
        {"CertFile", {&s.certFile, &before.certFile}},
        {"KeyFile", {&s.keyFile, &before.keyFile}},
    };
    for (const auto& [key, values] : keys) {
        if (*values.first == *values.second)
            continue;
        SettingsStore::writeString(group, QString::fromLatin1(key), *values.first);
        m_fleetChanged = true;
    }
    // A group's name that cannot stand in a topic is told when the group starts.
    const SyncSettings stored = SyncSettings::load();
    SyncSettings sync = stored;
    sync.group = m_syncGroup->text().trimmed();
    SyncSettings::parseRole(m_syncRole->currentData().toString(), &sync.role);
    if (sync.group != stored.group || sync.role != stored.role) {
        sync.storeGroupAndRole();
        m_fleetChanged = true;
    }
}

void CDlgSeting::loadValues()
{
    m_backColor->setColor(m_area.settings().backColor);
    m_frameColor->setColor(m_area.settings().frameColor);
    (m_area.settings().splitMode == 0 ? m_horizontal : m_vertical)->setChecked(true);
    m_frame->setCurrentIndex(m_area.settings().frameLines);
    m_width->setText(QString::number(m_area.settings().ledWidth));
    m_height->setText(QString::number(m_area.settings().ledHeight));
    NumberField::clearMark(m_width);
    NumberField::clearMark(m_height);
    m_manual->setChecked(m_area.settings().manualPlay != 0);
    m_posValue = m_area.settings().firstOffset;
    m_pos->setText(QString::number(m_posValue));
    m_numValue = static_cast<int>(m_area.sections().size());
    m_num->setText(QString::number(m_numValue));
    fillSectionList(m_numValue);
    m_blankOnStop->setChecked(
        SettingsStore::readBool(QStringLiteral("Tessarin"), QStringLiteral("BlankOnStop"), false));
    m_autoPlay->setChecked(
        SettingsStore::readBool(QStringLiteral("Tessarin"), QStringLiteral("AutoPlay"), false));
    updateSizeEdits();
}

void CDlgSeting::fillSectionList(int count)
{
    m_section->clear();
    for (int i = 1; i <= count; ++i)
        m_section->addItem(QString::number(i));
    m_section->setCurrentIndex(-1);
    m_lengthValue = 0;
    m_sectionPosValue = 0;
    m_length->setText(QStringLiteral("0"));
    m_sectionPos->setText(QStringLiteral("0"));
}

void CDlgSeting::updateSizeEdits()
{
    // The split dimension is the sum of the section lengths; only the other one is typed.
    const bool vertical = m_vertical->isChecked();
    m_width->setEnabled(vertical);
    m_height->setEnabled(!vertical);
}

bool CDlgSeting::acceptNumber(QLineEdit* edit, const QString& typed, int previous, int low,
                              int high, int messageId, int& value)
{
    bool ok = false;
    value = typed.toInt(&ok);
    if (!ok) {
        NumberField::numberIn(edit, typed); // empty: marked until a number is typed
        return false;
    }
    NumberField::clearMark(edit);
    if (value == previous)
        return false;
    if (value < low || value > high) {
        m_prompts.showMessage(this, loadString(static_cast<StringId>(messageId)));
        edit->setText(QString::number(previous));
        return false;
    }
    return true;
}

void CDlgSeting::change(const std::function<void(AreaSettings&)>& apply)
{
    // The area takes the change whole, under its sections' lock; the windows follow.
    m_area.changeSettings(apply);
    m_area.LayoutSections();
    emit projectChanged();
}

void CDlgSeting::onSplitClicked(int splitMode)
{
    const int width = m_width->text().toInt();
    const int height = m_height->text().toInt();
    (splitMode == 0 ? m_horizontal : m_vertical)->setChecked(true);
    updateSizeEdits();
    change([&](AreaSettings& s) {
        s.splitMode = splitMode;
        s.ledWidth = height;
        s.ledHeight = width;
    });
    m_width->setText(QString::number(m_area.settings().ledWidth));
    m_height->setText(QString::number(m_area.settings().ledHeight));
    NumberField::clearMark(m_width);
    NumberField::clearMark(m_height);
}

void CDlgSeting::onFrameStyle(int index)
{
    change([&](AreaSettings& s) { s.frameLines = index; });
}

void CDlgSeting::onFrameColor()
{
    change([&](AreaSettings& s) { s.frameColor = m_frameColor->color(); });
}

void CDlgSeting::onBackColor()
{
    change([&](AreaSettings& s) { s.backColor = m_backColor->color(); });
}

void CDlgSeting::onWidthEdited(const QString& typed)
{
    const auto number = NumberField::numberIn(m_width, typed);
    if (!number)
        return;
    const int value = *number;
    change([&](AreaSettings& s) { s.ledWidth = value; });
}

void CDlgSeting::onHeightEdited(const QString& typed)
{
    const auto number = NumberField::numberIn(m_height, typed);
    if (!number)
        return;
    const int value = *number;
    change([&](AreaSettings& s) { s.ledHeight = value; });
}

void CDlgSeting::onManualPlay(bool on)
{
    if (m_area.manualPlay() != on) {
        m_area.changeSettings([on](AreaSettings& s) { s.manualPlay = on ? 1 : 0; });
        emit projectChanged();
    }
}

void CDlgSeting::onAutoPlay(bool on)
{
    SettingsStore::writeInt(QStringLiteral("Tessarin"), QStringLiteral("AutoPlay"), on ? 1 : 0);
}

void CDlgSeting::onPosEdited(const QString& typed)
{
    int value = 0;
    if (!acceptNumber(m_pos, typed, m_posValue, 0, 10000, int(StringId::RangePos), value))
        return;
    m_posValue = value;
    change([&](AreaSettings& s) { s.firstOffset = value; });
}

void CDlgSeting::onNumEdited(const QString& typed)
{
    int count = 0;
    if (!acceptNumber(m_num, typed, m_numValue, 1, 10, int(StringId::RangeNum), count))
        return;
    m_numValue = count;
    const int total =
        m_area.settings().splitMode == 0 ? m_area.settings().ledWidth : m_area.settings().ledHeight;
    m_area.ClearSections();
    std::vector<int> lengths = SectionLayout::splitLengths(total, count);
    for (int i = 0; i < count; ++i)
        m_area.AddSection(i, std::max(1, lengths[size_t(i)]), 0); // never shorter than a pixel
    fillSectionList(count);
    change([](AreaSettings&) {});
}

void CDlgSeting::onSectionChosen(int index)
{
    const int n = m_section->itemText(index).toInt();
    if (n <= 0 || n > static_cast<int>(m_area.sections().size()))
        return;
    const SectionRecord& section = *m_area.sections()[size_t(n - 1)];
    m_lengthValue = section.sectionLength;
    m_sectionPosValue = section.sectionPos;
    m_length->setText(QString::number(m_lengthValue));
    m_sectionPos->setText(QString::number(m_sectionPosValue));
}

void CDlgSeting::onLengthEdited(const QString& typed)
{
    const int chosen = m_section->currentIndex();
    if (chosen < 0 || chosen >= static_cast<int>(m_area.sections().size()))
        return; // no section chosen: the edit reaches none
    int value = 0;
    if (!acceptNumber(m_length, typed, m_lengthValue, 1, 10000, int(StringId::RangeLength), value))
        return;
    const int grown = value - m_lengthValue;
    m_area.setSectionPlace(chosen, value, m_area.sections()[size_t(chosen)]->sectionPos);
    change([&](AreaSettings& s) {
        if (s.splitMode == 0)
            s.ledWidth = m_width->text().toInt() + grown;
        else
            s.ledHeight = m_height->text().toInt() + grown;
    });
    m_width->setText(QString::number(m_area.settings().ledWidth));
    m_height->setText(QString::number(m_area.settings().ledHeight));
    NumberField::clearMark(m_width);
    NumberField::clearMark(m_height);
    m_lengthValue = value;
}

void CDlgSeting::onSectionPosEdited(const QString& typed)
{
    const int chosen = m_section->currentIndex();
    if (chosen < 0 || chosen >= static_cast<int>(m_area.sections().size()))
        return;
    int value = 0;
    if (!acceptNumber(m_sectionPos, typed, m_sectionPosValue, 0, 10000, int(StringId::RangePos),
                      value))
        return;
    m_sectionPosValue = value;
    m_area.setSectionPlace(chosen, m_area.sections()[size_t(chosen)]->sectionLength, value);
    change([](AreaSettings&) {});
}

void CDlgSeting::chooseLanguage(int value)
{
    SettingsStore::writeInt(QStringLiteral("Tessarin"), QStringLiteral("Language"), value);
    m_language = value;
    accept();
}
