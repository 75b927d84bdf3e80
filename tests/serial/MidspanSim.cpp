#include "MidspanSim.h"

#include <QDeadlineTimer>

namespace
{
constexpr int StartMs = 10000;
constexpr int ReplyMs = 5000;
} // namespace

MidspanSim::MidspanSim(const QStringList& arguments, const QString& linkName) : linkName_(linkName)
{
    const QString socket = dir_.filePath(QStringLiteral("control"));
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(MIDSPAN_SIM_PATH), QStringList{QStringLiteral("--serial-link"), linkPath(),
                                                                 QStringLiteral("--control"), socket} +
                                                         arguments);
    if (!process_.waitForStarted(StartMs))
        return;
    QDeadlineTimer deadline(StartMs);
    while (!process_.canReadLine() && !deadline.hasExpired() && process_.state() == QProcess::Running)
        process_.waitForReadyRead(100);
    if (process_.readLine().trimmed() != "ready")
        return;
    control_.connectToServer(socket);
    ready_ = control_.waitForConnected(StartMs);
}

MidspanSim::~MidspanSim()
{
    if (control_.state() == QLocalSocket::ConnectedState) {
        control_.write("quit\n");
        control_.waitForBytesWritten(1000);
    }
    if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(2000)) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

QString MidspanSim::readLine()
{
    QDeadlineTimer deadline(ReplyMs);
    while (!control_.canReadLine() && !deadline.hasExpired())
        control_.waitForReadyRead(50);
    return QString::fromUtf8(control_.readLine()).trimmed();
}

QString MidspanSim::command(const QString& line)
{
    control_.write(line.toUtf8() + '\n');
    control_.waitForBytesWritten(ReplyMs);
    QString first = readLine();
    if (line != QLatin1String("frames"))
        return first;
    QStringList lines;
    for (QString l = first; l != QLatin1String(".") && !l.isNull() && !l.isEmpty(); l = readLine())
        lines.append(l);
    return lines.join(u'\n');
}

QStringList MidspanSim::frames()
{
    const QString all = command(QStringLiteral("frames"));
    return all.isEmpty() ? QStringList() : all.split(u'\n');
}
