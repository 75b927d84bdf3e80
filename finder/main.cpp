#include "finder/ExitOnSignals.h"
#include "finder/MainWindow.h"
#include "finder/QtMessages.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

namespace
{

// Answers --help and --version, and exits, before the window system is touched: both work without a
// display. Anything else (Qt's own options too) is left to the application.
void answerWithoutWindow(QCommandLineParser& parser, int argc, char* argv[])
{
    parser.setApplicationDescription(QStringLiteral(
        "Finds the Ethernet modules on the local network (UDP broadcast to port 36), lists their "
        "addresses, sends a module a new IP address and subnet mask, and opens its web page. "
        "Ethfind keeps no settings."));
    parser.addHelpOption();
    parser.addVersionOption();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (!parser.parse(arguments) ||
        !(parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")) ||
          parser.isSet(QStringLiteral("version"))))
        return;
    QCoreApplication app(argc, argv);
    parser.process(app);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication::setApplicationName(QStringLiteral("Ethfind"));
    QApplication::setApplicationVersion(QStringLiteral(ETHFIND_VERSION));
    QCommandLineParser parser;
    answerWithoutWindow(parser, argc, argv);

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
    finder::ExitOnSignals exitOnSignals([&window] { window.close(); });
    window.show();
    return app.exec();
}
