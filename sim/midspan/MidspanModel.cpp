#include "MidspanModel.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace
{

struct ModelRow {
    std::uint8_t a;
    std::uint8_t b;
    const char* text;
};

// The older identification answers with one of these code pairs instead of a text.
constexpr std::array<ModelRow, 7> modelTable{{
    {0x08, 0x11, "POE528U-480-8-N"},
    {0x16, 0x11, "POE528U-480-16-N"},
    {0x24, 0x11, "POE528U-480-24-N"},
    {0x08, 0x10, "POE263U"},
    {0x01, 0x14, "POE914U-8HP"},
    {0x01, 0x15, "POE914U-16HP"},
    {0x49, 0xF1, "POE528U-480-24-N"},
}};

} // namespace

MidspanModel::MidspanModel(const Config& config)
    : ports_(config.ports), modelText_(config.modelText), legacyCode_(config.legacyCode),
      restartTime_(config.restartTime), steady_(config.steady)
{
    factory_.systemDescription = "Midspan";
    // A plausible rack: two connected ports, one still detecting, one switched off, over and over.
    for (int i = 0; i < ports_; ++i) {
        PortSettings settings;
        PortLoad load;
        switch (i % 4) {
        case 0:
        case 1:
            load.power = static_cast<std::uint16_t>(3000 + 250 * i);
            load.voltage = 480;
            load.current = static_cast<std::uint16_t>(load.power * 10 / load.voltage);
            load.resistance = 12500;
            load.classCurrent = i % 2 ? 280 : 105;
            break;
        case 2:
            load.status = statusDetecting;
            load.resistance = 4800;
            break;
        default:
            settings.enabled = false;
            load.resistance = 12450;
            load.classCurrent = 185;
            break;
        }
        factory_.ports.append(settings);
        loads_.append(load);
    }
    flash_ = factory_;
    live_ = factory_;
}

int MidspanModel::portCount() const
{
    return ports_;
}

int MidspanModel::reportedPortCount() const
{
    std::scoped_lock lock(mutex_);
    return reportedPorts_.value_or(ports_);
}

void MidspanModel::setReportedPortCount(std::optional<int> count)
{
    std::scoped_lock lock(mutex_);
    reportedPorts_ = count;
}

QByteArray MidspanModel::modelText() const
{
    if (!legacyCode_)
        return modelText_;
    for (const ModelRow& row : modelTable) {
        if (row.a == legacyCode_->first && row.b == legacyCode_->second)
            return row.text;
    }
    return "POE midspan";
}

std::optional<MidspanModel::LegacyCode> MidspanModel::legacyCode() const
{
    return legacyCode_;
}

std::optional<MidspanModel::LegacyCode> MidspanModel::legacyCodeForModel() const
{
    if (legacyCode_)
        return legacyCode_;
    for (const ModelRow& row : modelTable) {
        if (modelText_ == row.text)
            return LegacyCode{row.a, row.b};
    }
    return std::nullopt;
}

QByteArray MidspanModel::identity() const
{
    std::scoped_lock lock(mutex_);
    return identity_.value_or(modelText());
}

void MidspanModel::setIdentity(std::optional<QByteArray> text)
{
    std::scoped_lock lock(mutex_);
    identity_ = std::move(text);
}

std::uint8_t MidspanModel::firmware() const
{
    std::scoped_lock lock(mutex_);
    return firmware_;
}

std::uint8_t MidspanModel::hardware() const
{
    std::scoped_lock lock(mutex_);
    return hardware_;
}

void MidspanModel::setFirmware(std::uint8_t value)
{
    std::scoped_lock lock(mutex_);
    firmware_ = value;
}

void MidspanModel::installFirmware(const QList<QByteArray>& image, std::optional<std::uint8_t> revision)
{
    std::scoped_lock lock(mutex_);
    firmwareImage_ = image;
    if (revision)
        firmware_ = *revision;
}

QList<QByteArray> MidspanModel::firmwareImage() const
{
    std::scoped_lock lock(mutex_);
    return firmwareImage_;
}

