#include "app/ProgramStart.h"

#include "app/ExitOnSignals.h"
#include "app/StartOptions.h"

#include <QApplication>
#include <QWidget>

ProgramStart::ProgramStart(int& argc, char** argv, const ProgramIdentity& identity)
    : argc_(argc), argv_(argv), identity_(identity)
{
    QApplication::setApplicationName(identity_.name);
    QApplication::setApplicationVersion(identity_.version);
    parser_.setApplicationDescription(identity_.description);
    if (const int exitCode = startoptions::answerWithoutWindow(parser_, argc_, argv_); exitCode >= 0)
        answered_ = exitCode;
}

ProgramStart::~ProgramStart() = default;

void ProgramStart::startApplication()
{
    app_ = std::make_unique<QApplication>(argc_, argv_);
    QApplication::setDesktopFileName(identity_.desktopFileName);
    parser_.process(*app_);

    for (const char* size : {"48", "256"})
        icon_.addFile(QStringLiteral(":/icons/%1-%2.png").arg(identity_.icon, QLatin1String(size)));
    QApplication::setWindowIcon(icon_);
}

int ProgramStart::run(QWidget& window, std::function<void()> ending)
{
    window.setWindowIcon(icon_);
    // kill, Ctrl+C and logout end the program as closing the window does, without a question.
    ExitOnSignals exitOnSignals(std::move(ending));
    window.show();
    return QApplication::exec();
}
