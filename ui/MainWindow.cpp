#include "ui/MainWindow.h"

#include "core/ControlIds.h"
#include "core/OperatorFeedback.h"
#include "ui/CaptionFit.h"
#include "ui/DialogUnits.h"
#include "ui/EditDes.h"
#include "ui/Info.h"
#include "ui/MyStatic.h"
#include "ui/PROGRESSDLG.h"
#include "ui/PanelPalette.h"
#include "ui/ParamSetting.h"
#include "ui/PictureWindow.h"
#include "ui/PortDescription.h"
#include "ui/ScreenRoom.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QTabBar>
#include <QVBoxLayout>

#include <functional>
#include <utility>

namespace
{

// Tabs of one fixed width, narrowed only when two of them would not fit the control.
class FixedWidthTabBar : public QTabBar
{
public:
    static constexpr int TabWidth = 451;
    using QTabBar::QTabBar;

protected:
    QSize tabSizeHint(int index) const override
    {
        QSize size = QTabBar::tabSizeHint(index);
        size.setWidth(std::min(TabWidth, (width() - 4) / std::max(1, count())));
        return size;
    }
};

// The found-device list acts on the operator's choice: a click, Enter, or a key that moves to
// another row. A change of the current row alone chooses nothing: Qt makes the first row
// current when the list gets the focus (Tab, activation of the window).
class FoundDeviceList : public QListWidget
{
public:
    FoundDeviceList(std::function<void()> chosen, QWidget* parent)
        : QListWidget(parent), chosen_(std::move(chosen))
    {
        connect(this, &QListWidget::itemClicked, this, [this] { chosen_(); });
        connect(this, &QListWidget::itemActivated, this, [this] { chosen_(); });
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const int before = currentRow();
        QListWidget::keyPressEvent(event);
        if (currentRow() >= 0 && currentRow() != before)
            chosen_();
    }

private:
    std::function<void()> chosen_;
};

QPixmap programIcon()
{
    return LampImages().image(Lamp::Connected);
}

} // namespace