void MidspanModel::setHardware(std::uint8_t value)
{
    std::scoped_lock lock(mutex_);
    hardware_ = value;
}

QByteArray MidspanModel::systemDescription() const
{
    std::scoped_lock lock(mutex_);
    return live_.systemDescription;
}

void MidspanModel::setSystemDescription(const QByteArray& text)
{
    std::scoped_lock lock(mutex_);
    live_.systemDescription = text.left(descriptionLength);
}

MidspanModel::PortReading MidspanModel::port(int index) const
{
    std::scoped_lock lock(mutex_);
    return portLocked(index);
}

MidspanModel::PortReading MidspanModel::portLocked(int index) const
{
    const PortSettings& settings = live_.ports.at(index);
    const PortLoad& load = loads_.at(index);
    PortReading r;
    r.enabled = settings.enabled;
    r.legacy = settings.legacy;
    r.description = settings.description;
    if (!settings.enabled) {
        r.status = statusDisabled;
        return r;
    }
    r.status = load.status;
    r.resistance = load.resistance;
    r.classCurrent = load.classCurrent;
    const bool live = load.status == statusConnected && !steady_;
    r.power = live ? fluctuate(load.power, index, load.power / 50) : load.power;
    r.voltage = live ? fluctuate(load.voltage, index, 3) : load.voltage;
    r.current = live ? fluctuate(load.current, index, load.current / 50) : load.current;
    return r;
}

std::uint16_t MidspanModel::fluctuate(std::uint16_t value, int index, int spread) const
{
    if (value == 0 || spread == 0)
        return value;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - born_).count();
    const long moved = std::lround(value + spread * std::sin(seconds * 0.7 + index));
    return static_cast<std::uint16_t>(std::clamp(moved, 0L, 0xFFFFL));
}

long MidspanModel::portField(int index, PortField field) const
{
    std::scoped_lock lock(mutex_);
    const PortReading r = portLocked(index);
    switch (field) {
    case PortField::Enabled:
        return r.enabled;
    case PortField::Legacy:
        return r.legacy;
    case PortField::Status:
        return r.status;
    case PortField::Power:
        return r.power;
    case PortField::Voltage:
        return r.voltage;
    case PortField::Current:
        return r.current;
    case PortField::Resistance:
        return r.resistance;
    case PortField::ClassCurrent:
        return r.classCurrent;
    case PortField::Description:
        break;
    }
    return 0;
}

void MidspanModel::setPortField(int index, PortField field, long value)
{
    std::scoped_lock lock(mutex_);
    PortLoad& load = loads_[index];
    const auto word = static_cast<std::uint16_t>(std::clamp(value, 0L, 0xFFFFL));
    switch (field) {
    case PortField::Enabled:
        live_.ports[index].enabled = value != 0;
        break;
    case PortField::Legacy:
        live_.ports[index].legacy = value != 0;
        break;
    case PortField::Status:
        load.status = static_cast<std::uint8_t>(std::clamp(value, 0L, 0xFFL));
        break;
    case PortField::Power:
        load.power = word;
        break;
    case PortField::Voltage:
        load.voltage = word;
        break;
    case PortField::Current:
        load.current = word;
        break;
    case PortField::Resistance:
        load.resistance = word;
        break;
    case PortField::ClassCurrent:
        load.classCurrent = word;
        break;
    case PortField::Description:
        break;
    }
}

void MidspanModel::setPortDescription(int index, const QByteArray& text)
{
    std::scoped_lock lock(mutex_);
    live_.ports[index].description = text.left(descriptionLength);
}

void MidspanModel::setPortEnabled(int index, bool on)
{
    std::scoped_lock lock(mutex_);
    enableLocked(index, on);
}

void MidspanModel::enableLocked(int index, bool on)
{
    if (live_.ports[index].enabled == on)
        return;
    live_.ports[index].enabled = on;
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - born_);
    portLog_.append(QByteArray::number(qint64(ms.count())) + " port " + QByteArray::number(index + 1) +
                    (on ? " on" : " off"));
}

