#include "core/ModuleLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include <algorithm>

namespace moduleLoader
{

QStringList folders()
{
    // Worked out at the first call, which the program makes on the main thread at start: Qt works
    // the program's path out at its first request, which a worker thread must not make.
    static const QStringList found{QCoreApplication::applicationDirPath(),
                                   QDir::cleanPath(QCoreApplication::applicationDirPath() + u'/' +
                                                   QStringLiteral(SPANMON_MODULE_DIR_FROM_BINDIR))};
    return found;
}

QFunctionPointer entry(const QStringList& folders, const char* fileName, const char* symbol, QString& reason)
{
    auto path = [fileName](const QString& folder) {
        return QDir(folder).filePath(QString::fromLatin1(fileName));
    };
    const auto found = std::find_if(folders.begin(), folders.end(),
                                    [&](const QString& folder) { return QFileInfo::exists(path(folder)); });
    if (found == folders.end()) {
        reason = QStringLiteral("%1 is in none of the folders %2.")
                     .arg(QString::fromLatin1(fileName), folders.join(QStringLiteral(", ")));
        return nullptr;
    }
    QLibrary library(path(*found));
    const QFunctionPointer function = library.resolve(symbol);
    if (!function)
        reason = library.errorString();
    return function;
}

} // namespace moduleLoader