MainWindow::MainWindow(SpanmonCore& core, WidgetControls& controls, const LampImages& lamps, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      core_(core), controls_(controls), lamps_(lamps)
{
    setWindowTitle(AppTitle);
    controls_.add(ctl::MainWindow, this);
    setWindowIcon(programIcon());
    setFont(fonts::dialog());
    setPalette(panelPalette());
    setAutoFillBackground(true);
    // The design is one fixed canvas; the window around it scrolls where the screen is smaller
    // (a large scale factor, a small laptop screen).
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    canvas_ = new QWidget;
    scroll_->setWidget(canvas_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll_);

    auto* about = new QAction(QStringLiteral("About Spanmon(&A)..."), this);
    connect(about, &QAction::triggered, this, &MainWindow::runAbout);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    buildTabs();
    boldFont_ = fonts::withCellHeight(QStringLiteral("Arial"), 15, 700);
    normalFont_ = fonts::withCellHeight(QStringLiteral("Arial"), 15, 400);
    valueFont_ = boldFont_;
    buildControls();
    // The pages fit their own captions as they arrange them.
    fitCaptions(canvas_, Qt::FindDirectChildrenOnly);
    progress_ = new PROGRESSDLG(controls_, this);
    wire();
    core_.start();
}

void MainWindow::buildControls()
{
    const DialogUnits du(font());
    canvas_->setFixedSize(du.size(466, 303));
    resize(canvas_->size());
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    setMaximumSize(canvas_->size() + QSize(bar, bar));

    auto place = [&](int id, auto* widget, QRect rect) {
        widget->setGeometry(rect);
        if (id)
            controls_.add(id, widget);
        return widget;
    };
    auto group = [&](int id, const QString& title, QRect rect) {
        return place(id, new QGroupBox(title, canvas_), rect);
    };
    auto button = [&](int id, const QString& text, QRect rect) {
        auto* b = place(id, new QPushButton(text, canvas_), rect);
        b->setAutoDefault(false); // Enter presses no button
        return b;
    };
    auto label = [&](int id, const QString& text, QRect rect) {
        return place(id, new QLabel(text, canvas_), rect);
    };
    auto value = [&](int id, const QString& text, const QString& name, QRect rect) {
        auto* cell = place(id, new MyStatic(text, canvas_), rect);
        cell->setAlignment(Qt::AlignCenter);
        cell->setAccessibleName(name);
        return cell;
    };

    // Frames first, so that the controls inside them lie on top.
    group(ctl::SystemGroup, QStringLiteral("System Information / Operation"), du.rect(4, 2, 300, 95));
    group(ctl::ResetGroup, QStringLiteral("Reset/Update"), du.rect(72, 9, 84, 36));
    group(ctl::ParamGroup, QStringLiteral("System/Port Param."), du.rect(160, 9, 138, 36));
    group(ctl::InfoGroup, QStringLiteral("System Information"), du.rect(72, 46, 226, 48));
    group(ctl::ConnectionGroup, QStringLiteral("Connection Information"), du.rect(308, 2, 154, 95));

    auto* frame = place(ctl::PictureFrame, new QFrame(canvas_), du.rect(10, 13, 56, 44));
    picture_ = new PictureWindow(canvas_);
    picture_->setGeometry(frame->geometry());
    picture_->showPicture(PictureWindow::productPicture());

    button(ctl::About, QStringLiteral("About"), du.rect(10, 62, 56, 14));
    button(ctl::SystemReset, QStringLiteral("System Reset"), du.rect(78, 18, 72, 12));
    button(ctl::FirmwareDownload, QStringLiteral("Firmware Download"), du.rect(78, 31, 72, 12));
    auto* indicator =
        label(ctl::DownloadIndicator, QStringLiteral(" DOWNLOAD IN PROGRESS"), du.rect(74, 32, 80, 10));
    QPalette red = indicator->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    indicator->setPalette(red);
    button(ctl::SaveToFlash, QStringLiteral("Save Parameters to Flash"), du.rect(166, 18, 126, 12));
    button(ctl::FactoryDefaults, QStringLiteral("Restore Factory Defaults"), du.rect(166, 31, 126, 12));

    label(ctl::FirmwareLabel, QStringLiteral("Firmware Version"), du.rect(78, 57, 58, 9));
    auto* firmware = value(ctl::FirmwareRevision, QStringLiteral("FW Rev"),
                           QStringLiteral("Firmware Version"), du.rect(136, 56, 36, 11));
    label(ctl::HardwareLabel, QStringLiteral("Hardware Version"), du.rect(180, 57, 58, 9));
    auto* hardware = value(ctl::HardwareRevision, QStringLiteral("PoE ID Rev"),
                           QStringLiteral("Hardware Version"), du.rect(238, 56, 52, 11));
    for (MyStatic* revision : {firmware, hardware}) {
        revision->setFont(valueFont_);
        revision->setBackgroundColour(Qt::black);
        revision->setTextColour(QColor(255, 66, 33));
    }
    label(ctl::PortNumberLabel, QStringLiteral("Port Number"), du.rect(78, 69, 58, 9));
    auto* ports = value(ctl::PortNumber, QString(), QStringLiteral("Port Number"), du.rect(136, 68, 36, 11));
    ports->setTextColour(Qt::black);
    label(ctl::TotalPowerLabel, QStringLiteral("Total Power"), du.rect(180, 69, 40, 9));
    value(ctl::TotalPower, QString(), QStringLiteral("Total Power"), du.rect(220, 68, 34, 11))
        ->setTextColour(Qt::black);
    button(ctl::History, QStringLiteral("History..."), du.rect(256, 67, 36, 13))
        ->setAccessibleName(QStringLiteral("Power History"));
    label(ctl::SystemIdLabel, QStringLiteral("System ID  (Description)"), du.rect(78, 81, 82, 9));
    auto* description = place(ctl::SystemDescription, new QLineEdit(canvas_), du.rect(160, 80, 96, 11));
    description->setReadOnly(true);
    description->setAccessibleName(QStringLiteral("System ID  (Description)"));
    button(ctl::EditSystemDescription, QStringLiteral("Edit"), du.rect(260, 80, 32, 11))
        ->setAccessibleName(QStringLiteral("Edit System ID"));

    label(ctl::ConnectionTypeLabel, QStringLiteral("Connection Type"), du.rect(314, 14, 56, 9));
    auto* link = place(ctl::LinkCombo, new QComboBox(canvas_), du.rect(372, 12, 84, 12));
    link->setAccessibleName(QStringLiteral("Connection Type"));
    button(ctl::Setting, QStringLiteral("Setting"), du.rect(314, 28, 64, 13));
    place(ctl::ComPortCombo, new QComboBox(canvas_), du.rect(314, 28, 64, 13))
        ->setAccessibleName(QStringLiteral("COM Port"));
    button(ctl::SearchPoe, QStringLiteral("Search PoE"), du.rect(384, 28, 72, 13));
    auto* searching = place(ctl::SearchProgress, new QProgressBar(canvas_), du.rect(314, 28, 142, 13));
    searching->setTextVisible(false);
    searching->setAccessibleName(QStringLiteral("Search progress"));
    auto* found = place(ctl::FoundDevices,
                        new FoundDeviceList([this] { core_.controller().selectFoundDevice(); }, canvas_),
                        du.rect(314, 45, 142, 48));
    found->setAccessibleName(QStringLiteral("Found devices"));

    tabControl_->setGeometry(du.rect(4, 99, 458, 200));
    placePages();
}

void MainWindow::buildTabs()
{
    tabControl_ = new QFrame(canvas_);
    controls_.add(ctl::Tabs, tabControl_);
    tabPane_ = new QFrame(tabControl_);
    tabPane_->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    tabBar_ = new FixedWidthTabBar(tabControl_);
    tabBar_->setDrawBase(true);
    tabBar_->setExpanding(false);
    tabBar_->addTab(QStringLiteral("Port Description"));
    tabBar_->addTab(QStringLiteral("Parametric Information"));
    portPage_ = new PortDescription(context(), controls_, lamps_, tabControl_);
    // The controls may outlive the window, and be asked for while the program winds down.
    controls_.defer([window = QPointer(this)] {
        if (window)
            window->buildInfoPage();
    });
}

void MainWindow::buildInfoPage()
{
    infoPage_ = new Info(controls_, tabControl_);
    infoPage_->setGeometry(pageRect());
    infoPage_->setVisible(tabBar_->currentIndex() == 1);
}

QRect MainWindow::pageRect() const
{
    // The pages lie inside the tab control below its tabs, as the dialog design places them.
    const QRect client = tabControl_->rect();
    return {2, 25, client.width() - 5, client.height() - 27};
}

void MainWindow::placePages()
{
    const QRect client = tabControl_->rect();
    const int tabsHeight = std::min(tabBar_->sizeHint().height(), 25);
    tabBar_->setGeometry(0, 0, client.width(), tabsHeight);
    tabPane_->setGeometry(0, tabsHeight - 1, client.width(), client.height() - tabsHeight + 1);
    portPage_->setGeometry(pageRect());
}

void MainWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        fitToScreen();
}

