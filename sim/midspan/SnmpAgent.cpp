#include "SnmpAgent.h"

#include <QCryptographicHash>
#include <QFile>

#include <cstdlib>
#include <cstring>
#include <sys/select.h>
#include <sys/socket.h>
#include <utility>

// net-snmp needs its configuration header first.
#include <net-snmp/net-snmp-config.h>

#include <net-snmp/net-snmp-includes.h>

#include <net-snmp/agent/net-snmp-agent-includes.h>

namespace
{

constexpr char appName[] = "midspan-sim";
const oid enterprise[] = {1, 3, 6, 1, 4, 1, 24852};
constexpr size_t enterpriseLength = OID_LENGTH(enterprise);
constexpr timeval pollInterval{0, 100000};

std::optional<MidspanMib::Suffix> suffixOf(const netsnmp_variable_list* vb)
{
    if (vb->name_length < enterpriseLength ||
        snmp_oid_compare(vb->name, enterpriseLength, enterprise, enterpriseLength) != 0)
        return std::nullopt;
    return MidspanMib::Suffix(vb->name + enterpriseLength, vb->name + vb->name_length);
}

int errorStatus(MidspanMib::Error error)
{
    switch (error) {
    case MidspanMib::Error::NotWritable:
        return SNMP_ERR_NOTWRITABLE;
    case MidspanMib::Error::NoCreation:
        return SNMP_ERR_NOCREATION;
    case MidspanMib::Error::WrongType:
        return SNMP_ERR_WRONGTYPE;
    case MidspanMib::Error::WrongLength:
        return SNMP_ERR_WRONGLENGTH;
    case MidspanMib::Error::WrongValue:
        return SNMP_ERR_WRONGVALUE;
    case MidspanMib::Error::NoSuchInstance:
        return SNMP_NOSUCHINSTANCE;
    case MidspanMib::Error::NoSuchObject:
        return SNMP_NOSUCHOBJECT;
    case MidspanMib::Error::None:
        break;
    }
    return SNMP_ERR_NOERROR;
}

void setValue(netsnmp_variable_list* vb, const MidspanMib::Value& value)
{
    if (value.isText) {
        snmp_set_var_typed_value(vb, ASN_OCTET_STR, value.text.constData(), value.text.size());
    } else {
        const long integer = value.integer;
        snmp_set_var_typed_value(vb, ASN_INTEGER, &integer, sizeof integer);
    }
}

MidspanMib::Value valueOf(const netsnmp_variable_list* vb, bool& known)
{
    known = true;
    if (vb->type == ASN_INTEGER)
        return {false, *vb->val.integer, {}};
    if (vb->type == ASN_OCTET_STR)
        return {true, 0, QByteArray(reinterpret_cast<const char*>(vb->val.string), vb->val_len)};
    known = false;
    return {};
}

QByteArray dotted(const MidspanMib::Suffix& name)
{
    QByteArrayList parts;
    for (unsigned long part : name)
        parts << QByteArray::number(qulonglong(part));
    return parts.join('.');
}

using Send = int (*)(netsnmp_transport*, const void*, int, void**, int*);
Send realSend = nullptr;
bool dropAnswer = false; // the agent's thread only

// The agent's sends go through here, so that the answer to a set may be lost on purpose.
int sendUnlessDropped(netsnmp_transport* transport, const void* data, int size, void** opaque, int* length)
{
    if (std::exchange(dropAnswer, false))
        return size;
    return realSend(transport, data, size, opaque, length);
}

void dropThisAnswer(netsnmp_agent_request_info* reqinfo)
{
    netsnmp_transport* transport = snmp_sess_transport(snmp_sess_pointer(reqinfo->asp->session));
    if (!transport)
        return;
    if (transport->f_send != sendUnlessDropped) {
        realSend = transport->f_send;
        transport->f_send = sendUnlessDropped;
    }
    dropAnswer = true;
}

int handleRequests(netsnmp_mib_handler* handler, netsnmp_handler_registration*,
                   netsnmp_agent_request_info* reqinfo, netsnmp_request_info* requests)
{
    SnmpAgent* agent = static_cast<SnmpAgent*>(handler->myvoid);
    MidspanMib& mib = agent->mib();
    if (reqinfo->mode == MODE_GET && agent->model().maxObjects() > 0) {
        int count = 0;
        for (netsnmp_request_info* request = requests; request; request = request->next)
            ++count;
        if (count > agent->model().maxObjects()) {
            netsnmp_set_request_error(reqinfo, requests, SNMP_ERR_TOOBIG);
            return SNMP_ERR_NOERROR;
        }
    }
    for (netsnmp_request_info* request = requests; request; request = request->next) {
        if (request->processed)
            continue;
        netsnmp_variable_list* vb = request->requestvb;
        const auto name = suffixOf(vb);
        switch (reqinfo->mode) {
        case MODE_GET: {
            const MidspanMib::Read read =
                name ? mib.get(*name) : MidspanMib::Read{MidspanMib::Error::NoSuchObject, {}};
            if (name)
                agent->model().recordSnmp("get " + dotted(*name));
            const auto text = name ? agent->model().textAnswer(dotted(*name)) : std::nullopt;
            if (text)
                setValue(vb, MidspanMib::Value{true, 0, *text});
            else if (read.error == MidspanMib::Error::None)
                setValue(vb, read.value);
            else
                netsnmp_set_request_error(reqinfo, request, errorStatus(read.error));
            break;
        }
        case MODE_GETNEXT: {
            // Names before the subtree start at its first object.
            const auto following = mib.next(name.value_or(MidspanMib::Suffix{}));
            if (!following)
                break;
            std::vector<oid> full(enterprise, enterprise + enterpriseLength);
            full.insert(full.end(), following->begin(), following->end());
            snmp_set_var_objid(vb, full.data(), full.size());
            setValue(vb, mib.get(*following).value);
            break;
        }
        case MODE_SET_RESERVE1: {
            bool known = false;
            const MidspanMib::Value value = valueOf(vb, known);
            MidspanMib::Error error = name ? mib.checkSet(*name, value) : MidspanMib::Error::NoCreation;
            if (error == MidspanMib::Error::None && !known)
                error = MidspanMib::Error::WrongType;
            if (error == MidspanMib::Error::None && agent->model().setsRefused())
                error = MidspanMib::Error::NotWritable;
            if (error != MidspanMib::Error::None)
                netsnmp_set_request_error(reqinfo, request, errorStatus(error));
            else if (agent->model().setUnanswered(dotted(*name)))
                dropThisAnswer(reqinfo);
            break;
        }
        case MODE_SET_COMMIT: {
            bool known = false;
            const MidspanMib::Value value = valueOf(vb, known);
            agent->model().recordSnmp("set " + dotted(*name) + ' ' +
                                      (value.isText ? value.text : QByteArray::number(value.integer)));
            mib.set(*name, value);
            break;
        }
        default:
            break;
        }
    }
    return SNMP_ERR_NOERROR;
}

} // namespace

