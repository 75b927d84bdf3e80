#include "ControlServer.h"

#include "MidspanModel.h"
#include "PtyLink.h"
#include "SerialCommandInterpreter.h"

#include <QLocalSocket>

#include <array>
#include <optional>

namespace
{

using Field = MidspanModel::PortField;

const std::array<std::pair<const char*, Field>, 9> portFields{{
    {"enabled", Field::Enabled},
    {"legacy", Field::Legacy},
    {"description", Field::Description},
    {"status", Field::Status},
    {"power", Field::Power},
    {"voltage", Field::Voltage},
    {"current", Field::Current},
    {"resistance", Field::Resistance},
    {"classcurrent", Field::ClassCurrent},
}};

std::optional<long> number(const QByteArray& word)
{
    bool ok = false;
    const long value = word.toLong(&ok, 0);
    return ok ? std::optional<long>(value) : std::nullopt;
}

// Everything after the first `skip` words, as typed (descriptions may hold blanks).
QByteArray rest(const QByteArray& line, int skip)
{
    qsizetype at = 0;
    for (int i = 0; i < skip; ++i) {
        while (at < line.size() && line.at(at) == ' ')
            ++at;
        while (at < line.size() && line.at(at) != ' ')
            ++at;
    }
    return line.mid(at + 1);
}

} // namespace

std::optional<SerialCommandInterpreter::IgnoredBytes> ignoredBytesFill(const QByteArray& name)
{
    using Fill = SerialCommandInterpreter::IgnoredBytes;
    if (name == "zero")
        return Fill::Zero;
    if (name == "random")
        return Fill::Random;
    if (name == "port")
        return Fill::PortIndex;
    return std::nullopt;
}

ControlServer::ControlServer(MidspanModel& model, SerialCommandInterpreter& serial, PtyLink* line,
                             QObject* parent)
    : QObject(parent), model_(model), serial_(serial), line_(line)
{
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    const QByteArray line = socket->readLine().trimmed();
                    socket->write(execute(line) + '\n');
                    socket->flush();
                    if (line == "quit")
                        emit quitRequested();
                }
            });
        }
    });
}

bool ControlServer::listen(const QString& path)
{
    QLocalServer::removeServer(path);
    return server_.listen(path);
}

