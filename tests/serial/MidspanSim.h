#pragma once

#include <QLocalSocket>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// midspan-sim run for one test: its serial line is a link under a temporary directory, its
// control socket next to it. Every wait is bounded.
class MidspanSim
{
public:
    // Extra arguments go to the simulator as they are (e.g. --ports 8).
    explicit MidspanSim(const QStringList& arguments, const QString& linkName = QStringLiteral("ttyV0"));
    ~MidspanSim();

    bool isReady() const { return ready_; }
    QString directory() const { return dir_.path(); }
    QString linkPath() const { return dir_.filePath(linkName_); }

    // One control command; its reply line (multi-line answers joined by '\n', without ".").
    QString command(const QString& line);
    // Frames received since the last clear, as uppercase hex ("04 00 04").
    QStringList frames();
    void clearFrames() { command(QStringLiteral("clear-frames")); }

private:
    QString readLine();

    QTemporaryDir dir_;
    QString linkName_;
    QProcess process_;
    QLocalSocket control_;
    bool ready_ = false;
};
