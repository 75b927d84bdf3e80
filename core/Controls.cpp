#include "core/Controls.h"

Lamp lampForStatus(int status)
{
    if (status == 8)
        return Lamp::Connected;
    if ((status >= 1 && status <= 5) || status == 9)
        return Lamp::Detecting;
    return Lamp::DisabledOrError;
}

QString lampMeaning(Lamp lamp)
{
    switch (lamp) {
    case Lamp::Connected:
        return QStringLiteral("Port Connected");
    case Lamp::Detecting:
        return QStringLiteral("Detecting");
    case Lamp::DisabledOrError:
        return QStringLiteral("Disable/Error");
    case Lamp::NoData:
        break;
    }
    return QStringLiteral("No data");
}
