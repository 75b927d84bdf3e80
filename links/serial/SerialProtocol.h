#pragma once

#include "links/serial/SerialState.h"

#include <QString>

#include <cstdint>
#include <optional>

// The midspan's serial command set. A frame is a command byte, a fixed payload and the 16-bit
// sum of all bytes before it, high byte first; no start marker, no length field: the length of
// a reply follows from the request. Each builder returns the whole frame with the length of
// its reply.
namespace serialproto
{

// Command codes; a reply carries the code of the request it answers in byte 0.
enum Command : std::uint8_t {
    LegacyIdentify = 0x00,
    Reset = 0x01,
    WriteSystemSettings = 0x02,
    WritePortSettings = 0x03,
    ReadSystemStatus = 0x04,
    ReadPortStatus = 0x05,
    ReadPortClassification = 0x08,
    StoreSettings = 0x09,
    EnterDownload = 0x0C,
    Identify = 0x0E,
};

// Appends the sum of the frame's bytes.
void appendChecksum(QByteArray& frame);
// rxFrame[n..n+1] holds the sum of rxFrame[0..n-1].
bool replyChecksumOk(const SerialState& link, int n);

SerialFrame buildIdentify();
SerialFrame buildLegacyIdentify();
SerialFrame buildReset();
SerialFrame buildWriteSystemSettings(const QString& description);
SerialFrame buildWritePortSettings(int index, bool legacyDetection, bool enable, const QString& description);
SerialFrame buildReadSystemStatus();
SerialFrame buildReadPortStatus(int index);
SerialFrame buildReadPortClassification(int index);
SerialFrame buildStoreSettings(bool toFlash);
SerialFrame buildEnterDownload();
// A command of the loader that EnterDownload starts: ASCII text, no checksum.
SerialFrame buildLoaderCommand(const QByteArray& text, unsigned replyLength);

// Replies, read from rxFrame once their checksum holds. Which port a port reply is for follows
// from the request it answers: its bytes 1-2 are left to the device.
struct Identity {
    std::optional<QString> model; // none for legacy codes the model table does not know
};
struct SystemStatus {
    std::uint8_t firmware = 0;
    std::uint8_t hardware = 0;
    int portCount = 0;
    QString description;
    bool usable() const;
};
struct PortStatus {
    bool enabled = false;
    bool legacy = false;
    quint16 powerMw = 0;
    quint16 decivolts = 0;
    quint16 currentMa = 0;
    std::uint8_t status = 0;
    QString description;
};
struct PortClassification {
    quint16 resistance = 0;   // units of 2 ohm
    quint16 classCurrent = 0; // units of 0.1 mA
};
// The loader's messages, each ended by CR LF.
enum class LoaderAnswer { Ready, EraseStarted, EraseDone, ProgramStarted, NextLine, Complete, Other };

// Identify or LegacyIdentify, by byte 0; none when the device reports a failure.
std::optional<Identity> identity(const SerialState& link);
SystemStatus systemStatus(const SerialState& link);
PortStatus portStatus(const SerialState& link);
PortClassification portClassification(const SerialState& link);
LoaderAnswer loaderAnswer(const SerialState& link);

} // namespace serialproto
