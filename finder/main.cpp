#include "app/ExitOnSignals.h"
#include "app/StartOptions.h"
#include "finder/MainWindow.h"
#include "finder/QtMessages.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication::setApplicationName(QStringLiteral("Ethfind"));
    QApplication::setApplicationVersion(QStringLiteral(ETHFIND_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Finds the Ethernet modules on the local network (UDP broadcast to port 36), lists their "
        "addresses, sends a module a new IP address and subnet mask, and opens its web page. "
        "Ethfind keeps no settings."));
    if (const int exitCode = startoptions::answerWithoutWindow(parser, argc, argv); exitCode >= 0)
        return exitCode;

    QApplication app(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("org.spanmon.Ethfind"));
    parser.process(app);

    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/ethfind-48.png"));
    icon.addFile(QStringLiteral(":/icons/ethfind-256.png"));
    QApplication::setWindowIcon(icon);

    finder::QtMessages messages;
    finder::MainWindow window(messages);
    messages.setParent(&window);
    // kill, Ctrl+C and logout end Ethfind as closing the window does.
    ExitOnSignals exitOnSignals([&window] { window.close(); });
    window.show();
    return app.exec();
}
