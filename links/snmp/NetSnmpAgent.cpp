#include "links/snmp/SnmpAgent.h"

#include <QDir>
#include <QMutex>
#include <QStringList>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <list>
#include <map>
#include <sys/select.h>
#include <vector>

// net-snmp needs its configuration header first.
#include <net-snmp/net-snmp-config.h>

#include <net-snmp/net-snmp-includes.h>

namespace
{

constexpr char appName[] = "spanmon";

// Making a key from a pass phrase hashes a megabyte; the keys of the pass phrases in use are
// kept until forgetUsers().
QMutex keyMutex;
std::map<QByteArray, QByteArray> keyCache;

bool makeKey(const QByteArray& passphrase, u_char* key, size_t* length)
{
    if (passphrase.size() < USM_LENGTH_P_MIN)
        return false;
    QMutexLocker lock(&keyMutex);
    auto known = keyCache.find(passphrase);
    if (known == keyCache.end()) {
        QByteArray phrase = passphrase;
        u_char made[USM_AUTH_KU_LEN];
        size_t madeLength = sizeof made;
        if (generate_Ku(usmHMACMD5AuthProtocol, USM_AUTH_PROTO_MD5_LEN,
                        reinterpret_cast<u_char*>(phrase.data()), size_t(phrase.size()), made,
                        &madeLength) != SNMPERR_SUCCESS)
            return false;
        known =
            keyCache
                .emplace(passphrase, QByteArray(reinterpret_cast<const char*>(made), qsizetype(madeLength)))
                .first;
    }
    if (size_t(known->second.size()) > *length)
        return false;
    std::memcpy(key, known->second.constData(), size_t(known->second.size()));
    *length = size_t(known->second.size());
    return true;
}

std::optional<std::vector<oid>> parseOid(const QString& text)
{
    QStringView digits(text);
    if (digits.startsWith(u'.'))
        digits = digits.mid(1);
    std::vector<oid> name;
    for (const QStringView part : digits.split(u'.')) {
        bool ok = false;
        const qulonglong number = part.toULongLong(&ok);
        if (!ok || number > 0xFFFFFFFFull || part.startsWith(u'+'))
            return std::nullopt;
        name.push_back(oid(number));
    }
    if (name.size() < 2 || name.size() > MAX_OID_LEN)
        return std::nullopt;
    return name;
}

QByteArray dottedOid(const oid* name, size_t length)
{
    QByteArray text;
    for (size_t i = 0; i < length; ++i) {
        if (i)
            text += '.';
        text += QByteArray::number(quint64(name[i]));
    }
    return text;
}

SnmpValue valueOf(const netsnmp_variable_list* vb)
{
    using S = SnmpValue::Syntax;
    const auto bytes = [vb] {
        return QByteArray(reinterpret_cast<const char*>(vb->val.string), vb->val_len);
    };
    const auto unsignedNumber = [vb](S syntax) {
        return SnmpValue{syntax, qint64(quint32(*vb->val.integer)), {}};
    };
    switch (vb->type) {
    case ASN_INTEGER:
        return SnmpValue::integer(*vb->val.integer);
    case ASN_OCTET_STR:
        return SnmpValue::text(bytes());
    case ASN_OBJECT_ID:
        return {S::ObjectId, 0, dottedOid(vb->val.objid, vb->val_len / sizeof(oid))};
    case ASN_IPADDRESS:
        return {S::IpAddress, 0, bytes()};
    case ASN_COUNTER:
        return unsignedNumber(S::Counter32);
    case ASN_GAUGE:
        return unsignedNumber(S::Gauge32);
    case ASN_TIMETICKS:
        return unsignedNumber(S::TimeTicks);
    case ASN_COUNTER64:
        return {S::Counter64,
                qint64((quint64(vb->val.counter64->high & 0xFFFFFFFF) << 32) |
                       (vb->val.counter64->low & 0xFFFFFFFF)),
                {}};
    case ASN_OPAQUE:
        return {S::Opaque, 0, bytes()};
    case SNMP_NOSUCHOBJECT:
        return {S::NoSuchObject, 0, {}};
    case SNMP_NOSUCHINSTANCE:
        return {S::NoSuchInstance, 0, {}};
    case SNMP_ENDOFMIBVIEW:
        return {S::EndOfMibView, 0, {}};
    default:
        return {S::Null, 0, {}};
    }
}

// Adds the value to a request; false for values that cannot be written.
bool addValue(netsnmp_pdu* pdu, const std::vector<oid>& name, const SnmpValue& value)
{
    using S = SnmpValue::Syntax;
    const auto add = [&](u_char type, const void* data, size_t length) {
        return snmp_pdu_add_variable(pdu, name.data(), name.size(), type, data, length) != nullptr;
    };
    const auto addUnsigned = [&](u_char type) {
        const u_long number = u_long(quint32(value.number));
        return add(type, &number, sizeof number);
    };
    switch (value.syntax) {
    case S::Integer: {
        const long number = long(value.number);
        return add(ASN_INTEGER, &number, sizeof number);
    }
    case S::OctetString:
        return add(ASN_OCTET_STR, value.octets.constData(), size_t(value.octets.size()));
    case S::IpAddress:
        return value.octets.size() == 4 && add(ASN_IPADDRESS, value.octets.constData(), 4);
    case S::Opaque:
        return add(ASN_OPAQUE, value.octets.constData(), size_t(value.octets.size()));
    case S::Counter32:
        return addUnsigned(ASN_COUNTER);
    case S::Gauge32:
        return addUnsigned(ASN_GAUGE);
    case S::TimeTicks:
        return addUnsigned(ASN_TIMETICKS);
    case S::Counter64: {
        counter64 number{};
        number.high = u_long(quint64(value.number) >> 32);
        number.low = u_long(quint64(value.number) & 0xFFFFFFFF);
        return add(ASN_COUNTER64, &number, sizeof number);
    }
    case S::ObjectId: {
        const auto objectId = parseOid(QString::fromLatin1(value.octets));
        return objectId && add(ASN_OBJECT_ID, objectId->data(), objectId->size() * sizeof(oid));
    }
    case S::Null:
    case S::NoSuchObject:
    case S::NoSuchInstance:
    case S::EndOfMibView:
        break;
    }
    return false;
}

// Starts the library, on the thread of its first use: in the program the worker's first
// exchange, so that the window comes up without waiting for it.
void startLibrary(const QString& persistentFolder)
{
    QDir(persistentFolder).mkdir(QStringLiteral("cert_indexes"));
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_PERSISTENT_DIR, qPrintable(persistentFolder));
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
    netsnmp_set_mib_directory("");
    init_snmp(appName);
}

