#include "ZonePanel.h"

#include "ZoneEditor.h"
#include "base/StringTable.h"
#include "canvas/BackBuffer.h"
#include "control/ProjectController.h"
#include "model/CAct.h"
#include "model/SectionRecord.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <mutex>
#include <shared_mutex>

namespace {

QSize ledOf(const ProjectController& controller)
{
    const AreaSettings& s = controller.area().settings();
    return {s.ledWidth, s.ledHeight};
}

// The wall at `size`, each dot the LED pixel under its centre, read straight from the sections'
// pictures: a few thousand reads, where the whole wall composed would hold the GUI thread (and so
// every zone's steps) for milliseconds each time.
QImage wallThumbnail(const CAct& area, QSize led, QSize size)
{
    if (size.isEmpty() || led.isEmpty())
        return {};
    QImage thumb(size, QImage::Format_RGB32);
    if (thumb.isNull())
        return thumb;
    thumb.fill(Qt::black);
    std::shared_lock sections(area.sectionsMutex());
    area.forEachBand([&](SectionRecord& section, const QRect& band) {
        std::lock_guard lock(section.renderChild->sectionMutex);
        const QImage* buffer = section.renderChild->GetBackBuffer();
        if (!buffer || buffer->isNull() || buffer->depth() != 32)
            return;
        for (int ty = 0; ty < size.height(); ++ty) {
            const int y = int((qint64(ty) * 2 + 1) * led.height() / (qint64(size.height()) * 2));
            const int by = y - band.y();
            if (by < 0 || by >= band.height() || by >= buffer->height())
                continue;
            const auto* line = reinterpret_cast<const QRgb*>(buffer->constScanLine(by));
            auto* out = reinterpret_cast<QRgb*>(thumb.scanLine(ty));
            for (int tx = 0; tx < size.width(); ++tx) {
                const int x = int((qint64(tx) * 2 + 1) * led.width() / (qint64(size.width()) * 2));
                const int bx = x - band.x();
                if (bx >= 0 && bx < band.width() && bx < buffer->width())
                    out[tx] = line[bx];
            }
        }
    });
    return thumb;
}

} // namespace

ZonePanel::ZonePanel(ProjectController& controller, QWidget* parent)
    : QWidget(parent), m_controller(&controller), m_wallTimer(this)
{
    setObjectName(QStringLiteral("zonePanel"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);

    // Compact: one line without zones; with them the editor and the selected zone's fields.
    auto* header = new QHBoxLayout;
    header->setSpacing(2);
    m_title = new QLabel(dialogText("Zones", "分区"), this);
    header->addWidget(m_title);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("zoneName"));
    m_name->setMaxLength(40);
    m_name->setPlaceholderText(dialogText("zone name", "分区名称"));
    connect(m_name, &QLineEdit::editingFinished, this, &ZonePanel::fieldsEdited);
    header->addWidget(m_name, 1);
    header->addStretch();
    auto* layouts = new QToolButton(this);
    layouts->setObjectName(QStringLiteral("zoneLayouts"));
    layouts->setText(dialogText("Layout", "布局"));
    layouts->setPopupMode(QToolButton::InstantPopup);
    layouts->setAutoRaise(true);
    auto* menu = new QMenu(layouts);
    using Template = AreaZones::Template;
    const struct
    {
        Template layout;
        const char* english;
        const char* chinese;
    } templates[] = {
        {Template::Full, "Full", "全屏"},
        {Template::TickerBelow, "Main + ticker below", "主区 + 底部滚动字幕"},
        {Template::ClockCorner, "Main + clock in the corner", "主区 + 角落时钟"},
        {Template::TwoHalves, "Two halves", "两等分"},
    };
    for (const auto& entry : templates)
        menu->addAction(dialogText(entry.english, entry.chinese), this, [this, entry] {
            if (m_controller)
                apply(AreaZones::fromTemplate(entry.layout, ledOf(*m_controller)));
        });
    layouts->setMenu(menu);
    header->addWidget(layouts);
    auto* add = new QToolButton(this);
    add->setObjectName(QStringLiteral("addZone"));
    add->setText(QStringLiteral("+"));
    add->setToolTip(dialogText("Add a zone: half of the selected one", "添加分区：选中分区的一半"));
    add->setAutoRaise(true);
    connect(add, &QToolButton::clicked, this, [this] { addZone(); });
    header->addWidget(add);
    m_remove = new QToolButton(this);
    m_remove->setObjectName(QStringLiteral("removeZone"));
    m_remove->setText(QStringLiteral("−"));
    m_remove->setToolTip(dialogText("Remove the zone (its items go to the first)",
                                    "删除分区（其文件归入第一个分区）"));
    m_remove->setAutoRaise(true);
    connect(m_remove, &QToolButton::clicked, this, [this] { removeSelectedZone(); });
    header->addWidget(m_remove);
    column->addLayout(header);

    m_editor = new ZoneEditor(this);
    column->addWidget(m_editor);
    connect(m_editor, &ZoneEditor::zoneSelected, this, [this](int zone) {
        fillFields();
        emit selectedZoneChanged(zone);
    });
    connect(m_editor, &ZoneEditor::zonesEdited, this,
            [this](const std::vector<AreaZone>& zones) { apply(zones); });

    m_fields = new QWidget(this);
    auto* fields = new QGridLayout(m_fields);
    fields->setContentsMargins(0, 0, 0, 0);
    fields->setHorizontalSpacing(4);
    fields->setVerticalSpacing(2);
    const auto spin = [this](const char* name, const char* prefix, int min) {
        auto* box = new QSpinBox(m_fields);
        box->setObjectName(QString::fromLatin1(name));
        box->setPrefix(QString::fromLatin1(prefix));
        box->setRange(min, AreaZones::kMostSide);
        box->setKeyboardTracking(false);
        connect(box, &QSpinBox::editingFinished, this, &ZonePanel::fieldsEdited);
        return box;
    };
    m_x = spin("zoneX", "x ", 0);
    m_y = spin("zoneY", "y ", 0);
    m_width = spin("zoneWidth", "w ", 1);
    m_height = spin("zoneHeight", "h ", 1);
    fields->addWidget(m_x, 0, 0);
    fields->addWidget(m_y, 0, 1);
    fields->addWidget(m_width, 1, 0);
    fields->addWidget(m_height, 1, 1);
    column->addWidget(m_fields);

    m_wallTimer.setInterval(1000);
    connect(&m_wallTimer, &QTimer::timeout, this, [this] { refreshWall(); });
    connect(&controller, &ProjectController::zonesChanged, this, &ZonePanel::reload);
    connect(&controller, &ProjectController::projectReplaced, this, &ZonePanel::reload);
    connect(&controller, &QObject::destroyed, this, [this] { m_wallTimer.stop(); });
    reload();
}

