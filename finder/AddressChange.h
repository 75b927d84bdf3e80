#pragma once

#include "finder/ModuleRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace finder
{

// What the operator typed into the Set IP Address dialog.
struct AddressEntry {
    QString ip;
    QString mask;
    QString password;
    QString mac; // of the module to change, shown in the dialog and not edited
};

// Turns an entry for one module into the datagrams to send, or into the reason nothing is sent.
class AddressChange
{
public:
    enum class Verdict { Send, NoChange, InvalidAddress, InvalidMask };

    struct Plan {
        Verdict verdict = Verdict::NoChange;
        QList<QByteArray> datagrams; // authorisation, set-address, set-mask, as far as needed
    };

    // Refused: 0.0.0.0, loopback (127), multicast and above (224+), and x.x.x.255.
    static bool validAddress(const Ipv4& ip);
    // Refused: 0.0.0.0 and any mask whose first octet is not 255.
    static bool validMask(const Ipv4& mask);
    // The password as the module receives it: one byte a character, at most 15.
    static QByteArray passwordBytes(const QString& password);

    static Plan plan(const ModuleRecord& module, const AddressEntry& entry);
};

} // namespace finder