// What every session of a target shares: the agent and, in v2c, the read community with the
// request time-outs. The settings point into `peer` and `community`.
void prepareSession(netsnmp_session& settings, const SnmpTarget& target, QByteArray& peer,
                    QByteArray& community)
{
    snmp_sess_init(&settings);
    peer = "udp:" + target.address.toLatin1() + ':' + QByteArray::number(target.port);
    settings.peername = peer.data();
    community = target.readCommunity;
    if (target.v3)
        return;
    settings.version = SNMP_VERSION_2c;
    settings.community = reinterpret_cast<u_char*>(community.data());
    settings.community_len = size_t(community.size());
    settings.timeout = long(std::chrono::microseconds(target.timeout).count());
    settings.retries = target.retries;
}

// One target of SnmpClient::getFromEach while its request is out.
struct PendingGet {
    std::size_t index = 0;
    void* session = nullptr;
    bool done = false;
    bool answered = false;
    std::optional<SnmpValue> value;
};

int onPendingGetDone(int operation, netsnmp_session*, int, netsnmp_pdu* pdu, void* magic)
{
    // The library also tells of its retransmissions; they end nothing.
    if (operation == NETSNMP_CALLBACK_OP_RESEND)
        return 1;
    auto* pending = static_cast<PendingGet*>(magic);
    pending->done = true;
    if (operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE && pdu) {
        pending->answered = true;
        if (pdu->command == SNMP_MSG_RESPONSE && pdu->errstat == SNMP_ERR_NOERROR && pdu->variables)
            pending->value = valueOf(pdu->variables);
    }
    return 1;
}

// SNMPv3 engine discovery speaks as a user without a name and without keys; the library makes
// that user only for the discovery it runs itself, which waits for its answer.
void addDiscoveryUser()
{
    if (usm_get_user(nullptr, 0, const_cast<char*>("")))
        return;
    auto* user = static_cast<struct usmUser*>(std::calloc(1, sizeof(struct usmUser)));
    user->name = strdup("");
    user->secName = strdup("");
    user->authProtocolLen = OID_LENGTH(usmNoAuthProtocol);
    user->authProtocol = snmp_duplicate_objid(usmNoAuthProtocol, user->authProtocolLen);
    user->privProtocolLen = OID_LENGTH(usmNoPrivProtocol);
    user->privProtocol = snmp_duplicate_objid(usmNoPrivProtocol, user->privProtocolLen);
    usm_add_user(user);
}

