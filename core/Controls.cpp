#include "core/Controls.h"

Lamp lampForStatus(int status)
{
    if (status == 8)
        return Lamp::Connected;
    if ((status >= 1 && status <= 5) || status == 9)
        return Lamp::Detecting;
    return Lamp::DisabledOrError;
}
