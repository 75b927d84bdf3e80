#include "app/ProgramStart.h"
#include "app/Spanmon.h"
#include "core/Clock.h"
#include "ui/DialogFeedback.h"
#include "ui/FontPreload.h"

int main(int argc, char* argv[])
{
    ProgramStart start(
        argc, argv,
        {QStringLiteral("Spanmon"), QStringLiteral(SPANMON_VERSION),
         QStringLiteral("Watches and switches the ports of a Power-over-Ethernet midspan, over a "
                        "serial line or SNMP.\n\nSpanmon keeps its network link settings "
                        "(Link.ini) and the SNMPv3 boot counter (snmpv3_boot_counter) in the "
                        "folder it is started from; the menu entry starts it in your home folder."),
         QStringLiteral("org.spanmon.Spanmon"), QStringLiteral("spanmon")});
    if (const auto exitCode = start.answered())
        return *exitCode;

    fonts::preloadConfiguration();
    start.startApplication();
    Clock clock;
    DialogFeedback feedback;
    Spanmon spanmon(clock, feedback);
    MainWindow& window = spanmon.window();
    feedback.setParent(&window);
    return start.run(window, [&window] { window.controller().stopLinks(); });
}
