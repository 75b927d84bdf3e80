// One SNMP worker exchange (release to result handler) against midspan-sim, in v2c and SNMPv3,
// beside a plain loop through the same client in the same run: open a session, get the object,
// close it, with no thread and no hand-over. Target: the worker within 1.2 times the plain loop.
// The agent stands for a device elsewhere on the network and gets a core of its own; the client,
// its worker thread included, shares another. Left to the scheduler, the agent shares the
// client's core in some blocks and not in others, the plain loop's time doubles between the two,
// and the ratio measures where the agent was put rather than the worker.
#include "BenchSupport.h"
#include "LoopbackBlock.h"
#include "MidspanSimProcess.h"
#include "links/snmp/SnmpClient.h"
#include "links/snmp/SnmpWorker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{

// Worker and plain loop take turns in blocks, so that both see the same load of the machine.
constexpr int Blocks = 25;
constexpr int BlockSize = 40;
const QString agent = loopbackAddress(12, 1);
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
    job.object = object;
    job.retries = 20;
    return job;
}

// The worker in a device session: each handler releases it again at once.
class WorkerRun
{
public:
    explicit WorkerRun(bool v3)
        : job_(jobFor(v3)), worker_(&context_, [this](const SnmpResult& result) { handle(result); })
    {
        // The first exchange sets the session up, as a search does.
        job_.setUp = true;
        run(1);
        times.clear();
        job_.setUp = false;
    }

    void run(int exchanges)
    {
        left_ = exchanges;
        clock_.start();
        worker_.release(job_);
        loop_.exec();
        if (failed_)
            std::fprintf(stderr, "snmp_exchange: the worker's exchanges failed\n");
    }

    std::vector<qint64> times;

private:
    void handle(const SnmpResult& result)
    {
        worker_.pause();
        failed_ = failed_ || !result.answered || result.text.isEmpty();
        times.push_back(clock_.nsecsElapsed());
        if (--left_ == 0) {
            loop_.quit();
            return;
        }
        clock_.start();
        worker_.release(job_);
    }

    QObject context_;
    SnmpJob job_;
    bool failed_ = false;
    QEventLoop loop_;
    QElapsedTimer clock_;
    int left_ = 0;
    SnmpWorker worker_;
};

void plainLoop(const SnmpTarget& target, int rounds, std::vector<qint64>& times)
{
    QElapsedTimer clock;
    for (int i = 0; i < rounds; ++i) {
        clock.start();
        SnmpClient client(target);
        if (!client.get(object))
            std::fprintf(stderr, "snmp_exchange: plain get failed: %s\n", qPrintable(client.errorText()));
        times.push_back(clock.nsecsElapsed());
    }
}

// Context switches of this process so far.
long switches()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw + usage.ru_nivcsw;
}

// The first two cores this process may use, or none on a single core.
std::optional<std::pair<int, int>> twoCores()
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return std::nullopt;
    std::vector<int> cores;
    for (int cpu = 0; cpu < CPU_SETSIZE && cores.size() < 2; ++cpu)
        if (CPU_ISSET(cpu, &allowed))
            cores.push_back(cpu);
    if (cores.size() < 2)
        return std::nullopt;
    return std::pair{cores[0], cores[1]};
}

bool pin(pid_t task, int core)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(core, &set);
    return sched_setaffinity(task, sizeof set, &set) == 0;
}

// Every thread of the agent's process onto its core.
bool pinProcess(qint64 pid, int core)
{
    const QStringList tasks =
        QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    return !tasks.isEmpty() && std::all_of(tasks.begin(), tasks.end(), [core](const QString& task) {
        return pin(pid_t(task.toInt()), core);
    });
}

SnmpTarget targetFor(bool v3)
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
    return target;
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
    // Before the simulator and the worker thread start, which inherit this core; the simulator
    // moves to its own once started.
    const auto cores = twoCores();
    if (cores && !pin(0, cores->first))
        std::fprintf(stderr, "snmp_exchange: cannot pin the client to core %d\n", cores->first);
    MidspanSimProcess sim;
    if (!sim.start({"--snmp", "udp:" + agent + ":161", "--read-community", "rd-comm", "--write-community",
                    "wr-comm", "--v3-user", "midspan", "--v3-auth", "auth-pass", "--v3-priv", "priv-pass",
                    "--steady"},
                   false)) {
        std::fprintf(stderr, "snmp_exchange: midspan-sim did not start: %s\n", qPrintable(sim.errorText()));
        return 1;
    }
    if (!cores)
        std::printf("snmp_exchange: one core, the agent shares it with the client\n");
    else if (!pinProcess(sim.processId(), cores->second))
        std::fprintf(stderr, "snmp_exchange: cannot pin the agent to core %d\n", cores->second);
    else
        std::printf("snmp_exchange: client on core %d, agent on core %d\n", cores->first, cores->second);
    for (const bool v3 : {false, true}) {
        WorkerRun worker(v3);
        const SnmpTarget target = targetFor(v3);
        std::vector<qint64> plain;
        double plainCpu = 0;
        double workerCpu = 0;
        long plainSwitches = 0;
        long workerSwitches = 0;
        std::vector<double> blockRatios;
        for (int block = 0; block < Blocks; ++block) {
            const std::size_t plainFrom = plain.size();
            const std::size_t workerFrom = worker.times.size();
            double cpu = bench::cpuSeconds();
            long switched = switches();
            plainLoop(target, BlockSize, plain);
            plainCpu += bench::cpuSeconds() - cpu;
            plainSwitches += switches() - switched;
            cpu = bench::cpuSeconds();
            switched = switches();
            worker.run(BlockSize);
            workerCpu += bench::cpuSeconds() - cpu;
            workerSwitches += switches() - switched;
            blockRatios.push_back(medianMs({worker.times.begin() + long(workerFrom), worker.times.end()}) /
                                  medianMs({plain.begin() + long(plainFrom), plain.end()}));
        }
        std::sort(blockRatios.begin(), blockRatios.end());
        std::printf("snmp_exchange %-6s block ratios: lowest %.2f, median %.2f, highest %.2f\n",
                    v3 ? "SNMPv3" : "v2c", blockRatios.front(), blockRatios[blockRatios.size() / 2],
                    blockRatios.back());
        // The process's CPU time and context switches, the hand-over's included: set beside the
        // medians, they tell work the worker adds from time it waits for a thread or a core.
        const double exchanges = Blocks * BlockSize;
        std::printf("snmp_exchange %-6s per exchange: CPU worker %.3f ms, plain loop %.3f ms; context "
                    "switches worker %.1f, plain loop %.1f\n",
                    v3 ? "SNMPv3" : "v2c", workerCpu * 1e3 / exchanges, plainCpu * 1e3 / exchanges,
                    double(workerSwitches) / exchanges, double(plainSwitches) / exchanges);
        const double workerMs = medianMs(worker.times);
        const double plainMs = medianMs(plain);
        std::printf("snmp_exchange %-6s median of %d: worker %.3f ms, plain loop %.3f ms, ratio %.2f "
                    "(target <= 1.2)\n",
                    v3 ? "SNMPv3" : "v2c", Blocks * BlockSize, workerMs, plainMs, workerMs / plainMs);
        bench::figure(v3 ? "snmp_exchange.v3.ratio" : "snmp_exchange.v2c.ratio", workerMs / plainMs, "x",
                      "<=1.2");
    }
    return 0;
}
