#pragma once

#include <QByteArray>

#include <cstdint>

// Firmware files in Motorola S-record form for tests and the demo: an S0 header with a text,
// data records of one type with a running address, and the end record of that type.
namespace srecord
{

struct FileContents {
    QByteArray header = "FW 1.0";
    int records = 64;
    int dataBytes = 16; // per record; 1 to 250
    int type = 1;       // S1 (16-bit addresses), S2 (24-bit) or S3 (32-bit)
    std::uint32_t address = 0;
    bool crlf = true;
};

// One record without its line end: type, count, address, data and the checksum that makes the
// sum of count, address, data and itself 0xFF.
QByteArray record(int type, std::uint32_t address, const QByteArray& data);

// The whole file; data bytes follow a fixed pattern, so equal requests give equal files.
QByteArray file(const FileContents& contents);

} // namespace srecord
