// One SNMP worker exchange (release to result handler) against midspan-sim, in v2c and SNMPv3,
// beside a plain loop through the same client in the same run: open a session, get the object,
// close it, with no thread and no hand-over. Target: the worker within 1.5 times the plain loop.
#include "MidspanSimProcess.h"
#include "app/DeviceState.h"
#include "snmp/SnmpClient.h"
#include "snmp/SnmpWorker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int Rounds = 200;
const QString agent = "127.0.12.1";
const QString object = "1.3.6.1.4.1.24852.2.2.10.0";

double medianMs(std::vector<qint64> nanoseconds)
{
    std::sort(nanoseconds.begin(), nanoseconds.end());
    return double(nanoseconds[nanoseconds.size() / 2]) / 1e6;
}

SnmpJob jobFor(bool v3)
{
    SnmpJob job;
    job.jobAddress = agent;
    job.jobReadCommunity = "rd-comm";
    job.jobWriteCommunity = "wr-comm";
    job.jobUser = "midspan";
    job.jobAuthPassword = "auth-pass";
    job.jobPrivPassword = "priv-pass";
    job.jobUseV3 = v3;
    return job;
}

std::vector<qint64> workerTimes(bool v3)
{
    QObject context;
    DeviceState state;
    state.requestOid = object;
    state.searchRetries = 20;
    std::vector<qint64> times;
    QElapsedTimer clock;
    QEventLoop loop;
    SnmpWorker* worker = nullptr;
    int exchanges = 0;
    SnmpWorker snmp(state, &context, [&] {
        worker->pause();
        // The first exchange sets the session up, as a search does.
        if (exchanges++ > 0)
            times.push_back(clock.nsecsElapsed());
        if (int(times.size()) == Rounds) {
            loop.quit();
            return;
        }
        state.sessionReady = true;
        clock.start();
        worker->release();
    });
    worker = &snmp;
    snmp.job() = jobFor(v3);
    snmp.release();
    loop.exec();
    if (state.networkFailures != 0 || state.responseText.isEmpty())
        std::fprintf(stderr, "snmp_exchange: the worker's exchanges failed\n");
    return times;
}

std::vector<qint64> plainTimes(bool v3)
{
    const SnmpJob job = jobFor(v3);
    SnmpTarget target;
    target.address = job.jobAddress;
    target.v3 = v3;
    target.readCommunity = job.jobReadCommunity.toLatin1();
    target.user = job.jobUser.toLatin1();
    target.authPassphrase = job.jobAuthPassword.toLatin1();
    target.privPassphrase = job.jobPrivPassword.toLatin1();
    target.retries = 20;
    std::vector<qint64> times;
    QElapsedTimer clock;
    for (int i = 0; i < Rounds; ++i) {
        clock.start();
        SnmpClient client(target);
        if (!client.get(object))
            std::fprintf(stderr, "snmp_exchange: plain get failed: %s\n", qPrintable(client.errorText()));
        times.push_back(clock.nsecsElapsed());
    }
    return times;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (geteuid() != 0) {
        std::printf("snmp_exchange: skipped, the agent needs UDP port 161 (root)\n");
        return 0;
    }
    // SNMPv3 set-ups write the boot counter file into the working directory.
    QTemporaryDir workDir;
    QDir::setCurrent(workDir.path());
    initSnmpLibrary();
    MidspanSimProcess sim;
    if (!sim.start({"--snmp", "udp:" + agent + ":161", "--read-community", "rd-comm", "--write-community",
                    "wr-comm", "--v3-user", "midspan", "--v3-auth", "auth-pass", "--v3-priv", "priv-pass",
                    "--steady"},
                   false)) {
        std::fprintf(stderr, "snmp_exchange: midspan-sim did not start: %s\n", qPrintable(sim.errorText()));
        return 1;
    }
    for (const bool v3 : {false, true}) {
        const double plain = medianMs(plainTimes(v3));
        const double worker = medianMs(workerTimes(v3));
        std::printf("snmp_exchange %-6s median of %d: worker %.3f ms, plain loop %.3f ms, ratio %.2f (target "
                    "<= 1.5)\n",
                    v3 ? "SNMPv3" : "v2c", Rounds, worker, plain, worker / plain);
    }
    return 0;
}
