#include "app/ProgramStart.h"
#include "finder/MainWindow.h"
#include "finder/QtMessages.h"

int main(int argc, char* argv[])
{
    ProgramStart start(
        argc, argv,
        {QStringLiteral("Ethfind"), QStringLiteral(ETHFIND_VERSION),
         QStringLiteral("Finds the Ethernet modules on the local network (UDP broadcast to port "
                        "36), lists their addresses, sends a module a new IP address and subnet "
                        "mask, and opens its web page. Ethfind keeps no settings."),
         QStringLiteral("org.spanmon.Ethfind"), QStringLiteral("ethfind")});
    if (const auto exitCode = start.answered())
        return *exitCode;

    start.startApplication();
    finder::QtMessages messages;
    finder::MainWindow window(messages);
    messages.setParent(&window);
    return start.run(window, [&window] { window.close(); });
}
