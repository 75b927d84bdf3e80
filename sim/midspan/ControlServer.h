#pragma once

#include <QByteArray>
#include <QList>
#include <QLocalServer>
#include <QObject>
#include <QString>

#include "SerialCommandInterpreter.h"

#include <functional>
#include <optional>

class MidspanModel;
class PtyLink;

// The fill named on the command line or the control socket: zero, random or port.
std::optional<SerialCommandInterpreter::IgnoredBytes> ignoredBytesFill(const QByteArray& name);

// Line commands on a Unix-domain socket that steer the running simulator; each command gets one
// reply line, multi-line answers end with a line ".".
class ControlServer : public QObject
{
    Q_OBJECT

public:
    ControlServer(MidspanModel& model, SerialCommandInterpreter& serial, PtyLink* line,
                  QObject* parent = nullptr);

    bool listen(const QString& path);
    QString errorString() const { return server_.errorString(); }

    // The answer to one command line, without the final line end.
    QByteArray execute(const QByteArray& line);

signals:
    void quitRequested();

private:
    QByteArray portCommand(const QList<QByteArray>& words, bool set);
    QByteArray systemCommand(const QList<QByteArray>& words, bool set);

    MidspanModel& model_;
    SerialCommandInterpreter& serial_;
    PtyLink* line_;
    QLocalServer server_;
};
