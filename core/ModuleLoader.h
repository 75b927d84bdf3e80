#pragma once

#include <QFunctionPointer>
#include <QString>
#include <QStringList>

// Spanmon keeps what is slow to load at start-up (Qt Charts, net-snmp) in modules of its own,
// loaded at their first use. A module is looked for beside the program (the build tree), then
// where the package installs it.
namespace moduleLoader
{

// The folders looked in, in order.
QStringList folders();

// Loads the module `fileName` from the first of `folders` that holds it, for good (what it made
// lives until the program ends), and gives its entry `symbol`; null with the reason in `reason`
// when it cannot. Safe on any thread.
QFunctionPointer entry(const QStringList& folders, const char* fileName, const char* symbol, QString& reason);

} // namespace moduleLoader
