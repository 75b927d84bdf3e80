#pragma once

#include <QString>

namespace finder
{

// Every message box ethfind shows goes through here; the caption is always the application's name.
class Messages
{
public:
    virtual ~Messages() = default;
    virtual void show(const QString& text) = 0;
};

} // namespace finder