void MidspanModel::setPortLegacy(int index, bool on)
{
    std::scoped_lock lock(mutex_);
    live_.ports[index].legacy = on;
}

void MidspanModel::setAllPortsEnabled(bool on)
{
    std::scoped_lock lock(mutex_);
    for (int index = 0; index < ports_; ++index)
        enableLocked(index, on);
}

void MidspanModel::saveToFlash()
{
    std::scoped_lock lock(mutex_);
    flash_ = live_;
}

void MidspanModel::restoreFactoryDefaults()
{
    std::scoped_lock lock(mutex_);
    live_ = factory_;
    flash_ = factory_;
}

void MidspanModel::reset()
{
    std::scoped_lock lock(mutex_);
    live_ = flash_;
    silentUntil_ = std::chrono::steady_clock::now() + restartTime_;
    ++restarts_;
}

bool MidspanModel::isRestarting() const
{
    std::scoped_lock lock(mutex_);
    return std::chrono::steady_clock::now() < silentUntil_;
}

int MidspanModel::restartCount() const
{
    std::scoped_lock lock(mutex_);
    return restarts_;
}

bool MidspanModel::snmpStopped() const
{
    std::scoped_lock lock(mutex_);
    return snmpStopped_;
}

void MidspanModel::setSnmpStopped(bool stopped)
{
    std::scoped_lock lock(mutex_);
    snmpStopped_ = stopped;
}

bool MidspanModel::setsRefused() const
{
    std::scoped_lock lock(mutex_);
    return setsRefused_;
}

void MidspanModel::setSetsRefused(bool refused)
{
    std::scoped_lock lock(mutex_);
    setsRefused_ = refused;
}

bool MidspanModel::setUnanswered(const QByteArray& object) const
{
    std::scoped_lock lock(mutex_);
    return unansweredSets_.contains(object);
}

void MidspanModel::leaveSetsUnanswered(const QByteArray& object)
{
    std::scoped_lock lock(mutex_);
    unansweredSets_.insert(object);
}

void MidspanModel::answerAllSets()
{
    std::scoped_lock lock(mutex_);
    unansweredSets_.clear();
}

int MidspanModel::maxObjects() const
{
    std::scoped_lock lock(mutex_);
    return maxObjects_;
}

void MidspanModel::setMaxObjects(int count)
{
    std::scoped_lock lock(mutex_);
    maxObjects_ = count;
}

std::optional<QByteArray> MidspanModel::textAnswer(const QByteArray& object) const
{
    std::scoped_lock lock(mutex_);
    const auto found = textAnswers_.constFind(object);
    return found == textAnswers_.cend() ? std::nullopt : std::optional<QByteArray>(*found);
}

void MidspanModel::setTextAnswer(const QByteArray& object, const QByteArray& text)
{
    std::scoped_lock lock(mutex_);
    textAnswers_.insert(object, text);
}

void MidspanModel::clearTextAnswers()
{
    std::scoped_lock lock(mutex_);
    textAnswers_.clear();
}

std::chrono::milliseconds MidspanModel::snmpDelay() const
{
    std::scoped_lock lock(mutex_);
    return snmpDelay_;
}

void MidspanModel::setSnmpDelay(std::chrono::milliseconds delay)
{
    std::scoped_lock lock(mutex_);
    snmpDelay_ = delay;
}

void MidspanModel::recordSnmp(const QByteArray& line)
{
    std::scoped_lock lock(mutex_);
    snmpLog_.append(line);
}

QList<QByteArray> MidspanModel::snmpLog() const
{
    std::scoped_lock lock(mutex_);
    return snmpLog_;
}

void MidspanModel::clearSnmpLog()
{
    std::scoped_lock lock(mutex_);
    snmpLog_.clear();
}

QList<QByteArray> MidspanModel::portLog() const
{
    std::scoped_lock lock(mutex_);
    return portLog_;
}

void MidspanModel::clearPortLog()
{
    std::scoped_lock lock(mutex_);
    portLog_.clear();
}

QByteArray MidspanModel::padded(const QByteArray& text)
{
    return text.leftJustified(descriptionLength, ' ', true);
}
