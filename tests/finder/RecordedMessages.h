#pragma once

#include "finder/Messages.h"

#include <QStringList>

// Ethfind's message boxes, recorded instead of shown.
class RecordedMessages : public finder::Messages
{
public:
    void show(const QString& text) override { shown.append(text); }
    QStringList shown;
};