void MainWindow::fitToScreen()
{
    const QSize room = roomOnScreen(*this);
    QSize wanted = canvas_->size();
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    // A cut in one direction costs a scroll bar across the other.
    if (wanted.height() > room.height())
        wanted.rwidth() += bar;
    if (wanted.width() > room.width())
        wanted.rheight() += bar;
    resize(wanted.boundedTo(room));
}

void MainWindow::selectTab(int index)
{
    tabBar_->setCurrentIndex(index);
    controls_.buildDeferred();
    portPage_->setVisible(index == 0);
    infoPage_->setVisible(index == 1);
}

void MainWindow::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    // What was left out of the first paint is built once that paint is on screen, before the
    // operator can ask for it.
    if (!std::exchange(painted_, true))
        QMetaObject::invokeMethod(
            this, [this] { controls_.buildDeferred(); }, Qt::QueuedConnection);
}

void MainWindow::wire()
{
    connect(tabBar_, &QTabBar::currentChanged, this, &MainWindow::selectTab);
    connect(controls_.get<QPushButton>(ctl::About), &QPushButton::clicked, this, &MainWindow::runAbout);
    MainController& controller = core_.controller();
    connect(controls_.get<QPushButton>(ctl::SearchPoe), &QPushButton::clicked, this,
            [&controller] { controller.searchPoe(); });
    connect(controls_.get<QComboBox>(ctl::LinkCombo), &QComboBox::activated, this,
            [&controller](int index) { controller.changeLink(index); });
    connect(controls_.get<QComboBox>(ctl::ComPortCombo), &QComboBox::activated, this,
            [&controller](int index) { controller.changeComPort(index); });
    connect(controls_.get<QPushButton>(ctl::SystemReset), &QPushButton::clicked, this,
            [&controller] { controller.systemReset(); });
    connect(controls_.get<QPushButton>(ctl::SaveToFlash), &QPushButton::clicked, this,
            [&controller] { controller.saveToFlash(); });
    connect(controls_.get<QPushButton>(ctl::FactoryDefaults), &QPushButton::clicked, this,
            [&controller] { controller.restoreDefaults(); });
    connect(controls_.get<QPushButton>(ctl::FirmwareDownload), &QPushButton::clicked, this,
            [&controller] { controller.firmwareDownload(); });
    connect(controls_.get<QPushButton>(ctl::ProgressCancel), &QPushButton::clicked, this,
            [this] { portPage_->powerCycle().cancel(); });
    // The port page's description dialog also edits the system description.
    EditDes* describe = portPage_->descriptionDialog();
    connect(controls_.get<QPushButton>(ctl::EditSystemDescription), &QPushButton::clicked, this,
            [this, &controller, describe] {
                if (!controller.beginSystemDescriptionEdit())
                    return;
                systemEditOpen_ = true;
                describe->openForSystem();
            });
    connect(describe, &QDialog::finished, this, [this, &controller, describe](int result) {
        if (!std::exchange(systemEditOpen_, false))
            return;
        controller.endSystemDescriptionEdit(result == QDialog::Accepted && describe->saved(),
                                            describe->text());
    });
    context().settings = this;
    connect(controls_.get<QPushButton>(ctl::Setting), &QPushButton::clicked, this,
            [&controller] { controller.openSettings(); });
    connect(controls_.get<QPushButton>(ctl::History), &QPushButton::clicked, this,
            [this] { showHistory(0); });
    connect(portPage_, &PortDescription::historyRequested, this, &MainWindow::showHistory);
}

