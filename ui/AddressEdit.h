#pragma once

#include <QFrame>

#include <array>

class QLineEdit;

// An IPv4 address field: four numbers of 0 to 255 between fixed dots. Three digits or a typed
// dot move on to the next number, Backspace and the arrow keys move back across the dots, a
// larger number becomes 255, and a pasted dotted address fills the numbers from where it is
// pasted. The text is empty while all four numbers are; otherwise an empty number counts as 0.
class AddressEdit : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged USER true)

public:
    // name: what a screen reader calls the address; each number is named after it.
    explicit AddressEdit(const QString& name, QWidget* parent = nullptr);

    QString text() const;
    // Takes a dotted address; numbers beyond the fourth are dropped, what is not a number leaves
    // its field empty.
    void setText(const QString& text);

    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return readOnly_; }

    QLineEdit* field(int index) const { return fields_[index]; }

signals:
    void textChanged(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void edited(int index, const QString& text);
    void moveTo(int index, bool atEnd);
    void showState();

    std::array<QLineEdit*, 4> fields_{};
    bool readOnly_ = false;
};
