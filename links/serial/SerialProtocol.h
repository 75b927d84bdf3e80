#pragma once

#include "links/serial/SerialLink.h"

#include <QString>

// The midspan's serial command set. A frame is a command byte, a fixed payload and the 16-bit
// sum of all bytes before it, high byte first; no start marker, no length field: the length of
// a reply follows from the request. Each builder writes txFrame from offset 0 and sets
// sendLength and expectedLength.
namespace serialproto
{

// Sum of txFrame[0..n-1] into txFrame[n], txFrame[n+1].
void appendChecksum(SerialLink& link, int n);
// rxFrame[n..n+1] holds the sum of rxFrame[0..n-1].
bool replyChecksumOk(const SerialLink& link, int n);

void buildIdentify(SerialLink& link);
void buildLegacyIdentify(SerialLink& link);
void buildReset(SerialLink& link);
void buildWriteSystemSettings(SerialLink& link, const QString& description);
void buildWritePortSettings(SerialLink& link, int index, bool legacyDetection, bool enable,
                            const QString& description);
void buildReadSystemStatus(SerialLink& link);
void buildReadPortStatus(SerialLink& link, int index);
void buildReadPortClassification(SerialLink& link, int index);
void buildStoreSettings(SerialLink& link, bool toFlash);
void buildEnterDownload(SerialLink& link);

} // namespace serialproto
