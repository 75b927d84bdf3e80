#pragma once

#include <QString>

#include <stdexcept>

// A failure of the port enumeration, carrying the text the operator is shown.
class PortEnumerationError : public std::runtime_error
{
public:
    explicit PortEnumerationError(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};