// A session for one request of getFromEach: the get itself in v2c, the engine discovery in SNMPv3.
void* openPendingSession(const SnmpTarget& target)
{
    netsnmp_session settings;
    QByteArray peer;
    QByteArray community;
    prepareSession(settings, target, peer, community);
    if (target.v3) {
        settings.version = SNMP_VERSION_3;
        settings.securityModel = USM_SEC_MODEL_NUMBER;
        settings.securityLevel = SNMP_SEC_LEVEL_NOAUTH;
        settings.securityName = const_cast<char*>("");
        // With no engine ID the library would stop to discover it before sending. Any other ID
        // than the agent's makes the agent report its own, which is all the discovery asks.
        static u_char unknownEngine[] = {0x80, 0, 0, 0, 0};
        settings.securityEngineID = unknownEngine;
        settings.securityEngineIDLen = sizeof unknownEngine;
        settings.flags |= SNMP_FLAGS_DONT_PROBE;
        settings.timeout = long(std::chrono::microseconds(target.discoveryTimeout).count());
        settings.retries = 0;
    }
    return snmp_sess_open(&settings);
}

netsnmp_pdu* pendingRequest(const SnmpTarget& target, const std::vector<oid>& name)
{
    netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GET);
    if (target.v3) {
        // The discovery request: no object, no user; the agent reports its engine ID.
        request->version = SNMP_VERSION_3;
        request->securityName = strdup("");
        request->securityNameLen = 0;
        request->securityLevel = SNMP_SEC_LEVEL_NOAUTH;
        request->securityModel = USM_SEC_MODEL_NUMBER;
    } else {
        snmp_add_null_var(request, name.data(), name.size());
    }
    return request;
}

// One session with one agent (SnmpClient).
class NetSnmpAgent final : public SnmpAgent
{
public:
    explicit NetSnmpAgent(const SnmpTarget& target);
    ~NetSnmpAgent() override;
    NetSnmpAgent(const NetSnmpAgent&) = delete;
    NetSnmpAgent& operator=(const NetSnmpAgent&) = delete;

    bool isOpen() const override { return session_ != nullptr; }
    QByteArray engineId() const override { return engineId_; }
    QString errorText() const override { return error_; }
    std::optional<std::vector<SnmpValue>> get(const QStringList& oids) override;
    bool set(const QString& oid, const SnmpValue& value) override;
    bool answered() const override { return answered_; }

private:
    void takeError();

    SnmpTarget target_;
    void* session_ = nullptr;
    QByteArray engineId_;
    QString error_;
    bool answered_ = false;
};

NetSnmpAgent::NetSnmpAgent(const SnmpTarget& target) : target_(target)
{
    netsnmp_session settings;
    QByteArray peer;
    QByteArray community;
    prepareSession(settings, target, peer, community);
    QByteArray user = target.user;
    if (target.v3) {
        settings.version = SNMP_VERSION_3;
        settings.securityName = user.data();
        settings.securityNameLen = size_t(user.size());
        settings.contextName = user.data();
        settings.contextNameLen = size_t(user.size());
        settings.securityModel = USM_SEC_MODEL_NUMBER;
        settings.securityLevel = SNMP_SEC_LEVEL_AUTHPRIV;
        settings.securityAuthProto = usmHMACMD5AuthProtocol;
        settings.securityAuthProtoLen = USM_AUTH_PROTO_MD5_LEN;
        settings.securityPrivProto = usmDESPrivProtocol;
        settings.securityPrivProtoLen = USM_PRIV_PROTO_DES_LEN;
        settings.securityAuthKeyLen = USM_AUTH_KU_LEN;
        settings.securityPrivKeyLen = USM_PRIV_KU_LEN;
        if (!makeKey(target.authPassphrase, settings.securityAuthKey, &settings.securityAuthKeyLen) ||
            !makeKey(target.privPassphrase, settings.securityPrivKey, &settings.securityPrivKeyLen)) {
            error_ = QStringLiteral("SNMPv3 pass phrases need at least 8 characters");
            return;
        }
        settings.timeout = long(std::chrono::microseconds(target.discoveryTimeout).count());
        settings.retries = 0;
    }
    session_ = snmp_sess_open(&settings);
    if (!session_) {
        char* text = nullptr;
        int libraryError = 0;
        int systemError = 0;
        snmp_error(&settings, &systemError, &libraryError, &text);
        error_ = QString::fromLocal8Bit(text);
        std::free(text);
        return;
    }
    netsnmp_session* live = snmp_sess_session(session_);
    if (target.v3) {
        // The library would ask for the engine ID with the first request, on that request's
        // time-outs; asked here, the discovery has a time-out of its own.
        auto* handle = static_cast<struct session_list*>(session_);
        const snmp_secmod_def* usm = find_sec_mod(USM_SEC_MODEL_NUMBER);
        if (usm && usm->probe_engineid && usm->probe_engineid(handle, live) == SNMPERR_SUCCESS &&
            live->securityEngineIDLen > 0 && usm->post_probe_engineid)
            usm->post_probe_engineid(handle, live);
        engineId_ = QByteArray(reinterpret_cast<const char*>(live->securityEngineID),
                               qsizetype(live->securityEngineIDLen));
        live->timeout = long(std::chrono::microseconds(target.timeout).count());
        live->retries = target.retries;
    }
}

