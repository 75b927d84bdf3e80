// Any text for any object of a midspan's agent, port counts included, through the network
// search, the write-community check and refresh passes into the device record and the
// controls. The input holds the objects' values, one per line, for the objects in turn. Without
// an operator's request only the write-community check writes, and whatever the agent answers
// it writes nothing but one of the two values of port 1's legacy detection.
#include "FakeControls.h"
#include "FakeNetworkWorker.h"
#include "RecordingFeedback.h"
#include "core/Clock.h"
#include "core/ControlIds.h"
#include "core/DeviceState.h"
#include "core/MainController.h"
#include "core/SpanmonCore.h"
#include "links/serial/SerialLink.h"
#include "links/snmp/NetworkLink.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cstdint>
#include <cstdlib>

namespace
{

constexpr int Ports = 4;
constexpr int Exchanges = 150;

QString oid(const QString& suffix)
{
    return QStringLiteral("1.3.6.1.4.1.24852.") + suffix;
}

// The objects a search and a session read, system objects first.
QStringList objects()
{
    QStringList list{oid("2.1.0"), oid("2.2.7.0"), oid("2.2.10.0"), oid("2.2.6.0"), oid("2.2.11.0")};
    for (int p = 1; p <= Ports; ++p)
        for (int column : {2, 18, 11, 12, 13, 14, 7, 6})
            list << oid(QStringLiteral("2.3.1.%1.%2").arg(column).arg(p));
    return list;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_network_session";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static const QStringList keys = objects();

    FakeControls controls;
    // Every pause of the session, the longest included, runs in under half a millisecond: at once.
    Clock clock{1e-6};
    RecordingFeedback feedback;
    FakeNetworkWorker* worker = nullptr;
    SpanmonCore core(controls, clock, feedback, [&worker](AppContext& context) {
        std::vector<std::unique_ptr<MidspanLink>> links;
        links.push_back(
            std::make_unique<NetworkLink>(context, [&worker](QObject*, NetworkWorker::ResultHandler handler) {
                auto fake = std::make_unique<FakeNetworkWorker>(std::move(handler));
                worker = fake.get();
                return fake;
            }));
        links.push_back(std::make_unique<SerialLink>(context));
        return links;
    });
    MainController& controller = core.controller();
    auto& network = static_cast<NetworkLink&>(core.link(0));
    core.start();
    network.searcher().readSetting = [](const QString& section, const QString& key) {
        if (section == QLatin1String("IPAdress"))
            return key == QLatin1String("IP") ? QStringLiteral("127.0.30.9") : QString();
        return key == QLatin1String("Read") ? QStringLiteral("public") : QStringLiteral("private");
    };
    network.searcher().openSettings = [] {};

    FakeNetworkWorker::Agent agent;
    const QList<QByteArray> values =
        QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\n');
    for (qsizetype i = 0; i < keys.size(); ++i)
        agent.objects[keys[i]] = QString::fromLatin1(values.value(i));
    worker->agents[QStringLiteral("127.0.30.9")] = agent;

    // Runs until nothing more happens by itself (no paced pause, no exchange due) or, as every
    // session pass asks the agent again, until enough exchanges have been made.
    QDeadlineTimer deadline(2000);
    const auto settle = [&] {
        while ((clock.busy() || worker->exchangeDue()) && worker->exchanges < Exchanges &&
               !deadline.hasExpired())
            QCoreApplication::processEvents();
    };
    controller.searchPoe();
    settle();
    if (controls.itemCount(ctl::FoundDevices) > 0) {
        controls.setCurrentIndex(ctl::FoundDevices, 0);
        controller.selectFoundDevice();
        settle();
    }
    const QString legacy1 = oid(QStringLiteral("2.3.1.18.1"));
    for (const QString& line : worker->log) {
        if (!line.startsWith(QLatin1String("set ")))
            continue;
        const QString value = line.section(u' ', 3);
        if (line.section(u' ', 2, 2) != legacy1 || (value != u"1" && value != u"2"))
            std::abort();
    }
    return 0;
}
