#include "app/ExitOnSignals.h"
#include "app/Spanmon.h"
#include "app/StartOptions.h"
#include "core/Clock.h"
#include "ui/DialogFeedback.h"
#include "ui/FontPreload.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication::setApplicationName(QStringLiteral("Spanmon"));
    QApplication::setApplicationVersion(QStringLiteral(SPANMON_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Watches and switches the ports of a Power-over-Ethernet midspan, over a serial line "
        "or SNMP.\n\nSpanmon keeps its network link settings (Link.ini) and the SNMPv3 boot "
        "counter (snmpv3_boot_counter) in the folder it is started from; the menu entry starts "
        "it in your home folder."));
    if (const int exitCode = startoptions::answerWithoutWindow(parser, argc, argv); exitCode >= 0)
        return exitCode;

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
