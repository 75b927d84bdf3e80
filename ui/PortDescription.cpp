#include "ui/PortDescription.h"

#include "core/ControlIds.h"
#include "core/DeviceView.h"
#include "ui/CaptionFit.h"
#include "ui/DialogKeys.h"
#include "ui/DialogUnits.h"
#include "ui/EditDes.h"
#include "ui/LampImages.h"
#include "ui/PowerCycleDialog.h"
#include "ui/WidgetControls.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>

#include <algorithm>

namespace
{

const QColor PanelGrey(0xDA, 0xDA, 0xDA);
const QColor NoteBlue(0x21, 0x21, 0xFF);

// LED key: the three lamps (1323, 1325, 1326) and their texts (1327, 1328, 1329).
struct KeyEntry {
    int lampId;
    int textId;
    Lamp lamp;
};
constexpr std::array<KeyEntry, 3> KeyEntries{{
    {1323, 1327, Lamp::Detecting},
    {1325, 1328, Lamp::DisabledOrError},
    {1326, 1329, Lamp::Connected},
}};

// Row labels: "Port Description" and "Enable" of the top row, then of the bottom row.
constexpr std::array<int, 4> RowLabelIds{1330, 1331, 1365, 1366};

// A port lamp takes the focus, so that its context menu is in reach of the keyboard; a dotted
// frame shows where the focus is. Painted here: a style sheet on each of 24 lamps would cost
// the first paint several milliseconds.
class PortLamp : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QLabel::paintEvent(event);
        if (!hasFocus())
            return;
        QPainter painter(this);
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

void paintText(QWidget* widget, const QColor& colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    widget->setPalette(p);
}

} // namespace

PortDescription::PortDescription(AppContext& context, WidgetControls& controls, const LampImages& lamps,
                                 QWidget* parent)
    : QWidget(parent), logic_(context), cycle_(context)
{
    context.view.watch(cycle_);
    context.powerCycle = &cycle_;
    setFont(fonts::dialog());
    QPalette grey = palette();
    grey.setColor(QPalette::Window, PanelGrey);
    setPalette(grey);
    setAutoFillBackground(true);
    build(controls, lamps);
    dialog_ = new EditDes(context.state, controls, this);
    connect(dialog_, &QDialog::finished, this, &PortDescription::descriptionDialogFinished);
    controls.add(ctl::PortPage, this);
}

PowerCycleDialog* PortDescription::powerCycleDialog()
{
    if (!cycleDialog_) {
        cycleDialog_ = new PowerCycleDialog(this);
        connect(cycleDialog_, &QDialog::accepted, this,
                [this] { cycle_.start(cycleDialog_->chosenPorts(), cycleDialog_->offSeconds()); });
    }
    return cycleDialog_;
}

