#include "ui/HistoryModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include <algorithm>

HistoryModule::HistoryModule()
    : folders_{QCoreApplication::applicationDirPath(),
               QDir::cleanPath(QCoreApplication::applicationDirPath() + u'/' +
                               QStringLiteral(SPANMON_MODULE_DIR_FROM_BINDIR))}
{
}

HistoryView* HistoryModule::create(const PowerSamples& samples, OperatorFeedback& feedback, const QFont& font,
                                   QWidget* parent, QString& reason)
{
    if (!create_) {
        auto path = [](const QString& folder) { return QDir(folder).filePath(QString::fromLatin1(FileName)); };
        const auto found = std::find_if(folders_.begin(), folders_.end(),
                                        [&](const QString& folder) { return QFileInfo::exists(path(folder)); });
        if (found == folders_.end()) {
            reason = QStringLiteral("%1 is in none of the folders %2.")
                         .arg(QString::fromLatin1(FileName), folders_.join(QStringLiteral(", ")));
            return nullptr;
        }
        // Loaded for good: its windows live until the program ends.
        QLibrary library(path(*found));
        create_ = reinterpret_cast<CreateHistoryView>(library.resolve(CreateHistoryViewSymbol));
        if (!create_) {
            reason = library.errorString();
            return nullptr;
        }
    }
    return create_(samples, feedback, font, parent);
}