SnmpAgent::SnmpAgent(MidspanModel& model, Config config)
    : model_(model), mib_(model), config_(std::move(config))
{
}

SnmpAgent::~SnmpAgent()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
}

bool SnmpAgent::writeConfiguration()
{
    if (!privateDir_.isValid()) {
        error_ = QStringLiteral("cannot create a private directory: %1").arg(privateDir_.errorString());
        return false;
    }
    QFile file(privateDir_.filePath(QString::fromLatin1(appName) + ".conf"));
    if (!file.open(QIODevice::WriteOnly)) {
        error_ = file.errorString();
        return false;
    }
    // Each simulated midspan has its own engine ID, made from its address. A digest keeps it within
    // the 27 characters an engine ID text may have, whatever the address ("udp:127.0.60.1:16161").
    file.write("engineID midspan-" +
               QCryptographicHash::hash(config_.address, QCryptographicHash::Sha1).toHex().left(16) + "\n");
    // The read community may only read; the user must use authentication and privacy.
    file.write("rocommunity \"" + config_.readCommunity + "\"\n");
    file.write("rwcommunity \"" + config_.writeCommunity + "\"\n");
    if (!config_.user.isEmpty()) {
        file.write("createUser " + config_.user + " MD5 \"" + config_.authPassphrase + "\" DES \"" +
                   config_.privPassphrase + "\"\n");
        // Every context: clients may name one (Spanmon's is the user name).
        file.write("rwuser " + config_.user + " priv .1 *\n");
    }
    return true;
}

