#pragma once

#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;
class WidgetControls;
struct DeviceState;

// The small dialog in which the operator replaces a port's or the system's description of at
// most 10 characters. Its one button first reads "Edit" (unlocks and empties the box), then
// "Save" (stores the text in the owner's record and closes with OK). The close box cancels;
// Enter and Escape do nothing.
//
// It opens window-modal without blocking: the caller learns the outcome from finished(),
// result(), saved() and text().
class EditDes : public QDialog
{
    Q_OBJECT

public:
    static constexpr int MaxLength = 10;

    EditDes(DeviceState& owner, WidgetControls& controls, QWidget* parent);

    // Port mode: the dialog starts with the port's current description.
    void openForPort(int port, const QString& text);
    // System mode: the dialog starts with systemDescription and stores the saved text there.
    // The dialog is in port mode again once it has closed.
    void openForSystem();
    bool editsSystem() const { return systemMode_; }
    // "Save" was pressed since the dialog last opened.
    bool saved() const { return saved_; }

    // The dialog's text: the initial text until "Save", then the saved text.
    QString text() const { return text_; }
    int port() const { return port_; }

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void prepare();
    void press();

    DeviceState& owner_;
    QGroupBox* group_;
    QLineEdit* edit_;
    QPushButton* button_;
    QString text_;
    int port_ = 1;
    bool editing_ = false;
    bool systemMode_ = false;
    bool saved_ = false;
};
