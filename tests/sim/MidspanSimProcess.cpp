#include "MidspanSimProcess.h"

#include <QDeadlineTimer>
#include <QLocalSocket>

#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

MidspanSimProcess::MidspanSimProcess() = default;

MidspanSimProcess::~MidspanSimProcess()
{
    closeSerial();
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

QString MidspanSimProcess::serialLinkPath() const
{
    return dir_.filePath("ttyV0");
}

bool MidspanSimProcess::start(const QStringList& options, bool withSerial)
{
    QStringList arguments{"--control", dir_.filePath("control")};
    if (withSerial)
        arguments << "--serial-link" << serialLinkPath();
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    // A test that crashes must not leave its simulator holding the addresses the next run needs.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process_.start(MIDSPAN_SIM_PATH, arguments + options);
    const QDeadlineTimer deadline(startTimeout);
    while (!deadline.hasExpired()) {
        if (process_.canReadLine()) {
            const QByteArray line = process_.readLine().trimmed();
            if (line == "ready")
                return true;
        }
        if (!process_.waitForReadyRead(int(deadline.remainingTime())))
            break;
    }
    error_ = QString::fromLocal8Bit(process_.readAllStandardError());
    return false;
}

QStringList MidspanSimProcess::frames()
{
    return QString::fromUtf8(control("frames")).split(u'\n', Qt::SkipEmptyParts);
}

QStringList MidspanSimProcess::snmpLog()
{
    return QString::fromUtf8(control("snmp-log")).split(u'\n', Qt::SkipEmptyParts);
}

QStringList MidspanSimProcess::portLog()
{
    return QString::fromUtf8(control("port-log")).split(u'\n', Qt::SkipEmptyParts);
}

QByteArray MidspanSimProcess::control(const QByteArray& command)
{
    QLocalSocket socket;
    socket.connectToServer(dir_.filePath("control"));
    if (!socket.waitForConnected(int(replyTimeout.count())))
        return "no control socket";
    socket.write(command + '\n');
    socket.flush();
    const bool multiLine = command == "frames" || command == "snmp-log" || command == "port-log";
    QByteArray answer;
    const QDeadlineTimer deadline(replyTimeout);
    while (!deadline.hasExpired()) {
        while (socket.canReadLine()) {
            const QByteArray line = socket.readLine();
            if (!multiLine)
                return line.trimmed();
            if (line == ".\n")
                return answer;
            answer += line;
        }
        socket.waitForReadyRead(int(deadline.remainingTime()));
    }
    return "no answer";
}

bool MidspanSimProcess::restore()
{
    if (control("clear-faults") != "ok" || !openSerial())
        return false;
    const QByteArray statusRead = hex("04 00 04");
    // Answered within milliseconds by a device in working order; in its loader or restarting it
    // needs a reset, which ends the loader.
    const auto answers = [&] {
        const QByteArray reply = exchange(statusRead, 27, std::chrono::milliseconds(200));
        return reply.size() == 27 && checksumOk(reply);
    };
    bool back = answers();
    if (!back && control("reset") == "ok") {
        const QDeadlineTimer deadline(startTimeout);
        while (!(back = answers()) && !deadline.hasExpired())
            collect(64, std::chrono::milliseconds(20));
    }
    closeSerial();
    clearFrames();
    clearPortLog();
    clearSnmpLog();
    return back;
}

MidspanSimProcess* ReusedMidspanSim::get(const QStringList& options)
{
    if (sim_ && options == options_ && sim_->restore())
        return sim_.get();
    sim_.reset(); // its addresses and line are free before the next starts
    auto sim = std::make_unique<MidspanSimProcess>();
    if (!sim->start(options))
        return nullptr;
    sim_ = std::move(sim);
    options_ = options;
    return sim_.get();
}

bool MidspanSimProcess::openSerial()
{
    closeSerial();
    serial_ = ::open(QFile::encodeName(serialLinkPath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (serial_ < 0)
        return false;
    termios tio{};
    tcgetattr(serial_, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B19200);
    tcsetattr(serial_, TCSANOW, &tio);
    tcflush(serial_, TCIOFLUSH);
    return true;
}

void MidspanSimProcess::closeSerial()
{
    if (serial_ >= 0)
        ::close(serial_);
    serial_ = -1;
}

void MidspanSimProcess::write(const QByteArray& bytes)
{
    if (serial_ >= 0) [[maybe_unused]]
        const ssize_t n = ::write(serial_, bytes.constData(), bytes.size());
}

QByteArray MidspanSimProcess::collect(int expected, std::chrono::milliseconds timeout)
{
    QByteArray received;
    const QDeadlineTimer deadline(timeout);
    while (serial_ >= 0 && received.size() < expected && !deadline.hasExpired()) {
        pollfd p{serial_, POLLIN, 0};
        if (::poll(&p, 1, int(std::max<qint64>(deadline.remainingTime(), 0))) <= 0)
            continue;
        // Only what was asked for: the rest stays queued for the next read, as in the client.
        char chunk[256];
        const auto wanted = std::min<size_t>(sizeof chunk, size_t(expected - received.size()));
        const ssize_t n = ::read(serial_, chunk, wanted);
        if (n > 0)
            received.append(chunk, n);
        else
            break;
    }
    return received;
}

QByteArray MidspanSimProcess::exchange(const QByteArray& request, int expected,
                                       std::chrono::milliseconds timeout)
{
    write(request);
    return collect(expected, timeout);
}

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

bool checksumOk(const QByteArray& reply)
{
    if (reply.size() < 3)
        return false;
    unsigned sum = 0;
    for (qsizetype i = 0; i < reply.size() - 2; ++i)
        sum += static_cast<unsigned char>(reply.at(i));
    return static_cast<unsigned char>(reply.at(reply.size() - 2)) == ((sum >> 8) & 0xFF) &&
           static_cast<unsigned char>(reply.back()) == (sum & 0xFF);
}
