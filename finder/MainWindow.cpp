#include "finder/MainWindow.h"

#include "finder/Datagrams.h"
#include "finder/Messages.h"
#include "finder/SetAddressDialog.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QStatusBar>
#include <QVBoxLayout>

namespace finder
{

namespace
{

constexpr int listId = 1000;
constexpr int countId = 1003;
constexpr int widthUnits = 258;
constexpr int heightUnits = 153;
// Column widths of a list line in characters, separators included.
constexpr int ipColumn = 16;
constexpr int maskColumn = 16;
constexpr int macColumn = 18;

QLabel* columnHeading(const QString& text, int chars, const QFontMetrics& metrics, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFixedWidth(metrics.horizontalAdvance(QString(chars, QLatin1Char('0'))));
    return label;
}

} // namespace

MainWindow::MainWindow(Messages& messages, double timeScale, QWidget* parent)
    : QMainWindow(parent), messages_(messages), finder_(timeScale), list_(new QListWidget),
      count_(new QLineEdit), openUrl_([](const QUrl& url) { QDesktopServices::openUrl(url); })
{
    setWindowTitle(QStringLiteral("Ethfind"));
    setObjectName(QStringLiteral("102"));
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* view = menuBar()->addMenu(QStringLiteral("&View"));
    auto* refreshAction = view->addAction(QStringLiteral("&Refresh\tF5"));
    refreshAction->setShortcut(Qt::Key_F5);
    refreshAction->setShortcutContext(Qt::WindowShortcut);
    connect(refreshAction, &QAction::triggered, this, &MainWindow::refresh);
    view->addSeparator();
    connect(view->addAction(QStringLiteral("E&xit\tAlt+F4")), &QAction::triggered, this, &QWidget::close);

    list_->setObjectName(QString::number(listId));
    list_->setAccessibleName(QStringLiteral("Modules"));
    list_->setSortingEnabled(true);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->installEventFilter(this);
    connect(list_, &QListWidget::itemDoubleClicked, this, &MainWindow::openWebPageOfSelected);

    count_->setObjectName(QString::number(countId));
    count_->setAccessibleName(QStringLiteral("Devices detected"));
    count_->setReadOnly(true);
    count_->setAlignment(Qt::AlignCenter);
    // Keys go to the list: Enter there sets the address of the selected module.
    count_->setFocusPolicy(Qt::NoFocus);

    auto* central = new QWidget(this);
    const QFontMetrics metrics(font());
    auto* headings = new QHBoxLayout;
    const int frame = list_->frameWidth();
    headings->setContentsMargins(frame + 2, 0, 0, 0);
    headings->setSpacing(0);
    headings->addWidget(columnHeading(QStringLiteral("IP Address"), ipColumn, metrics, central));
    headings->addWidget(columnHeading(QStringLiteral("Subnet Mask"), maskColumn, metrics, central));
    headings->addWidget(columnHeading(QStringLiteral("MAC Address"), macColumn, metrics, central));
    // The identifier column is narrower than its heading, which may run on to the right.
    headings->addWidget(new QLabel(QStringLiteral("Device ID"), central), 1);

    auto* countRow = new QHBoxLayout;
    countRow->addStretch();
    countRow->addWidget(new QLabel(QStringLiteral("Devices detected"), central));
    count_->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("000000")));
    countRow->addWidget(count_);

    auto* layout = new QVBoxLayout(central);
    layout->addLayout(headings);
    layout->addWidget(list_);
    layout->addLayout(countRow);
    setCentralWidget(central);

    // Dialog units of the window's font: a quarter of the average character width across, an eighth of
    // the line height down.
    resize(widthUnits * metrics.averageCharWidth() / 4,
           heightUnits * metrics.height() / 8 + menuBar()->sizeHint().height());

    connect(&finder_, &ModuleFinder::searchStarted, list_, &QListWidget::clear);
    connect(&finder_, &ModuleFinder::moduleListed, this, &MainWindow::listModule);
    connect(&finder_, &ModuleFinder::countChanged, this,
            [this](int count) { count_->setText(QString::number(count)); });
    connect(&finder_, &ModuleFinder::changeRefused, this, &MainWindow::sayRefused);
    // In the window rather than in a message box: the searches repeat by themselves, and a box
    // would stop them until it is answered.
    connect(&finder_, &ModuleFinder::sendProblemChanged, this, [this](const QString& reason) {
        // The status bar appears with the first problem.
        if (!reason.isEmpty() || findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly))
            statusBar()->showMessage(reason);
    });
    connect(&finder_, &ModuleFinder::searchWindowClosed, this, [this](int count) {
        if (count > 0)
            list_->setCurrentRow(0);
    });

    if (!finder_.open()) {
        messages_.show(QStringLiteral("Socket create error"));
        return;
    }
    finder_.search();
}

void MainWindow::listModule(const QString& line, int index)
{
    auto* item = new QListWidgetItem(line);
    item->setData(Qt::UserRole, index);
    list_->addItem(item);
}

std::optional<ModuleRecord> MainWindow::selectedRecord() const
{
    const QListWidgetItem* item = list_->currentItem();
    if (!item || !item->isSelected())
        return std::nullopt;
    bool ok = false;
    const int index = item->data(Qt::UserRole).toInt(&ok);
    return ok ? finder_.table().record(index) : std::nullopt;
}

std::optional<AddressEntry> MainWindow::askForAddress(const AddressEntry& initial)
{
    if (prompt_)
        return prompt_(initial);
    SetAddressDialog dialog(initial, this);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.entry();
}

void MainWindow::setAddressOfSelected()
{
    // A copy: a search may start the table again while the dialog is open.
    const auto module = selectedRecord();
    if (!module)
        return;
    const auto entry = askForAddress({DottedAddress::format(module->ip), DottedAddress::format(module->mask),
                                      password_, module->macText()});
    if (!entry)
        return;
    password_ = entry->password.left(Datagrams::maxPasswordLength);

    const auto plan = AddressChange::plan(*module, *entry);
    switch (plan.verdict) {
    case AddressChange::Verdict::InvalidAddress:
        messages_.show(QStringLiteral("Invalid IP address"));
        return;
    case AddressChange::Verdict::InvalidMask:
        messages_.show(QStringLiteral("Invalid mask"));
        return;
    case AddressChange::Verdict::NoChange:
        return;
    case AddressChange::Verdict::Send:
        break;
    }
    changing_ = module->mac;
    for (const QByteArray& datagram : plan.datagrams)
        finder_.broadcast(datagram);
    finder_.scheduleRescan(SearchState::rescanAfterAddressChange);
}

void MainWindow::sayRefused(const Datagrams::Refusal& refusal)
{
    // Said once for the change sent last: its set-address and set-mask are refused alike.
    if (!changing_ || *changing_ != refusal.mac)
        return;
    changing_.reset();
    ModuleRecord module;
    module.mac = refusal.mac;
    messages_.show(refusal.wrongPassword
                       ? QStringLiteral("The module %1 refused the password: its address was not changed.")
                             .arg(module.macText())
                       : QStringLiteral("The module %1 needs its password: its address was not changed.")
                             .arg(module.macText()));
}

void MainWindow::openWebPageOfSelected()
{
    if (const auto module = selectedRecord())
        openUrl_(QUrl(QStringLiteral("http://") + DottedAddress::format(module->ip)));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::AltModifier)
                openWebPageOfSelected();
            else
                setAddressOfSelected();
            return true;
        }
        if (key->key() == Qt::Key_Escape)
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    finder_.close();
    event->accept();
}

} // namespace finder
