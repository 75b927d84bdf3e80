#include "cli/Commands.h"

#include "core/Clock.h"
#include "core/Controls.h"
#include "core/DisplayFormats.h"
#include "core/SignalNotice.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace
{

using Outcome = WriteResult::Outcome;

QJsonValue json(const std::optional<int>& value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonValue json(const std::optional<double>& value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonValue json(const std::optional<bool>& value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

int totalPower(const UnitReading& unit)
{
    int total = 0;
    for (const PortReading& port : unit.ports)
        total += port.powerMw.value_or(0);
    return total;
}

QJsonObject statusJson(const QString& midspan, const UnitReading& unit)
{
    QJsonArray ports;
    for (const PortReading& p : unit.ports) {
        ports.append(QJsonObject{
            {QStringLiteral("port"), p.port},
            {QStringLiteral("status"), json(p.status)},
            {QStringLiteral("status_text"),
             p.status ? QJsonValue(lampMeaning(lampForStatus(*p.status))) : QJsonValue()},
            {QStringLiteral("enabled"), json(p.enabled)},
            {QStringLiteral("power_mW"), json(p.powerMw)},
            {QStringLiteral("voltage_V"), json(p.voltageV)},
            {QStringLiteral("current_mA"), json(p.currentMa)},
            {QStringLiteral("description"), p.description},
        });
    }
    return QJsonObject{
        {QStringLiteral("midspan"), midspan},
        {QStringLiteral("firmware"), unit.firmware},
        {QStringLiteral("hardware"), unit.hardware},
        {QStringLiteral("port_count"), unit.portCount},
        {QStringLiteral("description"), unit.description},
        {QStringLiteral("total_power_mW"), totalPower(unit)},
        {QStringLiteral("ports"), ports},
    };
}

template <typename T> QString cell(const std::optional<T>& value, const std::function<QString(T)>& shown)
{
    return value ? shown(*value) : QStringLiteral("-");
}

QString statusTable(const QString& midspan, const UnitReading& unit)
{
    QString text;
    QTextStream t(&text);
    t << "Midspan      " << midspan << '\n'
      << "Firmware     " << unit.firmware << '\n'
      << "Hardware     " << unit.hardware << '\n'
      << "Ports        " << unit.portCount << '\n'
      << "Description  " << unit.description << '\n'
      << "Total power  " << totalPower(unit) << " mW\n\n"
      << "Port  Status            Enabled  Power (mW)  Voltage (V)  Current (mA)  Description\n";
    const std::function<QString(int)> number = [](int v) { return QString::number(v); };
    for (const PortReading& p : unit.ports) {
        const QString status = cell<int>(
            p.status, [](int v) { return QString::number(v) + u' ' + lampMeaning(lampForStatus(v)); });
        const QString enabled =
            cell<bool>(p.enabled, [](bool on) { return QString::fromLatin1(on ? "yes" : "no"); });
        const QString voltage = cell<double>(p.voltageV, [](double v) { return QString::number(v, 'f', 1); });
        t << QString::number(p.port).rightJustified(4) << "  " << status.leftJustified(16) << "  "
          << enabled.leftJustified(7) << "  " << cell(p.powerMw, number).rightJustified(10) << "  "
          << voltage.rightJustified(11) << "  " << cell(p.currentMa, number).rightJustified(12) << "  "
          << p.description << '\n';
    }
    return text;
}

QString resultName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Done:
        return QStringLiteral("done");
    case Outcome::AlreadySo:
        return QStringLiteral("already");
    case Outcome::NoAnswer:
        return QStringLiteral("no answer");
    case Outcome::Refused:
        return QStringLiteral("refused");
    case Outcome::NotHeld:
        return QStringLiteral("not held");
    }
    return {};
}

QString failureText(const WriteResult& result)
{
    switch (result.outcome) {
    case Outcome::Refused:
        return QStringLiteral("the midspan refused the write: %1").arg(result.detail);
    case Outcome::NotHeld:
        return QStringLiteral("the midspan took the write but reads %1").arg(result.detail);
    default:
        return result.detail.isEmpty() ? QStringLiteral("no answer") : result.detail;
    }
}

} // namespace

Commands::Commands(Clock& clock, QTextStream& out, QTextStream& err, bool json)
    : clock_(clock), out_(out), err_(err), json_(json)
{
}

void Commands::print(const QString& text)
{
    out_ << text;
    out_.flush();
}

int Commands::fail(const QString& where, const QString& text, int code)
{
    err_ << QCoreApplication::applicationName() << ": " << where << ": " << text << '\n';
    err_.flush();
    return code;
}

int Commands::status(MidspanAccess& midspan)
{
    const auto unit = midspan.readStatus();
    if (!unit)
        return fail(midspan.name(), midspan.errorText());
    print(json_ ? QString::fromUtf8(QJsonDocument(statusJson(midspan.name(), *unit)).toJson())
                : statusTable(midspan.name(), *unit));
    return Done;
}

std::optional<int> Commands::refuseMissingPorts(MidspanAccess& midspan, const std::vector<int>& ports)
{
    const auto count = midspan.readPortCount();
    if (!count)
        return fail(midspan.name(), midspan.errorText());
    for (const int port : ports) {
        if (port > *count)
            return fail(midspan.name(),
                        QStringLiteral("port %1: the midspan has %2 ports").arg(port).arg(*count), Usage);
    }
    return std::nullopt;
}

bool Commands::record(const MidspanAccess& midspan, const Write& write)
{
    writes_.push_back(write);
    const QString what = write.port ? QStringLiteral("port %1").arg(write.port) : QStringLiteral("system");
    if (!write.result.succeeded()) {
        fail(midspan.name(), what + QStringLiteral(": ") + failureText(write.result));
        return false;
    }
    if (!json_) {
        const QString already =
            write.result.outcome == Outcome::AlreadySo ? QStringLiteral("already ") : QString();
        print(what + QStringLiteral(": ") + already + write.value + u'\n');
    }
    return true;
}

int Commands::finishWrites(MidspanAccess& midspan)
{
    bool ok = true;
    QJsonArray writes;
    for (const Write& w : writes_) {
        ok = ok && w.result.succeeded();
        QJsonObject entry{{QStringLiteral("set"), w.value},
                          {QStringLiteral("result"), resultName(w.result.outcome)}};
        if (w.port)
            entry.insert(QStringLiteral("port"), w.port);
        if (!w.result.succeeded())
            entry.insert(QStringLiteral("detail"), failureText(w.result));
        writes.append(entry);
    }
    if (json_) {
        const QJsonObject document{{QStringLiteral("midspan"), midspan.name()},
                                   {QStringLiteral("writes"), writes},
                                   {QStringLiteral("done"), ok}};
        print(QString::fromUtf8(QJsonDocument(document).toJson()));
    }
    writes_.clear();
    return ok ? Done : Failed;
}

namespace
{
// How long a signal may wait for the off time to notice it.
constexpr qint64 SignalLatencyMs = 100;
} // namespace

int Commands::switchPorts(MidspanAccess& midspan, const std::vector<int>& ports, Invocation::Action action,
                          double offSeconds)
{
    if (const auto refused = refuseMissingPorts(midspan, ports))
        return *refused;
    // A midspan that stops answering is not asked about the ports that remain.
    const auto switchAll = [&](bool on) {
        for (const int port : ports) {
            const WriteResult result = midspan.setPortEnabled(port, on);
            record(midspan, {port, QString::fromLatin1(on ? "on" : "off"), result});
            if (result.outcome == Outcome::NoAnswer)
                return;
        }
    };
    if (action != Invocation::Action::Cycle) {
        switchAll(action == Invocation::Action::On);
        return finishWrites(midspan);
    }
    // A signal ends the off time at once: the ports go on again before the program ends.
    const SignalNotice notice({});
    switchAll(false);
    const qint64 onAt = clock_.now() + std::lround(offSeconds * 1000);
    while (!notice.caught() && clock_.now() < onAt)
        clock_.wait(int(std::min<qint64>(onAt - clock_.now(), SignalLatencyMs)));
    switchAll(true);
    const int result = finishWrites(midspan);
    if (!notice.caught())
        return result;
    const QString which =
        (ports.size() == 1 ? QStringLiteral("port ") : QStringLiteral("ports ")) + portList(ports);
    return fail(midspan.name(),
                SignalNotice::name(notice.caught()) + QStringLiteral(" during the power-cycle: ") +
                    (result == Done
                         ? which + QStringLiteral(" switched back on")
                         : which + QStringLiteral(" asked to switch back on; not every write took")),
                128 + notice.caught());
}

int Commands::describePort(MidspanAccess& midspan, int port, const QString& text)
{
    if (const auto refused = refuseMissingPorts(midspan, {port}))
        return *refused;
    record(midspan,
           {port, QStringLiteral("description \"%1\"").arg(text), midspan.setPortDescription(port, text)});
    return finishWrites(midspan);
}

int Commands::describeSystem(MidspanAccess& midspan, const QString& text)
{
    record(midspan, {0, QStringLiteral("description \"%1\"").arg(text), midspan.setSystemDescription(text)});
    return finishWrites(midspan);
}

int Commands::listFound(const QString& searched, const QJsonObject& document, const QStringList& lines)
{
    if (json_)
        print(QString::fromUtf8(QJsonDocument(document).toJson()));
    else
        for (const QString& line : lines)
            print(line + u'\n');
    return lines.isEmpty() ? fail(searched, QStringLiteral("no midspan answered")) : Done;
}

int Commands::listNetwork(const QString& range, const std::vector<FoundMidspan>& found)
{
    QJsonArray list;
    QStringList lines;
    for (const FoundMidspan& m : found) {
        list.append(QJsonObject{{QStringLiteral("address"), m.address},
                                {QStringLiteral("identity"), m.identity},
                                {QStringLiteral("model"), m.model}});
        lines << m.entry();
    }
    return listFound(range, {{QStringLiteral("range"), range}, {QStringLiteral("midspans"), list}}, lines);
}

int Commands::listSerial(const QString& ports, const std::vector<SerialFind>& found)
{
    QJsonArray list;
    QStringList lines;
    for (const SerialFind& m : found) {
        list.append(QJsonObject{{QStringLiteral("port"), m.port},
                                {QStringLiteral("device"), m.devicePath},
                                {QStringLiteral("model"), m.model}});
        lines << m.port + QStringLiteral(" *** ") + m.model;
    }
    return listFound(ports, {{QStringLiteral("midspans"), list}}, lines);
}
