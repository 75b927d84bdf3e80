#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <memory>

// One running midspan-sim for a test: its process, its control socket and, when asked for, a
// scripted client on its serial line (the pseudo-terminal's slave, opened raw).
class MidspanSimProcess
{
public:
    static constexpr std::chrono::milliseconds startTimeout{10000};
    static constexpr std::chrono::milliseconds replyTimeout{1000};

    MidspanSimProcess();
    ~MidspanSimProcess();

    // Starts the simulator with a serial link and a control socket in a private directory plus
    // the given options; true once it printed "ready".
    bool start(const QStringList& options, bool withSerial = true);
    QString serialLinkPath() const;
    QString errorText() const { return error_; }
    qint64 processId() const { return process_.processId(); }

    // One control command and its reply (several lines, without the final ".", for frames).
    QByteArray control(const QByteArray& command);
    // The same as text, for tests that compare replies with strings.
    QString command(const QString& line) { return QString::fromUtf8(control(line.toUtf8())).trimmed(); }
    // Serial frames received since the last clearFrames(), as uppercase hex ("04 00 04").
    QStringList frames();
    void clearFrames() { control("clear-frames"); }
    // SNMP requests answered since the last clearSnmpLog(): "get 2.2.10.0", "set 2.2.4.0 2".
    QStringList snmpLog();
    void clearSnmpLog() { control("clear-snmp-log"); }
    // Changes of ports' enabled states written over a link: "1234 port 3 off", in ms since start.
    QStringList portLog();
    void clearPortLog() { control("clear-port-log"); }
    // The folder holding the serial link (named ttyV0) and the control socket.
    QString directory() const { return dir_.path(); }

    // Faults cleared, out of its loader and answering on its line, its logs empty: as it started
    // but for the values set on it. False when it does not answer within startTimeout.
    bool restore();

    bool openSerial();
    void closeSerial();
    // Sends bytes and collects what comes back until `expected` bytes are in or the time is up.
    QByteArray exchange(const QByteArray& request, int expected,
                        std::chrono::milliseconds timeout = replyTimeout);
    // Whatever arrives within the time, without sending.
    QByteArray collect(int expected, std::chrono::milliseconds timeout);
    void write(const QByteArray& bytes);

private:
    QTemporaryDir dir_;
    QProcess process_;
    int serial_ = -1;
    QString error_;
};

// One simulator for the rows of a test program that need no fresh device: kept while they ask
// for the same options and restored before each; a new one otherwise, or when it cannot be
// restored (its line dropped, its restart too long).
class ReusedMidspanSim
{
public:
    // The simulator to use now; none when it does not start.
    MidspanSimProcess* get(const QStringList& options);

private:
    std::unique_ptr<MidspanSimProcess> sim_;
    QStringList options_;
};

// Bytes from text such as "04 00 04".
QByteArray hex(const char* text);
// A reply's last two bytes are the 16-bit sum of the others, high byte first.
bool checksumOk(const QByteArray& reply);
