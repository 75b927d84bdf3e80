#include "BootLoader.h"

#include <QRegularExpression>

namespace
{

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int hexByte(const QByteArray& text, qsizetype at)
{
    const int high = hexDigit(text.at(at));
    const int low = hexDigit(text.at(at + 1));
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

} // namespace

BootLoader::BootLoader(bool wantsEntr, QList<QByteArray>& frameLog, Fault fault)
    : frameLog_(frameLog), state_(wantsEntr ? State::AwaitEntr : State::Commands), fault_(fault)
{
}

QByteArray BootLoader::enter(const QByteArray& acknowledgement)
{
    const QByteArray acknowledged = say(acknowledgement);
    return acknowledged +
           say(state_ == State::AwaitEntr ? QByteArray(waitingForEntr) : QByteArray("TPE\r\n"));
}

QByteArray BootLoader::say(QByteArray message)
{
    ++messages_;
    if (fault_.kind == Fault::Kind::Silent && messages_ >= fault_.message)
        return {};
    if (fault_.kind == Fault::Kind::Complete && messages_ == fault_.message)
        return "TP\r\n";
    if (fault_.kind == Fault::Kind::Wrong && messages_ == fault_.message) {
        for (qsizetype at = 1; at < message.size(); ++at) {
            if ((message.at(at) >= 'A' && message.at(at) <= 'Z') || message.at(at) == '*')
                message[at] = 'X';
        }
    }
    return message;
}

std::optional<QList<QByteArray>> BootLoader::image() const
{
    if (state_ != State::Finished || refusedRecord_ || records_.isEmpty())
        return std::nullopt;
    return records_;
}

std::optional<std::uint8_t> BootLoader::revision(const QList<QByteArray>& image)
{
    for (const QByteArray& record : image) {
        if (!record.startsWith("S0") || record.size() < 10)
            continue;
        // Count, two address bytes, the text, the checksum.
        const QByteArray text = QByteArray::fromHex(record.mid(8, record.size() - 10));
        static const QRegularExpression number(QStringLiteral("(\\d+)\\.(\\d)"));
        const auto match = number.match(QString::fromLatin1(text));
        if (!match.hasMatch() || match.captured(1).toInt() > 15)
            return std::nullopt;
        return std::uint8_t(match.captured(1).toInt() << 4 | match.captured(2).toInt());
    }
    return std::nullopt;
}

QByteArray BootLoader::receive(const QByteArray& bytes)
{
    buffer_ += bytes;
    QByteArray answers;
    qsizetype before = -1;
    while (!buffer_.isEmpty() && !restartRequested_ && buffer_.size() != before) {
        before = buffer_.size();
        answers += state_ == State::Records ? takeRecord() : takeCommand();
    }
    return answers;
}

void BootLoader::lineIdle()
{
    if (!buffer_.isEmpty())
        discard(buffer_.size());
}

void BootLoader::discard(qsizetype count)
{
    frameLog_.append(buffer_.left(count));
    buffer_.remove(0, count);
}

QByteArray BootLoader::takeCommand()
{
    // Commands are single letters, "ENTR" and "RST"; a stray line end is not an error, but it is
    // logged, so a client that sends line ends can be seen to.
    if (isLineEnd(buffer_.front())) {
        discard(1);
        return {};
    }
    // Before ENTR the loader hears nothing else; afterwards "E" alone is the erase command.
    const QByteArray word = state_ == State::AwaitEntr && buffer_.front() == 'E' ? "ENTR" : "RST";
    if (buffer_.size() < word.size() && word.startsWith(buffer_))
        return {};
    if (buffer_.startsWith(word)) {
        discard(word.size());
        if (word == "RST") {
            restartRequested_ = true;
            return {};
        }
        state_ = State::Commands;
        return say("TPE\r\n");
    }
    const char c = buffer_.front();
    discard(1);
    if ((state_ == State::Commands || state_ == State::Records) && c == 'E') {
        state_ = State::Commands;
        erased_ = true;
        // Erased: the loader reports the end of the erase, then that it is ready again.
        const QByteArray started = say("TOE\r\n");
        const QByteArray done = say("TE\r\n");
        return started + done + say("TPE\r\n");
    }
    if (state_ == State::Commands && c == 'P' && erased_) {
        state_ = State::Records;
        records_.clear();
        refusedRecord_ = false;
        return say("TOP\r\n");
    }
    return say(refusal);
}

QByteArray BootLoader::takeRecord()
{
    const char first = buffer_.front();
    if (isLineEnd(first)) {
        discard(1);
        return {};
    }
    // Records start with S: a command letter among them is a command (a client starting over).
    if (first == 'R' || first == 'E')
        return takeCommand();
    if (first != 'S') {
        discard(1);
        return {};
    }
    if (buffer_.size() < 4)
        return {};
    const int type = hexDigit(buffer_.at(1));
    const int count = hexByte(buffer_, 2);
    if (type < 0 || type > 9 || count < 1) {
        discard(buffer_.size());
        refusedRecord_ = true;
        return say(refusal);
    }
    const qsizetype length = 4 + 2 * qsizetype(count);
    if (buffer_.size() < length)
        return {};
    // The checksum byte makes the sum of count, address, data and itself 0xFF.
    int sum = 0;
    for (qsizetype at = 2; at < length; at += 2) {
        const int value = hexByte(buffer_, at);
        if (value < 0) {
            discard(length);
            refusedRecord_ = true;
            return say(refusal);
        }
        sum += value;
    }
    const QByteArray record = buffer_.left(length);
    discard(length);
    if ((sum & 0xFF) != 0xFF) {
        refusedRecord_ = true;
        return say(refusal);
    }
    records_.append(record);
    if (type >= 7) {
        state_ = State::Finished;
        return say("TP\r\n");
    }
    return say("T*\r\n");
}