void PortDescription::build(WidgetControls& controls, const LampImages& lamps)
{
    const QFont descriptionFont = fonts::withCellHeight(QStringLiteral("Arial"), 13, 400);
    QPalette white = palette();
    white.setColor(QPalette::Base, Qt::white);

    // Group boxes first, so that what lies inside them is drawn on top.
    commands_ = new QGroupBox(QStringLiteral("Port Commands"), this);
    controls.add(ctl::PortCommandsGroup, commands_);
    ledKey_ = new QGroupBox(QStringLiteral("LED Key (Port status)"), this);
    controls.add(ctl::LedKeyGroup, ledKey_);

    allPorts_ = new QCheckBox(QStringLiteral("Enable/Disable All Ports"), commands_);
    controls.add(ctl::AllPorts, allPorts_);
    legacy_ = new QCheckBox(QStringLiteral("Detect Legacy Signature"), commands_);
    controls.add(ctl::LegacyDetect, legacy_);
    legacyNote_ = new QLabel(QStringLiteral("Legacy Detect is Enabled"), commands_);
    paintText(legacyNote_, NoteBlue);
    controls.add(ctl::LegacyEnabledNote, legacyNote_);
    send_ = new QPushButton(QStringLiteral("Send Port Control"), commands_);
    send_->setAutoDefault(false);
    controls.add(ctl::SendPortControl, send_);
    powerCycleButton_ = new QPushButton(QStringLiteral("Power-cycle..."), commands_);
    powerCycleButton_->setAutoDefault(false);
    powerCycleButton_->setEnabled(false); // until a session has filled the page
    controls.add(ctl::PowerCycle, powerCycleButton_);

    for (std::size_t i = 0; i < KeyEntries.size(); ++i) {
        const KeyEntry& entry = KeyEntries[i];
        keyLamps_[i] = new QLabel(ledKey_);
        keyLamps_[i]->setPixmap(lamps.image(entry.lamp));
        keyLamps_[i]->setAccessibleName(lampMeaning(entry.lamp));
        controls.add(entry.lampId, keyLamps_[i]);
        keyTexts_[i] = new QLabel(lampMeaning(entry.lamp), ledKey_);
        controls.add(entry.textId, keyTexts_[i]);
    }

    sendNote_ = new QLabel(
        QStringLiteral(
            "NOTE: To send changes made in this section to the PoE system, click on 'Send Port Control'."),
        this);
    sendNote_->setWordWrap(true);
    paintText(sendNote_, NoteBlue);
    controls.add(ctl::SendNote, sendNote_);

    for (std::size_t i = 0; i < RowLabelIds.size(); ++i) {
        rowLabels_[i] =
            new QLabel(i % 2 == 0 ? QStringLiteral("Port Description") : QStringLiteral("Enable"), this);
        rowLabels_[i]->setWordWrap(true);
        controls.add(RowLabelIds[i], rowLabels_[i]);
    }

    for (int k = 1; k <= MaxPorts; ++k) {
        const QString name = QStringLiteral("Port %1").arg(k);
        Port& port = ports_[k];
        port.group = new QGroupBox(name, this);
        port.group->setAlignment(Qt::AlignHCenter);
        controls.add(ctl::PortGroupBase + k, port.group);

        port.lamp = new PortLamp(port.group);
        port.lamp->setAlignment(Qt::AlignCenter);
        port.lamp->setAccessibleName(name + QStringLiteral(" status"));
        port.lamp->setFocusPolicy(Qt::StrongFocus);
        port.lamp->setContextMenuPolicy(Qt::CustomContextMenu);
        port.lamp->installEventFilter(this);
        connect(port.lamp, &QWidget::customContextMenuRequested, this,
                [this, k](const QPoint& at) { showLampMenu(k, at); });
        controls.add(ctl::PortLampBase + k, port.lamp);
        controls.setLamp(ctl::PortLampBase + k, Lamp::NoData);

        port.description = new QLineEdit(port.group);
        port.description->setReadOnly(true);
        port.description->setAlignment(Qt::AlignCenter);
        port.description->setFont(descriptionFont);
        port.description->setPalette(white);
        port.description->setAccessibleName(name + QStringLiteral(" description"));
        controls.add(ctl::PortDescriptionBase + k, port.description);

        port.edit = new QPushButton(QStringLiteral("Edit"), port.group);
        port.edit->setAutoDefault(false);
        port.edit->setAccessibleName(QStringLiteral("Edit ") + name + QStringLiteral(" description"));
        controls.add(ctl::PortEditBase + k, port.edit);
        connect(port.edit, &QPushButton::clicked, this, [this, k] { editDescription(k); });

        port.enable = new QCheckBox(port.group);
        port.enable->setAccessibleName(QStringLiteral("Enable ") + name);
        controls.add(ctl::PortEnableBase + k, port.enable);
    }

    connect(send_, &QPushButton::clicked, this, [this] { logic_.sendPortControl(); });
    connect(powerCycleButton_, &QPushButton::clicked, this, [this] { openPowerCycle(0); });
    connect(allPorts_, &QCheckBox::clicked, this, [this] { logic_.setAllPorts(); });
    connect(legacy_, &QCheckBox::clicked, this, [this] { logic_.chooseLegacyDetection(); });
}

