// One scrape of a simulated 24-port midspan through Debian's SNMP exporter with monitoring/snmp.yml,
// in v2c and SNMPv3, beside the SNMP floor measured in the same run: the same requests the
// exporter sends (a get of the five unit objects, a GETBULK walk of each of the eight port
// columns, and with SNMPv3 the engine discovery), from net-snmp in this process, with nothing else.
#include "LoopbackBlock.h"
#include "MidspanSimProcess.h"
#include "PrometheusPrograms.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

// net-snmp needs its configuration header first.
#include <net-snmp/net-snmp-config.h>

#include <net-snmp/net-snmp-includes.h>

using namespace monitoring;
using namespace std::chrono_literals;

namespace
{

// Exporter and floor take turns in blocks, so that both see the same load of the machine.
constexpr int Blocks = 20;
constexpr int BlockSize = 5;
const QString Agent = loopbackAddress(61, 1);
const QString Servers = loopbackAddress(61, 100);
const QByteArray Community = "public";
const QByteArray User = "midspan-user";
const QByteArray AuthPassphrase = "auth-pass-phrase";
const QByteArray PrivPassphrase = "priv-pass-phrase";
constexpr int UnitObjects = 5;
constexpr int Columns[] = {2, 6, 7, 11, 12, 13, 14, 18};
constexpr int MaxRepetitions = 25;

double medianMs(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

std::vector<oid> midspanOid(std::initializer_list<oid> suffix)
{
    std::vector<oid> name{1, 3, 6, 1, 4, 1, 24852};
    name.insert(name.end(), suffix);
    return name;
}

// The same requests as the exporter, each answered before the next goes.
class SnmpFloor
{
public:
    SnmpFloor(const QString& target, bool v3) : peer_("udp:" + target.toLatin1()), v3_(v3)
    {
        makeKey(AuthPassphrase, authKey_, authKeyLength_);
        makeKey(PrivPassphrase, privKey_, privKeyLength_);
    }

    // One scrape's worth: a new session, as the exporter opens one per scrape. Returns the number
    // of values received, or -1 when a request failed.
    int run(int& requests)
    {
        netsnmp_session settings;
        snmp_sess_init(&settings);
        settings.peername = peer_.data();
        settings.timeout = 1000000;
        settings.retries = 2;
        QByteArray community = Community;
        QByteArray user = User;
        if (v3_) {
            settings.version = SNMP_VERSION_3;
            settings.securityName = user.data();
            settings.securityNameLen = size_t(user.size());
            settings.contextName = user.data();
            settings.contextNameLen = size_t(user.size());
            settings.securityLevel = SNMP_SEC_LEVEL_AUTHPRIV;
            settings.securityAuthProto = usmHMACMD5AuthProtocol;
            settings.securityAuthProtoLen = USM_AUTH_PROTO_MD5_LEN;
            settings.securityPrivProto = usmDESPrivProtocol;
            settings.securityPrivProtoLen = USM_PRIV_PROTO_DES_LEN;
            std::copy_n(authKey_, authKeyLength_, settings.securityAuthKey);
            settings.securityAuthKeyLen = authKeyLength_;
            std::copy_n(privKey_, privKeyLength_, settings.securityPrivKey);
            settings.securityPrivKeyLen = privKeyLength_;
            ++requests; // the engine discovery
        } else {
            settings.version = SNMP_VERSION_2c;
            settings.community = reinterpret_cast<u_char*>(community.data());
            settings.community_len = size_t(community.size());
        }
        void* session = snmp_sess_open(&settings);
        if (!session)
            return -1;
        int values = 0;
        netsnmp_pdu* get = snmp_pdu_create(SNMP_MSG_GET);
        for (const auto& name : {midspanOid({2, 1, 0}), midspanOid({2, 2, 6, 0}), midspanOid({2, 2, 7, 0}),
                                 midspanOid({2, 2, 10, 0}), midspanOid({2, 2, 11, 0})})
            snmp_add_null_var(get, name.data(), name.size());
        bool ok = exchange(session, get, {}, values, requests);
        for (const int column : Columns) {
            const std::vector<oid> subtree = midspanOid({2, 3, 1, oid(column)});
            std::vector<oid> from = subtree;
            bool more = true;
            while (ok && more) {
                netsnmp_pdu* bulk = snmp_pdu_create(SNMP_MSG_GETBULK);
                bulk->non_repeaters = 0;
                bulk->max_repetitions = MaxRepetitions;
                snmp_add_null_var(bulk, from.data(), from.size());
                ok = exchange(session, bulk, subtree, values, requests, &from, &more);
            }
        }
        snmp_sess_close(session);
        return ok ? values : -1;
    }

private:
    static void makeKey(QByteArray phrase, u_char* key, size_t& length)
    {
        length = USM_AUTH_KU_LEN;
        generate_Ku(usmHMACMD5AuthProtocol, USM_AUTH_PROTO_MD5_LEN, reinterpret_cast<u_char*>(phrase.data()),
                    size_t(phrase.size()), key, &length);
    }

    // Sends the request and counts the values that answer it; for a walk, those inside the
    // subtree, where the next request starts and whether one is needed.
    static bool exchange(void* session, netsnmp_pdu* request, const std::vector<oid>& subtree, int& values,
                         int& requests, std::vector<oid>* next = nullptr, bool* more = nullptr)
    {
        netsnmp_pdu* response = nullptr;
        ++requests;
        const bool ok = snmp_sess_synch_response(session, request, &response) == STAT_SUCCESS && response &&
                        response->errstat == SNMP_ERR_NOERROR;
        if (more)
            *more = false;
        for (netsnmp_variable_list* vb = ok ? response->variables : nullptr; vb; vb = vb->next_variable) {
            if (!subtree.empty() &&
                (vb->name_length <= subtree.size() ||
                 snmp_oid_compare(vb->name, subtree.size(), subtree.data(), subtree.size()) != 0 ||
                 vb->type == SNMP_ENDOFMIBVIEW))
                break;
            ++values;
            if (next) {
                next->assign(vb->name, vb->name + vb->name_length);
                *more = vb->next_variable == nullptr;
            }
        }
        if (response)
            snmp_free_pdu(response);
        return ok;
    }

    QByteArray peer_;
    const bool v3_;
    u_char authKey_[USM_AUTH_KU_LEN] = {};
    size_t authKeyLength_ = 0;
    u_char privKey_[USM_PRIV_KU_LEN] = {};
    size_t privKeyLength_ = 0;
};

void initNetSnmp(const QTemporaryDir& dir)
{
    // Objects are numeric: no MIB files to read.
    setenv("MIBS", "", 1);
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_PERSISTENT_DIR, qPrintable(dir.path()));
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
    netsnmp_set_mib_directory("");
    init_snmp("exporter_scrape");
}

// The value of an unlabelled series of the exporter's answer.
double seriesValue(const QList<Sample>& samples, const QString& name)
{
    for (const Sample& sample : samples) {
        if (sample.name == name)
            return sample.value;
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (QStandardPaths::findExecutable(exporterProgram).isEmpty()) {
        std::printf("exporter_scrape: skipped, %s is not installed (scripts/install-deps.sh installs it)\n",
                    qPrintable(exporterProgram));
        return 0;
    }
    const QString target = Agent + ':' + QString::number(freeUdpPort(Agent));
    MidspanSimProcess sim;
    if (!sim.start({"--snmp", "udp:" + target, "--ports", "24", "--read-community", Community, "--v3-user",
                    User, "--v3-auth", AuthPassphrase, "--v3-priv", PrivPassphrase, "--steady"},
                   false)) {
        std::fprintf(stderr, "exporter_scrape: midspan-sim did not start: %s\n", qPrintable(sim.errorText()));
        return 1;
    }
    ServerProcess exporter;
    const quint16 exporterPort = freeTcpPort(Servers);
    if (!startExporter(exporter, Servers, exporterPort)) {
        std::fprintf(stderr, "exporter_scrape: %s\n", qPrintable(exporter.errorText()));
        return 1;
    }
    QTemporaryDir snmpDir;
    initNetSnmp(snmpDir);
    const int expectedValues = UnitObjects + int(std::size(Columns)) * 24;

    for (const bool v3 : {false, true}) {
        const QUrl url = scrapeUrl(Servers, exporterPort, v3 ? "spanmon_v3" : "spanmon_v2c", target);
        SnmpFloor floor(target, v3);
        std::vector<double> scrapes;
        std::vector<double> exporterOwn;
        std::vector<double> floors;
        int exporterRequests = 0;
        int floorRequests = 0;
        QElapsedTimer clock;
        for (int block = 0; block < Blocks; ++block) {
            for (int i = 0; i < BlockSize; ++i) {
                clock.start();
                const HttpReply reply = httpGet(url, 30s);
                scrapes.push_back(double(clock.nsecsElapsed()) / 1e6);
                const QList<Sample> samples = parseExposition(reply.body);
                if (reply.status != 200 ||
                    seriesValue(samples, "snmp_scrape_pdus_returned") != expectedValues) {
                    std::fprintf(stderr, "exporter_scrape: a scrape failed: %d %s\n", reply.status,
                                 reply.body.left(300).constData());
                    return 1;
                }
                exporterOwn.push_back(seriesValue(samples, "snmp_scrape_duration_seconds") * 1000);
                exporterRequests = int(seriesValue(samples, "snmp_scrape_packets_sent"));
            }
            for (int i = 0; i < BlockSize; ++i) {
                int requests = 0;
                clock.start();
                const int values = floor.run(requests);
                floors.push_back(double(clock.nsecsElapsed()) / 1e6);
                if (values != expectedValues) {
                    std::fprintf(stderr, "exporter_scrape: the floor's requests got %d values, not %d\n",
                                 values, expectedValues);
                    return 1;
                }
                floorRequests = requests;
            }
        }
        const double scrapeMs = medianMs(scrapes);
        const double floorMs = medianMs(floors);
        std::printf(
            "exporter_scrape %-6s 24 ports, median of %d: exporter %.2f ms over HTTP (%.2f ms by its own "
            "count, %d requests), SNMP floor %.2f ms (%d requests), ratio %.2f\n",
            v3 ? "SNMPv3" : "v2c", Blocks * BlockSize, scrapeMs, medianMs(exporterOwn), exporterRequests,
            floorMs, floorRequests, scrapeMs / floorMs);
    }
    return 0;
}