NetSnmpAgent::~NetSnmpAgent()
{
    if (session_)
        snmp_sess_close(session_);
}

void NetSnmpAgent::takeError()
{
    char* text = nullptr;
    int libraryError = 0;
    int systemError = 0;
    snmp_sess_error(session_, &systemError, &libraryError, &text);
    error_ = QString::fromLocal8Bit(text);
    std::free(text);
}

std::optional<std::vector<SnmpValue>> NetSnmpAgent::get(const QStringList& oids)
{
    answered_ = false;
    std::vector<std::vector<oid>> names;
    for (const QString& text : oids) {
        auto name = parseOid(text);
        if (!name) {
            error_ = QStringLiteral("not a numeric object identifier: %1").arg(text);
            return std::nullopt;
        }
        names.push_back(std::move(*name));
    }
    if (!session_ || names.empty())
        return std::nullopt;
    netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GET);
    for (const auto& name : names)
        snmp_add_null_var(request, name.data(), name.size());
    netsnmp_pdu* response = nullptr;
    const int status = snmp_sess_synch_response(session_, request, &response);
    answered_ = status != STAT_TIMEOUT;
    std::optional<std::vector<SnmpValue>> values;
    bool tooBig = false;
    if (status != STAT_SUCCESS) {
        takeError();
    } else if (!response || response->errstat != SNMP_ERR_NOERROR || !response->variables) {
        tooBig = response && response->errstat == SNMP_ERR_TOOBIG;
        error_ = QString::fromLatin1(snmp_errstring(response ? int(response->errstat) : SNMP_ERR_GENERR));
    } else {
        values.emplace();
        for (const netsnmp_variable_list* vb = response->variables; vb; vb = vb->next_variable)
            values->push_back(valueOf(vb));
        if (values->size() != names.size()) {
            error_ = QStringLiteral("%1 values for %2 objects").arg(values->size()).arg(names.size());
            values.reset();
        }
    }
    if (response)
        snmp_free_pdu(response);
    if (tooBig && oids.size() > 1) {
        const qsizetype half = oids.size() / 2;
        auto first = get(oids.first(half));
        auto second = first ? get(oids.sliced(half)) : std::nullopt;
        if (!second)
            return std::nullopt;
        first->insert(first->end(), second->begin(), second->end());
        return first;
    }
    return values;
}

bool NetSnmpAgent::set(const QString& oidText, const SnmpValue& value)
{
    answered_ = false;
    const auto name = parseOid(oidText);
    if (!name || !session_)
        return false;
    netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_SET);
    if (!addValue(request, *name, value)) {
        snmp_free_pdu(request);
        error_ = QStringLiteral("the value cannot be written");
        return false;
    }
    if (!target_.v3) {
        // A community given with the request replaces the session's (read) community.
        const QByteArray& community = target_.writeCommunity;
        request->community =
            static_cast<u_char*>(std::malloc(size_t(std::max<qsizetype>(community.size(), 1))));
        std::memcpy(request->community, community.constData(), size_t(community.size()));
        request->community_len = size_t(community.size());
    }
    netsnmp_pdu* response = nullptr;
    const int status = snmp_sess_synch_response(session_, request, &response);
    answered_ = status != STAT_TIMEOUT;
    bool accepted = false;
    if (status != STAT_SUCCESS)
        takeError();
    else if (!response || response->errstat != SNMP_ERR_NOERROR)
        error_ = QString::fromLatin1(snmp_errstring(response ? int(response->errstat) : SNMP_ERR_GENERR));
    else
        accepted = true;
    if (response)
        snmp_free_pdu(response);
    return accepted;
}

