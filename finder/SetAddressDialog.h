#pragma once

#include "finder/AddressChange.h"

#include <QDialog>

class QLineEdit;

namespace finder
{

// "Set IP Address" (template 132): IP address 1001, subnet mask 1002, password 1003 (shown, at most 15).
class SetAddressDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SetAddressDialog(const AddressEntry& initial, QWidget* parent = nullptr);

    AddressEntry entry() const;

private:
    QLineEdit* ip_;
    QLineEdit* mask_;
    QLineEdit* password_;
    QString mac_;
};

} // namespace finder