int ZonePanel::selectedZone() const
{
    return m_editor->selectedZone();
}

void ZonePanel::reload()
{
    if (!m_controller)
        return;
    const int before = m_editor->selectedZone();
    m_editor->setLedSize(ledOf(*m_controller));
    m_editor->setZones(m_controller->zones());
    const bool zoned = m_controller->zoneCount() > 1;
    m_title->setVisible(!zoned);
    m_name->setVisible(zoned);
    m_editor->setVisible(zoned);
    m_fields->setVisible(zoned);
    refreshWall();
    fillFields();
    if (m_editor->selectedZone() != before)
        emit selectedZoneChanged(m_editor->selectedZone());
}

bool ZonePanel::apply(std::vector<AreaZone> zones)
{
    if (!m_controller)
        return false;
    QString why;
    if (!m_controller->setZones(std::move(zones), &why)) {
        emit message(dialogText("The zones were not changed: ", "分区未更改：") + why);
        reload();
        return false;
    }
    return true; // the controller's zonesChanged shows them
}

bool ZonePanel::addZone()
{
    if (!m_controller)
        return false;
    std::vector<AreaZone> zones = m_controller->zones();
    const int selected = m_editor->selectedZone();
    if (int(zones.size()) >= AreaZones::kMostZones || selected >= int(zones.size())) {
        emit message(dialogText("No more zones: an LED takes %1.", "分区已满：最多 %1 个。")
                         .arg(AreaZones::kMostZones));
        return false;
    }
    QRect& split = zones[size_t(selected)].rect;
    const bool across = split.width() >= split.height();
    const int side = across ? split.width() : split.height();
    if (side < 2) {
        emit message(
            dialogText("The selected zone is too small to divide.", "选中的分区太小，无法分割。"));
        return false;
    }
    QRect added = split;
    if (across) {
        split.setWidth(side / 2);
        added.setLeft(split.x() + split.width());
    } else {
        split.setHeight(side / 2);
        added.setTop(split.y() + split.height());
    }
    zones.push_back(AreaZone{dialogText("Zone %1", "分区 %1").arg(zones.size() + 1), added});
    const int index = int(zones.size()) - 1;
    if (!apply(std::move(zones)))
        return false;
    m_editor->setSelectedZone(index);
    return true;
}

bool ZonePanel::removeSelectedZone()
{
    if (!m_controller)
        return false;
    QString why;
    if (!m_controller->removeZone(m_editor->selectedZone(), &why)) {
        emit message(why);
        return false;
    }
    return true;
}

void ZonePanel::fillFields()
{
    const std::vector<AreaZone>& zones = m_editor->zones();
    const int selected = m_editor->selectedZone();
    m_remove->setEnabled(selected > 0);
    if (selected >= int(zones.size()))
        return;
    const AreaZone& zone = zones[size_t(selected)];
    const QSignalBlocker blockName(m_name);
    const QSignalBlocker blockX(m_x);
    const QSignalBlocker blockY(m_y);
    const QSignalBlocker blockWidth(m_width);
    const QSignalBlocker blockHeight(m_height);
    m_name->setText(zone.name);
    m_x->setValue(zone.rect.x());
    m_y->setValue(zone.rect.y());
    m_width->setValue(zone.rect.width());
    m_height->setValue(zone.rect.height());
}

void ZonePanel::fieldsEdited()
{
    if (!m_controller)
        return;
    std::vector<AreaZone> zones = m_controller->zones();
    const int selected = m_editor->selectedZone();
    if (selected >= int(zones.size()))
        return;
    AreaZone& zone = zones[size_t(selected)];
    const AreaZone typed{m_name->text().trimmed(),
                         QRect(m_x->value(), m_y->value(), m_width->value(), m_height->value())};
    if (typed == zone)
        return;
    zone = typed;
    apply(std::move(zones));
}

void ZonePanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refreshWall();
    m_wallTimer.start();
}

void ZonePanel::hideEvent(QHideEvent* event)
{
    m_wallTimer.stop();
    QWidget::hideEvent(event);
}

void ZonePanel::refreshWall()
{
    if (!m_controller || !m_editor->isVisible())
        return;
    const QSizeF shown = m_editor->ledArea().size();
    m_editor->setWallPicture(wallThumbnail(m_controller->area(), ledOf(*m_controller),
                                           QSize(int(shown.width()), int(shown.height()))));
}