// The library as a whole, started by its making.
class NetSnmpEngine final : public SnmpEngine
{
public:
    explicit NetSnmpEngine(const QString& persistentFolder) { startLibrary(persistentFolder); }

    SnmpAgent* open(const SnmpTarget& target) override { return new NetSnmpAgent(target); }
    std::vector<std::optional<SnmpValue>> getFromEach(const std::vector<SnmpTarget>& targets,
                                                      const QString& oid, int inFlight) override;
    void setLocalEngineId(const QByteArray& engineId) override;
    void forgetUsers() override;
};

void NetSnmpEngine::setLocalEngineId(const QByteArray& engineId)
{
    set_exact_engineID(reinterpret_cast<const u_char*>(engineId.constData()), size_t(engineId.size()));
}

void NetSnmpEngine::forgetUsers()
{
    {
        QMutexLocker lock(&keyMutex);
        keyCache.clear();
    }
    struct usmUser* user = usm_get_userList();
    while (user) {
        struct usmUser* next = user->next;
        usm_remove_user(user);
        usm_free_user(user);
        user = next;
    }
}

std::vector<std::optional<SnmpValue>> NetSnmpEngine::getFromEach(const std::vector<SnmpTarget>& targets,
                                                                 const QString& oidText, int inFlight)
{
    std::vector<std::optional<SnmpValue>> values(targets.size());
    std::vector<bool> answered(targets.size());
    const auto name = parseOid(oidText);
    if (!name)
        return values;
    if (std::any_of(targets.begin(), targets.end(), [](const SnmpTarget& t) { return t.v3; }))
        addDiscoveryUser();

    // The library's single-session calls, one session per target, all served by one select().
    std::list<PendingGet> out; // the callbacks hold their element's address
    std::size_t next = 0;
    while (next < targets.size() || !out.empty()) {
        while (next < targets.size() && int(out.size()) < std::max(inFlight, 1)) {
            const std::size_t index = next++;
            void* session = openPendingSession(targets[index]);
            if (!session)
                continue;
            PendingGet& pending = out.emplace_back();
            pending.index = index;
            pending.session = session;
            netsnmp_pdu* request = pendingRequest(targets[index], *name);
            if (!snmp_sess_async_send(session, request, onPendingGetDone, &pending)) {
                snmp_free_pdu(request);
                pending.done = true;
            }
        }
        fd_set readable;
        FD_ZERO(&readable);
        int fdCount = 0;
        int block = 1;
        timeval wait{};
        for (PendingGet& pending : out) {
            if (!pending.done)
                snmp_sess_select_info(pending.session, &fdCount, &readable, &wait, &block);
        }
        if (block)
            wait = {0, 0};
        const int ready = fdCount > 0 ? ::select(fdCount, &readable, nullptr, nullptr, &wait) : 0;
        for (PendingGet& pending : out) {
            if (!pending.done && ready > 0)
                snmp_sess_read(pending.session, &readable);
            if (!pending.done)
                snmp_sess_timeout(pending.session);
        }
        for (auto it = out.begin(); it != out.end();) {
            if (!it->done) {
                ++it;
                continue;
            }
            snmp_sess_close(it->session);
            answered[it->index] = it->answered;
            values[it->index] = std::move(it->value);
            it = out.erase(it);
        }
    }

    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (targets[i].v3 && answered[i]) {
            NetSnmpAgent agent(targets[i]);
            if (auto value = agent.get(QStringList{oidText}))
                values[i] = std::move(value->front());
        }
    }
    return values;
}

} // namespace

extern "C" Q_DECL_EXPORT SnmpEngine* spanmon_create_snmp_engine(const QString& persistentFolder)
{
    static NetSnmpEngine engine(persistentFolder);
    return &engine;
}
static_assert(std::is_same_v<decltype(&spanmon_create_snmp_engine), CreateSnmpEngine>);
