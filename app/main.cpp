#include "app/ExitOnSignals.h"
#include "app/Spanmon.h"
#include "core/Clock.h"
#include "ui/DialogFeedback.h"
#include "ui/FontPreload.h"

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
        "Watches and switches the ports of a Power-over-Ethernet midspan, over a serial line "
        "or SNMP.\n\nSpanmon keeps its network link settings (Link.ini) and the SNMPv3 boot "
        "counter (snmpv3_boot_counter) in the folder it is started from; the menu entry starts "
        "it in your home folder."));
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
    QApplication::setApplicationName(QStringLiteral("Spanmon"));
    QApplication::setApplicationVersion(QStringLiteral(SPANMON_VERSION));
    QCommandLineParser parser;
    answerWithoutWindow(parser, argc, argv);

    fonts::preloadConfiguration();
    QApplication app(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("org.spanmon.Spanmon"));
    parser.process(app);

    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/spanmon-48.png"));
    icon.addFile(QStringLiteral(":/icons/spanmon-256.png"));
    QApplication::setWindowIcon(icon);

    Clock clock;
    DialogFeedback feedback;
    Spanmon spanmon(clock, feedback);
    MainWindow& window = spanmon.window();
    feedback.setParent(&window);
    window.setWindowIcon(icon);
    // kill, Ctrl+C and logout end Spanmon as closing the window does, without the question.
    ExitOnSignals exitOnSignals([&window] { window.controller().stopLinks(); });
    window.show();
    return app.exec();
}
