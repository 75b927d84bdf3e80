#include "SRecordFile.h"

namespace srecord
{

namespace
{

// Address bytes of each record type; 7, 8 and 9 end files of types 3, 2 and 1.
int addressBytes(int type)
{
    switch (type) {
    case 2:
    case 8:
        return 3;
    case 3:
    case 7:
        return 4;
    default:
        return 2;
    }
}

} // namespace

QByteArray record(int type, std::uint32_t address, const QByteArray& data)
{
    QByteArray body;
    const int width = addressBytes(type);
    body.append(char(width + data.size() + 1));
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
        body.append(char((address >> shift) & 0xFF));
    body.append(data);
    unsigned sum = 0;
    for (const char byte : body)
        sum += std::uint8_t(byte);
    body.append(char(~sum & 0xFF));
    return "S" + QByteArray::number(type) + body.toHex().toUpper();
}

QByteArray file(const FileContents& contents)
{
    const QByteArray end = contents.crlf ? "\r\n" : "\n";
    QByteArray out = record(0, 0, contents.header) + end;
    std::uint32_t address = contents.address;
    for (int r = 0; r < contents.records; ++r) {
        QByteArray data(contents.dataBytes, '\0');
        for (int i = 0; i < contents.dataBytes; ++i)
            data[i] = char((address + std::uint32_t(i)) * 37 + 11);
        out += record(contents.type, address, data) + end;
        address += std::uint32_t(contents.dataBytes);
    }
    return out + record(10 - contents.type, contents.address, {}) + end;
}

} // namespace srecord
