#include "cli/Commands.h"

#include "core/Clock.h"
#include "core/Controls.h"
#include "core/DisplayFormats.h"
#include "core/SignalNotice.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace
{

using Outcome = WriteResult::Outcome;

const QString NoneAnswered = QStringLiteral("no midspan answered");

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

// Stable words for scripts; the window's texts stand beside them.
QJsonValue stateWord(const std::optional<int>& status)
{
    if (!status)
        return QJsonValue();
    switch (lampForStatus(*status)) {
    case Lamp::Connected:
        return QStringLiteral("connected");
    case Lamp::Detecting:
        return QStringLiteral("detecting");
    case Lamp::DisabledOrError:
        return QStringLiteral("disabled_or_error");
    case Lamp::NoData:
        break;
    }
    return QJsonValue();
}

QJsonObject statusJson(const QString& midspan, const std::optional<QString>& model, const UnitReading& unit)
{
    QJsonArray ports;
    for (const PortReading& p : unit.ports) {
        ports.append(QJsonObject{
            {QStringLiteral("port"), p.port},
            {QStringLiteral("status"), json(p.status)},
            {QStringLiteral("state"), stateWord(p.status)},
            {QStringLiteral("status_text"),
             p.status ? QJsonValue(lampMeaning(lampForStatus(*p.status))) : QJsonValue()},
            {QStringLiteral("enabled"), json(p.enabled)},
            {QStringLiteral("legacy_detection"), json(p.legacy)},
            {QStringLiteral("power_mW"), json(p.powerMw)},
            {QStringLiteral("voltage_V"), json(p.voltageV)},
            {QStringLiteral("current_mA"), json(p.currentMa)},
            {QStringLiteral("description"), p.description},
        });
    }
    return QJsonObject{
        {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {QStringLiteral("midspan"), midspan},
        {QStringLiteral("model"), model ? QJsonValue(*model) : QJsonValue()},
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

QString yesNo(bool on)
{
    return QString::fromLatin1(on ? "yes" : "no");
}

QString statusTable(const QString& midspan, const UnitReading& unit, bool header)
{
    using C = Commands;
    QString text;
    QTextStream t(&text);
    if (header)
        t << "Midspan      " << C::shown(midspan) << '\n'
          << "Firmware     " << C::shown(unit.firmware) << '\n'
          << "Hardware     " << C::shown(unit.hardware) << '\n'
          << "Ports        " << unit.portCount << '\n'
          << "Description  " << C::shown(unit.description) << '\n'
          << "Total power  " << totalPower(unit) << " mW\n\n"
          << "Port  Status            Enabled  Power (mW)  Voltage (V)  Current (mA)  Description\n";
    const std::function<QString(int)> number = [](int v) { return QString::number(v); };
    for (const PortReading& p : unit.ports) {
        const QString status = cell<int>(
            p.status, [](int v) { return QString::number(v) + u' ' + lampMeaning(lampForStatus(v)); });
        const QString enabled = cell<bool>(p.enabled, yesNo);
        const QString voltage = cell<double>(p.voltageV, [](double v) { return QString::number(v, 'f', 1); });
        t << QString::number(p.port).rightJustified(4) << "  " << status.leftJustified(16) << "  "
          << enabled.leftJustified(7) << "  " << cell(p.powerMw, number).rightJustified(10) << "  "
          << voltage.rightJustified(11) << "  " << cell(p.currentMa, number).rightJustified(12) << "  "
          << C::shown(p.description) << '\n';
    }
    return text;
}

// port:status:state:enabled:legacy:power_mW:voltage_V:current_mA:description, empty where the
// device gave no value.
QString statusTerse(const UnitReading& unit)
{
    QString text;
    for (const PortReading& p : unit.ports) {
        const auto value = [](const QJsonValue& v) {
            return v.isBool()     ? yesNo(v.toBool())
                   : v.isDouble() ? QString::number(v.toDouble())
                                  : v.toString();
        };
        const QStringList fields{
            QString::number(p.port), value(json(p.status)),    value(stateWord(p.status)),
            value(json(p.enabled)),  value(json(p.legacy)),    value(json(p.powerMw)),
            value(json(p.voltageV)), value(json(p.currentMa)), Commands::terseField(p.description)};
        text += fields.join(u':') + u'\n';
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

Commands::Commands(Clock& clock, QTextStream& out, QTextStream& err, Invocation::Format format, bool header)
    : clock_(clock), out_(out), err_(err), format_(format), header_(header)
{
}

QString Commands::shown(const QString& text)
{
    QString result = text;
    for (QChar& c : result) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            c = u'?';
    }
    return result;
}

QString Commands::terseField(const QString& text)
{
    QString result = shown(text);
    result.replace(u'\\', QStringLiteral("\\\\"));
    result.replace(u':', QStringLiteral("\\:"));
    return result;
}

QString Commands::errorDocument(int code, const QString& message)
{
    const QJsonObject document{{QStringLiteral("format_version"), FormatVersion},
                               {QStringLiteral("error"), QJsonObject{{QStringLiteral("exit_code"), code},
                                                                     {QStringLiteral("message"), message}}}};
    return QString::fromUtf8(QJsonDocument(document).toJson());
}

void Commands::print(const QString& text)
{
    out_ << text;
    out_.flush();
}

void Commands::printDocument(QJsonObject document)
{
    document.insert(QStringLiteral("format_version"), FormatVersion);
    print(QString::fromUtf8(QJsonDocument(document).toJson()));
    documentWritten_ = true;
}

int Commands::fail(const QString& where, const QString& text, int code)
{
    QString message = where + QStringLiteral(": ") + text;
    if (!silenceHint_.isEmpty() && (text.startsWith(QStringLiteral("no answer")) || text == NoneAnswered))
        message += QStringLiteral(": ") + silenceHint_;
    if (firstFailure_.isEmpty())
        firstFailure_ = message;
    err_ << QCoreApplication::applicationName() << ": " << shown(message) << '\n';
    err_.flush();
    return code;
}

void Commands::note(const QString& text)
{
    err_ << QCoreApplication::applicationName() << ": " << shown(text) << '\n';
    err_.flush();
}

int Commands::finish(int code)
{
    if (format_ == Invocation::Format::Json && !documentWritten_) {
        print(errorDocument(code, firstFailure_));
        documentWritten_ = true;
    }
    return code;
}

int Commands::status(MidspanAccess& midspan)
{
    const auto unit = midspan.readStatus();
    if (!unit)
        return fail(midspan.name(), midspan.errorText());
    switch (format_) {
    case Invocation::Format::Json:
        printDocument(statusJson(midspan.name(), midspan.readModel(), *unit));
        break;
    case Invocation::Format::Terse:
        print(statusTerse(*unit));
        break;
    case Invocation::Format::Table:
        print(statusTable(midspan.name(), *unit, header_));
        break;
    }
    return Done;
}

std::optional<int> Commands::refuseMissingPorts(MidspanAccess& midspan, std::vector<int>& ports)
{
    const auto count = midspan.readPortCount();
    if (!count)
        return fail(midspan.name(), midspan.errorText());
    for (const int port : ports) {
        if (port > *count)
            return fail(midspan.name(),
                        QStringLiteral("port %1: the midspan has %2 ports").arg(port).arg(*count), Usage);
    }
    if (ports.empty())
        for (int port = 1; port <= *count; ++port)
            ports.push_back(port);
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
    if (format_ == Invocation::Format::Terse) {
        print(QStringList{write.port ? QString::number(write.port) : QStringLiteral("system"),
                          terseField(write.value), resultName(write.result.outcome)}
                  .join(u':') +
              u'\n');
    } else if (format_ == Invocation::Format::Table) {
        const QString already =
            write.result.outcome == Outcome::AlreadySo ? QStringLiteral("already ") : QString();
        print(what + QStringLiteral(": ") + already + shown(write.value) + u'\n');
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
    if (format_ == Invocation::Format::Json)
        printDocument({{QStringLiteral("midspan"), midspan.name()},
                       {QStringLiteral("writes"), writes},
                       {QStringLiteral("done"), ok}});
    writes_.clear();
    return ok ? Done : Failed;
}

namespace
{
// How long a signal may wait for the off time to notice it.
constexpr qint64 SignalLatencyMs = 100;
} // namespace

int Commands::switchPorts(MidspanAccess& midspan, std::vector<int> ports, Invocation::Action action,
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
    std::vector<int> ports{port};
    if (const auto refused = refuseMissingPorts(midspan, ports))
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

int Commands::listFound(const QString& searched, const QJsonArray& found, const QStringList& lines,
                        const QStringList& terse)
{
    if (format_ == Invocation::Format::Json)
        printDocument({{QStringLiteral("searched"), searched}, {QStringLiteral("midspans"), found}});
    else
        for (const QString& line : format_ == Invocation::Format::Terse ? terse : lines)
            print(line + u'\n');
    return lines.isEmpty() ? fail(searched, NoneAnswered) : Done;
}

namespace
{

// One shape on both links: where the midspan was found and the model it names itself, whole.
QJsonObject foundJson(const QString& link, const QString& address, const QJsonValue& device,
                      const QString& model)
{
    return {{QStringLiteral("link"), link},
            {QStringLiteral("address"), address},
            {QStringLiteral("device"), device},
            {QStringLiteral("model"), model}};
}

QString foundTerse(const QString& address, const QString& model)
{
    return Commands::terseField(address) + u':' + Commands::terseField(model);
}

} // namespace

int Commands::listNetwork(const QString& range, const std::vector<FoundMidspan>& found)
{
    QJsonArray list;
    QStringList lines;
    QStringList terse;
    for (const FoundMidspan& m : found) {
        list.append(foundJson(QStringLiteral("snmp"), m.address, QJsonValue(), m.identity));
        lines << shown(m.entry());
        terse << foundTerse(m.address, m.identity);
    }
    return listFound(range, list, lines, terse);
}

int Commands::listSerial(const QString& ports, const std::vector<SerialFind>& found)
{
    QJsonArray list;
    QStringList lines;
    QStringList terse;
    for (const SerialFind& m : found) {
        list.append(foundJson(QStringLiteral("serial"), m.port, m.devicePath, m.model));
        lines << shown(m.port + QStringLiteral(" *** ") + m.model);
        terse << foundTerse(m.port, m.model);
    }
    return listFound(ports, list, lines, terse);
}