ParamSetting& MainWindow::settingsDialog()
{
    if (!settings_) {
        settings_ = new ParamSetting(lamps_, this);
    }
    return *settings_;
}

void MainWindow::showSettings(SettingsPage& page)
{
    settingsDialog().showPage(page);
}

void MainWindow::showHistory(int port)
{
    if (!historyWindow_) {
        QString reason;
        historyWindow_ =
            historyModule_.create(core_.history(), context().feedback, fonts::dialog(), this, reason);
        if (!historyWindow_) {
            context().feedback.error(
                QStringLiteral("The History window could not be opened: %1").arg(reason));
            return;
        }
    }
    if (port)
        historyWindow_->chooseOnly(port);
    QWidget* window = historyWindow_->widget();
    window->show();
    window->raise();
    window->activateWindow();
}

void MainWindow::runAbout()
{
    QDialog box(this);
    box.setWindowTitle(QStringLiteral("About Spanmon "));
    box.setFont(fonts::dialog());
    const DialogUnits du(box.font());
    box.setFixedSize(du.size(235, 46));
    auto* icon = new QLabel(&box);
    icon->setPixmap(programIcon());
    icon->setGeometry(du.rect(8, 10, 20, 20));
    auto* version = new QLabel(QStringLiteral("Spanmon Version 1.0, Sep. 2009"), &box);
    version->setGeometry(du.rect(36, 10, 130, 9));
    auto* line = new QLabel(QStringLiteral("PoE midspan monitor and control"), &box);
    line->setGeometry(du.rect(36, 24, 130, 9));
    auto* ok = new QPushButton(QStringLiteral("OK"), &box);
    ok->setGeometry(du.rect(178, 8, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
    box.exec();
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept(); // only explicit buttons act
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (core_.controller().confirmExit())
        event->accept();
    else
        event->ignore();
}
