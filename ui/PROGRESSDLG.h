#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class WidgetControls;

// The modeless window that shows how far a multi-step command has come: a line of text (1482)
// and a bar (1481). Hidden until a command shows it; the operator cannot close it. A power-cycle's
// off time offers a Cancel below the bar, and the window grows to hold it.
class PROGRESSDLG : public QDialog
{
    Q_OBJECT

public:
    explicit PROGRESSDLG(WidgetControls& controls, QWidget* owner);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Opens over the lower part of its owner, where the port groups are, leaving the page's
    // commands ("Send Port Control") and the LED key in sight while it counts.
    void showEvent(QShowEvent* event) override;

private:
    QLabel* text_;
    QProgressBar* bar_;
    QPushButton* cancel_;
};