void PortDescription::arrange()
{
    constexpr int Margin = 4;
    constexpr int Gap = 4;
    constexpr int TopHeight = 92;
    constexpr int LabelWidth = 74;
    const int w = width();
    const int h = height();

    // Page-wide commands on the left, the LED key and the note on the right.
    const int commandsWidth = 340;
    commands_->setGeometry(Margin, 0, commandsWidth, TopHeight);
    allPorts_->setGeometry(10, 20, 180, 20);
    legacy_->setGeometry(10, 40, 180, 20);
    legacyNote_->setGeometry(28, 60, 170, 18);
    send_->setGeometry(200, 26, 130, 34);
    powerCycleButton_->setGeometry(200, 63, 130, 24);

    const int keyX = Margin + commandsWidth + Gap;
    const int keyWidth = w - keyX - Margin;
    ledKey_->setGeometry(keyX, 0, keyWidth, 50);
    const int slot = (keyWidth - 12) / 3;
    for (std::size_t i = 0; i < keyLamps_.size(); ++i) {
        const int x = 6 + int(i) * slot;
        keyLamps_[i]->setGeometry(x, 17, LampImages::Width, LampImages::Height);
        keyTexts_[i]->setGeometry(x + LampImages::Width + 4, 24, slot - LampImages::Width - 6, 18);
    }
    sendNote_->setGeometry(keyX + 2, 50, keyWidth - 4, TopHeight - 50);

    // Two rows of twelve port groups below, with their row labels on the left.
    const int rowsTop = TopHeight + Gap;
    const int rowHeight = (h - rowsTop - Margin - Gap) / 2;
    const int groupsLeft = Margin + LabelWidth;
    const int groupWidth = (w - groupsLeft - Margin) / 12;
    const int spare = std::max(0, rowHeight - 132) / 5;
    const int lampY = 18 + spare;
    const int descriptionY = lampY + LampImages::Height + spare;
    const int editY = descriptionY + 22 + spare;
    const int enableY = editY + 26 + spare;
    for (int row = 0; row < 2; ++row) {
        const int top = rowsTop + row * (rowHeight + Gap);
        rowLabels_[2 * row]->setGeometry(Margin, top + descriptionY - 11, LabelWidth - 4, 42);
        rowLabels_[2 * row + 1]->setGeometry(Margin, top + enableY, LabelWidth - 4, 20);
        for (int column = 0; column < 12; ++column) {
            const Port& port = ports_[row * 12 + column + 1];
            port.group->setGeometry(groupsLeft + column * groupWidth, top, groupWidth - 2, rowHeight);
            const int inner = groupWidth - 2 - 8;
            port.lamp->setGeometry(4, lampY, inner, LampImages::Height);
            // The description gets the whole width: ten characters barely fit.
            port.description->setGeometry(2, descriptionY, inner + 4, 20);
            port.edit->setGeometry(4, editY, inner, 24);
            port.enable->setGeometry((groupWidth - 2 - 16) / 2, enableY, 18, 20);
        }
    }
}

void PortDescription::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrange();
    fitCaptions(this);
}

void PortDescription::keyPressEvent(QKeyEvent* event)
{
    if (isEnterOrEscape(event)) {
        event->accept(); // only explicit buttons act
        return;
    }
    QWidget::keyPressEvent(event);
}

bool PortDescription::eventFilter(QObject* watched, QEvent* event)
{
    // The menu key and Shift+F10 on a lamp open its menu, as a right click does.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool menuKey = key->key() == Qt::Key_Menu ||
                             (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier);
        for (int k = 1; k <= MaxPorts && menuKey; ++k) {
            QLabel* lamp = ports_[std::size_t(k)].lamp;
            if (watched == lamp) {
                showLampMenu(k, lamp->rect().center());
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

QList<QAction*> PortDescription::lampActions(int port, QObject* owner)
{
    auto* cycle = new QAction(QStringLiteral("Power-cycle port %1").arg(port), owner);
    const std::vector<int> offered = cycle_.offeredPorts();
    cycle->setEnabled(powerCycleButton_->isEnabled() &&
                      std::find(offered.begin(), offered.end(), port) != offered.end());
    connect(cycle, &QAction::triggered, this, [this, port] { openPowerCycle(port); });
    auto* history = new QAction(QStringLiteral("Power history of port %1").arg(port), owner);
    connect(history, &QAction::triggered, this, [this, port] { emit historyRequested(port); });
    return {cycle, history};
}

void PortDescription::openPowerCycle(int port)
{
    PowerCycleDialog* dialog = powerCycleDialog();
    std::array<QString, MaxPorts + 1> descriptions;
    for (int k = 1; k <= MaxPorts; ++k)
        descriptions[std::size_t(k)] = ports_[std::size_t(k)].description->text();
    dialog->offer(cycle_.offeredPorts(), port, descriptions);
    dialog->open();
}

void PortDescription::showLampMenu(int port, const QPoint& at)
{
    QMenu menu(this);
    menu.addActions(lampActions(port, &menu));
    menu.exec(ports_[std::size_t(port)].lamp->mapToGlobal(at));
}

void PortDescription::editDescription(int port)
{
    const QString text = logic_.beginDescriptionEdit(port);
    portEditOpen_ = true;
    dialog_->openForPort(port, text);
}

void PortDescription::descriptionDialogFinished(int result)
{
    // The same dialog also serves the system description, which is none of this page's business.
    if (!portEditOpen_)
        return;
    portEditOpen_ = false;
    logic_.endDescriptionEdit(result == QDialog::Accepted, dialog_->text());
}