QByteArray ControlServer::execute(const QByteArray& line)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    const QByteArray& verb = words.front();
    const QByteArray argument = words.value(1);
    if ((verb == "get" || verb == "set") && argument == "system")
        return systemCommand(words, verb == "set");
    if ((verb == "get" || verb == "set") && argument == "port")
        return portCommand(words, verb == "set");
    if (verb == "silent" && (argument == "on" || argument == "off")) {
        serial_.setSilent(argument == "on");
        return "ok";
    }
    if (verb == "delay" && number(argument).value_or(-1) >= 0) {
        if (line_)
            line_->setReplyDelay(std::chrono::milliseconds(*number(argument)));
        return "ok";
    }
    if (verb == "loader-fault") {
        const std::optional<long> message = number(argument);
        const QByteArray kind = words.value(2);
        if (argument == "off") {
            serial_.setLoaderFault({});
            return "ok";
        }
        using Kind = BootLoader::Fault::Kind;
        const std::optional<Kind> fault = kind == "wrong"    ? std::optional(Kind::Wrong)
                                          : kind == "silent" ? std::optional(Kind::Silent)
                                          : kind == "tp"     ? std::optional(Kind::Complete)
                                                             : std::nullopt;
        if (!message || *message < 1 || !fault)
            return "error loader-fault takes <n> wrong|silent|tp, or off";
        serial_.setLoaderFault({int(*message), *fault});
        return "ok";
    }
    if (verb == "ignored-bytes") {
        const auto fill = ignoredBytesFill(argument);
        if (!fill)
            return "error ignored-bytes takes zero|random|port";
        serial_.setIgnoredBytes(*fill);
        return "ok";
    }
    if (verb == "unanswered") {
        const std::optional<long> command = number("0x" + argument);
        if (argument == "off" || (command && *command >= 0 && *command <= 0xFF && argument.size() == 2)) {
            serial_.setUnanswered(argument == "off" ? std::nullopt : std::optional(std::uint8_t(*command)));
            return "ok";
        }
        return "error unanswered takes a command byte in hex (09) or off";
    }
    if (verb == "slow" && number(argument).value_or(-1) >= 0 && number(words.value(2)).value_or(-1) >= 0) {
        if (line_)
            line_->slowNext(int(*number(argument)), std::chrono::milliseconds(*number(words.value(2))));
        return "ok";
    }
    if (verb == "corrupt" && number(argument).value_or(-1) >= 0) {
        serial_.corruptNext(int(*number(argument)));
        return "ok";
    }
    if (verb == "cut" && number(argument).value_or(-1) >= 0) {
        serial_.cutNext(int(*number(argument)));
        return "ok";
    }
    if (verb == "double" && number(argument).value_or(-1) >= 0) {
        serial_.doubleNext(int(*number(argument)));
        return "ok";
    }
    if (verb == "zeros" && number(argument).value_or(-1) >= 0) {
        serial_.zeroNext(int(*number(argument)));
        return "ok";
    }
    if (verb == "misroute" && number(argument).value_or(-1) >= 0) {
        serial_.misrouteNext(int(*number(argument)));
        return "ok";
    }
    if (verb == "clear-faults") {
        serial_.clearFaults();
        model_.setReportedPortCount(std::nullopt);
        if (line_)
            line_->clearDelays();
        return "ok";
    }
    if (verb == "drop-line" || verb == "restore-line") {
        if (!line_)
            return "error no serial line";
        if (verb == "drop-line") {
            line_->close();
            return "ok";
        }
        return line_->open() ? QByteArray("ok") : "error " + line_->errorString().toUtf8();
    }
    if (verb == "report-ports") {
        if (argument == "off") {
            model_.setReportedPortCount(std::nullopt);
            return "ok";
        }
        if (number(argument).value_or(-1) < 0 || *number(argument) > 255)
            return "error report-ports takes a count of 0 to 255 or off";
        model_.setReportedPortCount(int(*number(argument)));
        return "ok";
    }
    if (verb == "identity") {
        model_.setIdentity(words.size() > 1 ? std::optional<QByteArray>(rest(line, 1)) : std::nullopt);
        return "ok";
    }
    if (verb == "snmp" && (argument == "stop" || argument == "start")) {
        model_.setSnmpStopped(argument == "stop");
        return "ok";
    }
    if (verb == "refuse-sets" && (argument == "on" || argument == "off")) {
        model_.setSetsRefused(argument == "on");
        return "ok";
    }
    if (verb == "unanswered-set" && argument == "off") {
        model_.answerAllSets();
        return "ok";
    }
    if (verb == "unanswered-set" && !argument.isEmpty()) {
        model_.leaveSetsUnanswered(argument);
        return "ok";
    }
    if (verb == "max-objects" && (argument == "off" || number(argument).value_or(-1) > 0)) {
        model_.setMaxObjects(argument == "off" ? 0 : int(*number(argument)));
        return "ok";
    }
    if (verb == "answer" && argument == "off") {
        model_.clearTextAnswers();
        return "ok";
    }
    if (verb == "answer" && !argument.isEmpty()) {
        model_.setTextAnswer(argument, words.size() > 2 ? rest(line, 2) : QByteArray());
        return "ok";
    }
    if (verb == "snmp-delay" && number(argument).value_or(-1) >= 0) {
        model_.setSnmpDelay(std::chrono::milliseconds(*number(argument)));
        return "ok";
    }
    if (verb == "snmp-log") {
        QByteArray answer;
        for (const QByteArray& request : model_.snmpLog())
            answer += request + '\n';
        return answer + '.';
    }
    if (verb == "clear-snmp-log") {
        model_.clearSnmpLog();
        return "ok";
    }
    if (verb == "port-log") {
        QByteArray answer;
        for (const QByteArray& change : model_.portLog())
            answer += change + '\n';
        return answer + '.';
    }
    if (verb == "clear-port-log") {
        model_.clearPortLog();
        return "ok";
    }
    if (verb == "frames") {
        QByteArray answer;
        for (const QByteArray& frame : serial_.frames())
            answer += frame.toHex(' ').toUpper() + '\n';
        return answer + '.';
    }
    if (verb == "clear-frames") {
        serial_.clearFrames();
        return "ok";
    }
    if (verb == "reset") {
        model_.reset();
        return "ok";
    }
    if (verb == "quit")
        return "ok";
    return "error unknown command: " + line;
}

QByteArray ControlServer::systemCommand(const QList<QByteArray>& words, bool set)
{
    const QByteArray field = words.value(2);
    if (!set) {
        if (field == "firmware")
            return QByteArray::number(model_.firmware());
        if (field == "hardware")
            return QByteArray::number(model_.hardware());
        if (field == "ports")
            return QByteArray::number(model_.portCount());
        if (field == "description")
            return model_.systemDescription();
        if (field == "model")
            return model_.modelText();
        if (field == "image") {
            const QList<QByteArray> image = model_.firmwareImage();
            return QByteArray::number(image.size()) + " records" +
                   (image.isEmpty() ? QByteArray() : ", last " + image.constLast());
        }
        return "error unknown system field: " + field;
    }
    if (field == "description") {
        model_.setSystemDescription(rest(words.join(' '), 3));
        return "ok";
    }
    const std::optional<long> value = number(words.value(3));
    if ((field == "firmware" || field == "hardware") && value && *value >= 0 && *value <= 0xFF) {
        if (field == "firmware")
            model_.setFirmware(std::uint8_t(*value));
        else
            model_.setHardware(std::uint8_t(*value));
        return "ok";
    }
    return "error set system takes firmware|hardware <byte> or description <text>";
}

QByteArray ControlServer::portCommand(const QList<QByteArray>& words, bool set)
{
    const std::optional<long> port = number(words.value(2));
    if (!port || !model_.isPort(int(*port) - 1))
        return "error no such port: " + words.value(2);
    const int index = int(*port) - 1;
    const QByteArray name = words.value(3);
    for (const auto& [fieldName, field] : portFields) {
        if (name != fieldName)
            continue;
        if (field == Field::Description) {
            if (!set)
                return model_.port(index).description;
            model_.setPortDescription(index, rest(words.join(' '), 4));
            return "ok";
        }
        if (!set)
            return QByteArray::number(model_.portField(index, field));
        const std::optional<long> value = number(words.value(4));
        if (!value || *value < 0)
            return "error not a value: " + words.value(4);
        model_.setPortField(index, field, *value);
        return "ok";
    }
    return "error unknown port field: " + name;
}
