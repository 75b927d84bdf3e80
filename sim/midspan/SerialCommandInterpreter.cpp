#include "SerialCommandInterpreter.h"

#include <cstdint>

namespace
{

enum Command : std::uint8_t {
    LegacyIdentify = 0x00,
    Reset = 0x01,
    WriteSystemSettings = 0x02,
    WritePortSettings = 0x03,
    ReadSystemStatus = 0x04,
    ReadPortStatus = 0x05,
    ReadPortClassification = 0x08,
    StoreSettings = 0x09,
    EnterDownload = 0x0C,
    Identify = 0x0E,
};

// Request length with its checksum, by command byte; 0 for a byte that starts no command.
qsizetype requestLength(std::uint8_t command)
{
    switch (command) {
    case LegacyIdentify:
    case ReadSystemStatus:
    case EnterDownload:
    case Identify:
        return 3;
    case ReadPortStatus:
    case ReadPortClassification:
    case StoreSettings:
        return 4;
    case Reset:
        return 8;
    case WritePortSettings:
        return 19;
    case WriteSystemSettings:
        return 20;
    default:
        return 0;
    }
}

std::uint16_t sum(const QByteArray& bytes, qsizetype count)
{
    std::uint16_t total = 0;
    for (qsizetype i = 0; i < count; ++i)
        total += static_cast<std::uint8_t>(bytes.at(i));
    return total;
}

void putWord(QByteArray& frame, qsizetype at, std::uint16_t value)
{
    frame[at] = static_cast<char>(value >> 8);
    frame[at + 1] = static_cast<char>(value & 0xFF);
}

} // namespace

SerialCommandInterpreter::SerialCommandInterpreter(MidspanModel& model, bool loaderWantsEntr)
    : model_(model), loaderWantsEntr_(loaderWantsEntr), restartsSeen_(model.restartCount())
{
}

QByteArray SerialCommandInterpreter::receive(const QByteArray& bytes)
{
    if (model_.isRestarting())
        return {};
    if (model_.restartCount() != restartsSeen_)
        restart();
    if (loader_) {
        QByteArray answers = loader_->receive(bytes);
        if (loader_->restartRequested()) {
            // A complete, well-formed file becomes the firmware; anything less leaves the old one.
            if (const auto image = loader_->image())
                model_.installFirmware(*image, BootLoader::revision(*image));
            model_.reset();
            restart();
        }
        return silent_ ? QByteArray() : answers;
    }
    buffer_ += bytes;
    QByteArray replies;
    while (!buffer_.isEmpty()) {
        const qsizetype length = requestLength(static_cast<std::uint8_t>(buffer_.front()));
        if (length == 0) {
            discarded_ += buffer_.front();
            buffer_.remove(0, 1);
            continue;
        }
        if (buffer_.size() < length)
            break;
        flushDiscarded();
        const QByteArray frame = buffer_.left(length);
        buffer_.remove(0, length);
        frames_.append(frame);
        if (sum(frame, length - 2) != ((static_cast<std::uint8_t>(frame.at(length - 2)) << 8) |
                                       static_cast<std::uint8_t>(frame.at(length - 1))))
            continue;
        if (silent_)
            continue;
        replies += execute(frame);
        if (model_.isRestarting()) {
            buffer_.clear();
            break;
        }
        if (loader_) {
            replies += loader_->receive(buffer_);
            buffer_.clear();
            break;
        }
    }
    return replies;
}

void SerialCommandInterpreter::lineIdle()
{
    if (loader_) {
        loader_->lineIdle();
        return;
    }
    discarded_ += buffer_;
    buffer_.clear();
    flushDiscarded();
}

void SerialCommandInterpreter::clearFaults()
{
    silent_ = false;
    corruptReplies_ = 0;
    cutReplies_ = 0;
    doubleReplies_ = 0;
    zeroReplies_ = 0;
    misroutedReplies_ = 0;
    unanswered_.reset();
    loaderFault_ = {};
}

void SerialCommandInterpreter::flushDiscarded()
{
    if (!discarded_.isEmpty())
        frames_.append(discarded_);
    discarded_.clear();
}

void SerialCommandInterpreter::restart()
{
    restartsSeen_ = model_.restartCount();
    loader_.reset();
    buffer_.clear();
    discarded_.clear();
}

QByteArray SerialCommandInterpreter::reply(QByteArray body)
{
    const qsizetype n = body.size();
    body.resize(n + 2);
    std::uint16_t checksum = sum(body, n);
    if (corruptReplies_ > 0) {
        --corruptReplies_;
        checksum ^= 0x5A5A;
    }
    putWord(body, n, checksum);
    if (zeroReplies_ > 0) {
        --zeroReplies_;
        body.fill('\0');
    }
    if (cutReplies_ > 0) {
        --cutReplies_;
        body.truncate(body.size() / 2);
    } else if (doubleReplies_ > 0) {
        --doubleReplies_;
        body += body;
    }
    return body;
}

