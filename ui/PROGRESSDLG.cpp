#include "ui/PROGRESSDLG.h"

#include "core/ControlIds.h"
#include "ui/DialogUnits.h"
#include "ui/WidgetControls.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>

PROGRESSDLG::PROGRESSDLG(WidgetControls& controls, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      text_(new QLabel(QStringLiteral("Processing"), this)), bar_(new QProgressBar(this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this))
{
    setWindowTitle(QStringLiteral("Spanmon "));
    setModal(false);
    setFont(fonts::dialog());
    const DialogUnits du(font());
    setFixedSize(du.size(154, 29));
    text_->setGeometry(du.rect(7, 3, 140, 9));
    bar_->setGeometry(du.rect(7, 14, 140, 10));
    bar_->setTextVisible(false);
    bar_->setAccessibleName(QStringLiteral("Progress"));
    cancel_->setGeometry(du.rect(97, 28, 50, 14));
    cancel_->setAutoDefault(false);
    cancel_->hide();
    cancel_->installEventFilter(this);
    controls.add(ctl::ProgressDialog, this);
    controls.add(ctl::ProgressText, text_);
    controls.add(ctl::ProgressBar, bar_);
    controls.add(ctl::ProgressCancel, cancel_);
}

bool PROGRESSDLG::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == cancel_ &&
        (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent))
        setFixedSize(DialogUnits(font()).size(154, cancel_->isVisibleTo(this) ? 46 : 29));
    return QDialog::eventFilter(watched, event);
}

void PROGRESSDLG::closeEvent(QCloseEvent* event)
{
    // Only the command that showed it hides it again.
    event->ignore();
}

void PROGRESSDLG::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QWidget* owner = parentWidget(); owner && !event->spontaneous()) {
        const QRect area = owner->geometry();
        move(area.center().x() - width() / 2, area.bottom() - area.height() / 5 - height() / 2);
    }
}

void PROGRESSDLG::keyPressEvent(QKeyEvent* event)
{
    event->ignore();
}
