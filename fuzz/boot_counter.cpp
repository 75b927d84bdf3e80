// An SNMPv3 boot counter file of any content: the count is read, advanced and read back, and
// the lines of other engines survive.
#include "links/snmp/BootCounter.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QString::fromLatin1(BootCounter::fileName));
    const QByteArray engine("snmpGet");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();

    const int before = BootCounter::read(path, engine);
    if (before < 0)
        std::abort();
    const int advanced = BootCounter::advance(path, engine);
    if (BootCounter::read(path, engine) != advanced)
        std::abort();
    const QByteArray other("GCFNFMG@DGFEGE 7");
    if (QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\n').contains(other)) {
        if (!file.open(QIODevice::ReadOnly) || !file.readAll().split('\n').contains(other))
            std::abort();
    }
    return 0;
}