QByteArray SerialCommandInterpreter::body(std::uint8_t command, qsizetype size, int port)
{
    QByteArray bytes(size, '\0');
    if (ignoredBytes_ == IgnoredBytes::Random) {
        for (char& byte : bytes)
            byte = static_cast<char>(random_() & 0xFF);
    }
    bytes[0] = static_cast<char>(command);
    if (ignoredBytes_ == IgnoredBytes::PortIndex && port >= 0)
        bytes[1] = static_cast<char>(port);
    return bytes;
}

int SerialCommandInterpreter::answeredPort(int index)
{
    if (misroutedReplies_ == 0)
        return index;
    --misroutedReplies_;
    return (index + 1) % model_.portCount();
}

QByteArray SerialCommandInterpreter::execute(const QByteArray& frame)
{
    const auto command = static_cast<std::uint8_t>(frame.at(0));
    const int index = static_cast<std::uint8_t>(frame.at(1));
    if (unanswered_ == command)
        return {};
    const auto acknowledge = [this](std::uint8_t code) { return body(code, 2); };
    switch (command) {
    case Identify: {
        if (model_.legacyCode())
            return {};
        // Model text at offsets 2..24, ended by a zero byte when shorter.
        QByteArray answer(25, '\0');
        answer[0] = static_cast<char>(Identify);
        const QByteArray text = model_.modelText().left(23);
        answer.replace(2, text.size(), text);
        return reply(answer);
    }
    case LegacyIdentify: {
        const auto code = model_.legacyCodeForModel();
        QByteArray answer = body(LegacyIdentify, 5);
        answer[1] = code ? 0 : 1;
        answer[2] = static_cast<char>(code ? code->first : 0);
        answer[3] = static_cast<char>(code ? code->second : 0);
        return reply(answer);
    }
    case Reset:
        if (frame.mid(1, 5) != "RESET")
            return {};
        model_.reset();
        restartsSeen_ = model_.restartCount();
        return reply(acknowledge(Reset));
    case WriteSystemSettings:
        if (model_.setsRefused())
            return {};
        model_.setSystemDescription(frame.mid(8, 10).trimmed());
        return reply(acknowledge(WriteSystemSettings));
    case WritePortSettings: {
        if (!model_.isPort(index) || model_.setsRefused())
            return {};
        // Configuration byte: bit 0 port enabled, bit 5 legacy detection.
        const auto configuration = static_cast<std::uint8_t>(frame.at(3));
        model_.setPortEnabled(index, configuration & 0x01);
        model_.setPortLegacy(index, configuration & 0x20);
        model_.setPortDescription(index, frame.mid(7, 10).trimmed());
        return reply(acknowledge(WritePortSettings));
    }
    case ReadSystemStatus: {
        QByteArray answer = body(ReadSystemStatus, 25);
        answer[12] = static_cast<char>(model_.firmware());
        answer[13] = static_cast<char>(model_.hardware());
        answer[14] = static_cast<char>(model_.reportedPortCount());
        answer.replace(15, 10, MidspanModel::padded(model_.systemDescription()));
        return reply(answer);
    }
    case ReadPortStatus: {
        if (!model_.isPort(index))
            return {};
        const int answered = answeredPort(index);
        const MidspanModel::PortReading port = model_.port(answered);
        QByteArray answer = body(ReadPortStatus, 25, answered);
        answer[3] = static_cast<char>(0xC0 | (port.legacy ? 0x20 : 0) | (port.enabled ? 0x01 : 0));
        putWord(answer, 6, port.power);
        putWord(answer, 8, port.voltage);
        putWord(answer, 10, port.current);
        answer[14] = static_cast<char>(port.status);
        answer.replace(15, 10, MidspanModel::padded(port.description));
        return reply(answer);
    }
    case ReadPortClassification: {
        if (!model_.isPort(index))
            return {};
        const int answered = answeredPort(index);
        const MidspanModel::PortReading port = model_.port(answered);
        QByteArray answer = body(ReadPortClassification, 14, answered);
        putWord(answer, 3, port.resistance);
        putWord(answer, 11, port.classCurrent);
        return reply(answer);
    }
    case StoreSettings:
        if (frame.at(1) == 'S')
            model_.saveToFlash();
        else if (frame.at(1) == 'T')
            model_.restoreFactoryDefaults();
        else
            return {};
        return reply(acknowledge(StoreSettings));
    case EnterDownload:
        loader_ = std::make_unique<BootLoader>(loaderWantsEntr_, frames_, loaderFault_);
        return loader_->enter(reply(acknowledge(EnterDownload)));
    default:
        return {};
    }
}
