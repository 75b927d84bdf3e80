#pragma once

#include <QString>

// How a search recognises a midspan by the text of its identity object.
namespace midspanIdentity
{

// The model text is the identity text's beginning.
inline constexpr int ModelLength = 12;

// Texts that begin with "POE" or "poe", or whose first six characters are "MDX20A".
inline bool isMidspan(const QString& text)
{
    return text.startsWith(QStringLiteral("POE")) || text.startsWith(QStringLiteral("poe")) ||
           text.startsWith(QStringLiteral("MDX20A"));
}

} // namespace midspanIdentity
