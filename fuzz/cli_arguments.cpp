// Link.ini's range values of any content (the first two lines) and spanmon-cli's command line of
// any content (one argument on each further line): whatever is accepted stays within what the
// midspan and the search can take, and whatever is refused is refused with a pointer to --help.
#include "cli/Invocation.h"
#include "core/DeviceState.h"
#include "core/MidspanAccess.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

namespace
{

void check(bool holds)
{
    if (!holds)
        std::abort();
}

void checkRange(const std::optional<SearchRange>& range)
{
    if (range)
        check(range->first >= 0 && range->first <= range->last && range->last <= 255 &&
              range->prefix.count(u'.') == 3 && range->prefix.endsWith(u'.'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "spanmon-cli";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    const QStringList lines =
        QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).split(u'\n');
    checkRange(SearchRange::fromSettings(lines.value(0), lines.value(1)));

    const ParsedArguments parsed = invocation::parse(QStringList{"spanmon-cli"} + lines.mid(2));
    if (!parsed.invocation) {
        check(parsed.exitCode == 0 ||
              (parsed.exitCode == 2 &&
               parsed.message.endsWith(u"Try 'spanmon-cli --help' for more information.\n")));
        return 0;
    }
    const Invocation& inv = *parsed.invocation;
    for (const int port : inv.ports)
        check(port >= 1 && port <= MaxPorts);
    check(inv.text.size() <= MidspanAccess::DescriptionLength);
    for (const QChar c : inv.text)
        check(c.unicode() >= 0x20 && c.unicode() <= 0xFF);
    check(inv.offSeconds >= 0 && inv.offSeconds <= Invocation::MaxOffSeconds);
    check(inv.serialPort.isEmpty() || inv.snmpAddress.isEmpty());
    check(inv.command == Invocation::Command::Find || inv.onSerial() || !inv.snmpAddress.isEmpty());
    checkRange(inv.range);
    return 0;
}
