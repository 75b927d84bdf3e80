#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>
#include <vector>

#include "core/DeviceState.h"

// Texts of device values as the serial link shows them, and the device identification tables.
namespace fmt
{

// High nibble major, low nibble minor: 0x23 shows "2.3".
QString firmwareRevision(quint8 b);
// Bits 7-3 major, bits 2-0 minor: 0x2B shows "5.3".
QString hardwareRevision(quint8 b);
QString milli(quint16 v);               // power in mW, current in mA: "%d"
QString decivolts(quint16 v);           // tenths of a volt: "%.1f"
QString detectionResistance(quint16 v); // units of 2 ohm: whole ohms
// Tenths of a milliampere: whole when the tenths are 0 (120 shows "12"), else one decimal.
QString classCurrent(quint16 v);
// A fixed-width text field from the device: cut at the first zero byte, blanks trimmed.
QString deviceText(const char* bytes, int size);
// The octets of a description or identity as text: Latin-1, the midspan's character set, on
// both links. Octets with a control byte (below 0x20 but CR and LF, 0x7F, 0x80 to 0x9F) are no
// text and show as hex ("01 FF").
QString deviceOctets(const QByteArray& octets);
// Whether every character of the text has a Latin-1 octet.
bool fitsLatin1(const QString& text);

} // namespace fmt

// "3", "3 and 5", "3, 5 and 7".
QString portList(const std::vector<int>& ports);

// Model text for the code pair of the older identification reply; nothing when unknown.
std::optional<QString> modelForLegacyCode(quint8 a, quint8 b);

// The class-0 power limits for the "Determined Class" cells of this model, by port (slot 0
// empty). A port without a text keeps what its cell shows.
using PowerLimits = std::array<std::optional<QString>, MaxPorts + 1>;
PowerLimits powerLimits(const QString& model, int portCount);
