#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QProcess;

// A private test network for ethfind and module-sim. The calling process moves into a network
// namespace of its own with a bridge at 10.77.0.1/16 (and the route for 255.255.255.255); every module
// host is a named namespace "<prefix>-<pid>-<n>" joined to the bridge by a veth pair and runs one
// module-sim. Traffic never leaves these namespaces. Needs root and iproute2.
class NetnsLab
{
public:
    static constexpr const char* bridgeAddress = "10.77.0.1";
    static constexpr const char* emptyInterface = "efempty0";

    NetnsLab(QString prefix, QString simulatorPath);
    ~NetnsLab();
    NetnsLab(const NetnsLab&) = delete;
    NetnsLab& operator=(const NetnsLab&) = delete;

    // Why the lab cannot run here, or empty when it can.
    static QString unavailableReason();

    // Call before the process creates any socket. Also removes the leftovers of earlier runs.
    bool enterPrivateNetwork();

    // Starts a module host with the given address (in 10.77.0.0/16) running module-sim with the
    // arguments (module-sim takes the host's address for its first module unless told otherwise);
    // returns its number, or -1 when it did not print "ready" in time.
    int startModules(const QString& hostAddress, const QStringList& simArguments);
    void stopModules(int host);
    void stopAll();

    // A second interface with no modules behind it (10.88.0.1/24, a veth to an empty namespace),
    // as a laptop's Wi-Fi beside the cable to the modules; the bridge loses its broadcast route.
    bool addEmptyInterface();
    // Runs "ip" in the calling process's namespace (routes and links of the test).
    bool run(const QStringList& arguments) { return ip(arguments); }

    // Everything the host's module-sim has printed so far.
    QByteArray log(int host);
    QString lastError() const { return error_; }

private:
    struct Host {
        QString netns;
        QString veth;
        std::unique_ptr<QProcess> process;
        QByteArray log;
    };

    bool ip(const QStringList& arguments);
    void removeNamespace(const QString& name);
    void removeLeftovers();

    QString prefix_;
    QString simulatorPath_;
    QString error_;
    std::vector<Host> hosts_;
    int nextSerial_ = 0;
    QString emptyNetns_;
};