bool SnmpAgent::start()
{
    if (!writeConfiguration())
        return false;
    // The library reads configuration and MIB files from these paths only.
    const QByteArray dir = QFile::encodeName(privateDir_.path());
    setenv("SNMPCONFPATH", dir.constData(), 1);
    setenv("SNMP_PERSISTENT_DIR", dir.constData(), 1);
    setenv("MIBDIRS", dir.constData(), 1);
    setenv("MIBS", "", 1);
    std::promise<QString> started;
    std::future<QString> result = started.get_future();
    thread_ = std::thread(&SnmpAgent::run, this, std::move(started));
    error_ = result.get();
    return error_.isEmpty();
}

void SnmpAgent::run(std::promise<QString> started)
{
    const QByteArray dir = QFile::encodeName(privateDir_.path());
    snmp_enable_stderrlog();
    netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_ROLE, 0);
    netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_PORTS, config_.address.constData());
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_PERSISTENT_DIR, dir.constData());
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_CONFIGURATION_DIR, dir.constData());
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_DONT_LOG_TCPWRAPPERS_CONNECTS, 1);
    init_agent(appName);

    netsnmp_handler_registration* registration = netsnmp_create_handler_registration(
        "midspan", handleRequests, enterprise, enterpriseLength, HANDLER_CAN_RWRITE);
    registration->handler->myvoid = this;
    netsnmp_register_handler(registration);
    // The same objects in the context named after the SNMPv3 user, the context Spanmon asks for.
    if (!config_.user.isEmpty()) {
        netsnmp_handler_registration* inContext = netsnmp_create_handler_registration(
            "midspan-context", handleRequests, enterprise, enterpriseLength, HANDLER_CAN_RWRITE);
        inContext->handler->myvoid = this;
        inContext->contextName = strdup(config_.user.constData());
        netsnmp_register_handler(inContext);
    }

    init_snmp(appName);
    if (init_master_agent() != 0) {
        snmp_shutdown(appName);
        shutdown_agent();
        started.set_value(QStringLiteral("cannot open the SNMP agent on %1").arg(QString(config_.address)));
        return;
    }
    started.set_value({});

    while (!stopping_) {
        int fdCount = 0;
        int block = 0;
        fd_set fds;
        FD_ZERO(&fds);
        timeval timeout = pollInterval;
        snmp_select_info(&fdCount, &fds, &timeout, &block);
        if (block || timercmp(&timeout, &pollInterval, >))
            timeout = pollInterval;
        const int ready = select(fdCount, &fds, nullptr, nullptr, &timeout);
        if (ready > 0 && (model_.isRestarting() || model_.snmpStopped())) {
            // A stopped or restarting agent reads its requests and answers none of them.
            char discard[2048];
            for (int fd = 0; fd < fdCount; ++fd) {
                if (FD_ISSET(fd, &fds))
                    recv(fd, discard, sizeof discard, MSG_DONTWAIT);
            }
        } else if (ready > 0) {
            std::this_thread::sleep_for(model_.snmpDelay());
            snmp_read(&fds);
        } else if (ready == 0) {
            snmp_timeout();
        }
        run_alarms();
        netsnmp_check_outstanding_agent_requests();
    }
    snmp_shutdown(appName);
    shutdown_agent();
}
