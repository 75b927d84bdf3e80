#include "core/DeviceView.h"

#include "core/ControlIds.h"
#include "core/DisplayFormats.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

DeviceView::DeviceView(DeviceState& state, Controls& controls) : state_(state), controls_(controls)
{
    power_.fill(PassReading::Unknown);
}

void DeviceView::setOperationsEnabled(bool enabled)
{
    for (int id : {ctl::EditSystemDescription, ctl::SystemReset, ctl::About, ctl::SaveToFlash,
                   ctl::FactoryDefaults, ctl::SearchPoe, ctl::Setting})
        controls_.setEnabled(id, enabled);
    controls_.setEnabled(ctl::SendPortControl, enabled);
    controls_.setEnabled(ctl::PowerCycle, enabled);
}

void DeviceView::lockControls()
{
    setOperationsEnabled(false);
    controls_.setEnabled(ctl::FirmwareDownload, false);
    for (int k = 1; k <= MaxPorts; ++k) {
        controls_.setEnabled(ctl::PortEditBase + k, false);
        controls_.setEnabled(ctl::PortEnableBase + k, false);
    }
}

void DeviceView::unlockControls()
{
    if (held_)
        return;
    setOperationsEnabled(true);
    controls_.setEnabled(ctl::FirmwareDownload, downloadOffered && downloadOffered());
    for (int k = 1; k <= state_.portCount; ++k) {
        controls_.setEnabled(ctl::PortEditBase + k, true);
        controls_.setEnabled(ctl::PortEnableBase + k, true);
    }
}

void DeviceView::clearDeviceDisplay(bool sessionEnded)
{
    controls_.setText(ctl::FirmwareRevision, QStringLiteral("FW Rev"));
    controls_.setText(ctl::HardwareRevision, QStringLiteral("PoE ID Rev"));
    controls_.setText(ctl::PortNumber, QString());
    controls_.setText(ctl::SystemDescription, QString());
    for (int k = 1; k <= state_.portCount; ++k) {
        controls_.setLamp(ctl::PortLampBase + k, Lamp::NoData);
        controls_.setText(ctl::PortDescriptionBase + k, QString());
        controls_.setText(ctl::DiscoveryRBase + k, QStringLiteral("0"));
        controls_.setText(ctl::CurrentBase + k, QStringLiteral("0"));
        controls_.setText(ctl::PowerBase + k, QStringLiteral("0"));
        controls_.setText(ctl::VoltageBase + k, QStringLiteral("0.0"));
        controls_.setText(ctl::ClassBase + k, QStringLiteral("---"));
    }
    controls_.setText(ctl::TotalPower, QString());
    power_.fill(PassReading::Unknown);
    for (PassObserver* observer : observers_)
        observer->displayCleared(sessionEnded);
}

void DeviceView::showProgress(const QString& text)
{
    controls_.setText(ctl::ProgressText, text);
    controls_.setVisible(ctl::ProgressDialog, true);
}

void DeviceView::setProgress(int maximum, int position)
{
    controls_.setRange(ctl::ProgressBar, 0, maximum);
    controls_.setValue(ctl::ProgressBar, position);
}

void DeviceView::setProgressPosition(int position)
{
    controls_.setValue(ctl::ProgressBar, position);
}

void DeviceView::hideProgress()
{
    // Hiding a hidden window is not free, and a network session asks at every exchange.
    if (progressHeld_ || !controls_.isVisible(ctl::ProgressDialog))
        return;
    controls_.setVisible(ctl::ProgressCancel, false);
    controls_.setVisible(ctl::ProgressDialog, false);
}

void DeviceView::setPortLamp(int port, int status)
{
    if (port < 1 || port > MaxPorts)
        return;
    controls_.setLamp(ctl::PortLampBase + port, lampForStatus(status));
    const PassReading reading{port, cellNumber(ctl::PowerBase + port), cellNumber(ctl::VoltageBase + port),
                              cellNumber(ctl::CurrentBase + port), status};
    power_[std::size_t(port)] = reading.powerMw;
    if (port == state_.portCount) // the last port of the pass
        showTotalPower();
    for (PassObserver* observer : observers_)
        observer->portRead(reading);
}

double DeviceView::cellNumber(int id) const
{
    bool ok = false;
    const double value = QLocale::c().toDouble(controls_.text(id).trimmed(), &ok);
    return ok ? value : PassReading::Unknown;
}

void DeviceView::showTotalPower()
{
    double milliwatts = 0;
    for (int p = 1; p <= state_.portCount; ++p)
        if (std::isfinite(power_[std::size_t(p)]))
            milliwatts += power_[std::size_t(p)];
    controls_.setText(ctl::TotalPower, QString::asprintf("%.1f W", milliwatts / 1000));
}

void DeviceView::showPowerLimits(const QString& model)
{
    const PowerLimits limits = powerLimits(model, state_.portCount);
    for (int p = 1; p <= MaxPorts; ++p)
        if (limits[p])
            controls_.setText(ctl::ClassBase + p, *limits[p]);
}

void DeviceView::showFirmwareRevision(const QString& text)
{
    controls_.setText(ctl::FirmwareRevision, text);
}

void DeviceView::showHardwareRevision(const QString& text)
{
    controls_.setText(ctl::HardwareRevision, text);
}

void DeviceView::showPortCount(const QString& text)
{
    controls_.setText(ctl::PortNumber, text);
}

void DeviceView::showSystemDescription(const QString& text)
{
    controls_.setText(ctl::SystemDescription, text);
}

void DeviceView::showLegacyDetection(bool on)
{
    controls_.setChecked(ctl::LegacyDetect, on);
    controls_.setVisible(ctl::LegacyEnabledNote, on);
}

void DeviceView::showPortEnabled(int port, bool enabled)
{
    if (port >= 1 && port <= MaxPorts)
        controls_.setChecked(ctl::PortEnableBase + port, enabled);
}

void DeviceView::showPortDescription(int port, const QString& text)
{
    if (port >= 1 && port <= MaxPorts)
        controls_.setText(ctl::PortDescriptionBase + port, text);
}

void DeviceView::showPortValue(int port, PortCell cell, const QString& text)
{
    if (port < 1 || port > MaxPorts)
        return;
    static constexpr int Base[] = {ctl::PowerBase, ctl::VoltageBase, ctl::CurrentBase, ctl::DiscoveryRBase,
                                   ctl::ClassCurrentBase};
    controls_.setText(Base[int(cell)] + port, text);
}

void DeviceView::enableSearch(bool enabled)
{
    controls_.setEnabled(ctl::SearchPoe, enabled);
}

void DeviceView::enableSettings(bool enabled)
{
    controls_.setEnabled(ctl::Setting, enabled);
}

void DeviceView::showSearchProgress(int position, int maximum)
{
    controls_.setVisible(ctl::Setting, false);
    controls_.setVisible(ctl::SearchPoe, false);
    controls_.setRange(ctl::SearchProgress, 0, maximum);
    controls_.setValue(ctl::SearchProgress, position);
    controls_.setVisible(ctl::SearchProgress, true);
}

void DeviceView::hideSearchProgress()
{
    controls_.setVisible(ctl::SearchProgress, false);
    controls_.setVisible(ctl::Setting, true);
    controls_.setVisible(ctl::SearchPoe, true);
}

void DeviceView::cancelSearchProgress()
{
    controls_.setVisible(ctl::SearchProgress, false);
    controls_.setVisible(ctl::SearchPoe, true);
}

void DeviceView::showNetworkControls()
{
    controls_.setVisible(ctl::ComPortCombo, false);
    controls_.setVisible(ctl::Setting, true);
    controls_.setFocus(ctl::Setting);
    controls_.setEnabled(ctl::SearchPoe, true);
    controls_.setEnabled(ctl::Setting, true);
}

void DeviceView::focusSettings()
{
    controls_.setFocus(ctl::Setting);
}

void DeviceView::enablePages(bool enabled)
{
    controls_.setEnabled(ctl::Tabs, enabled);
}

void DeviceView::addFoundEntry(const QString& entry)
{
    // In order without regard to case; an entry goes after its equals.
    const auto row =
        std::upper_bound(found_.begin(), found_.end(), entry, [](const QString& a, const QString& b) {
            return QString::compare(a, b, Qt::CaseInsensitive) < 0;
        });
    insertFoundEntry(int(row - found_.begin()), entry);
}

void DeviceView::insertFoundEntry(int row, const QString& entry)
{
    row = std::clamp(row, 0, int(found_.size()));
    found_.insert(row, entry);
    controls_.insertItem(ctl::FoundDevices, row, entry);
}

void DeviceView::removeFoundEntry(int row)
{
    if (row < 0 || row >= found_.size())
        return;
    found_.removeAt(row);
    controls_.removeItem(ctl::FoundDevices, row);
}

void DeviceView::clearFoundEntries()
{
    found_.clear();
    controls_.clearItems(ctl::FoundDevices);
}

int DeviceView::foundRow() const
{
    return controls_.currentIndex(ctl::FoundDevices);
}

void DeviceView::highlightFoundRow(int row)
{
    controls_.setCurrentIndex(ctl::FoundDevices, row);
}

void DeviceView::showComPortList()
{
    controls_.setVisible(ctl::ComPortCombo, true);
    controls_.setVisible(ctl::Setting, false);
    focusComPortList();
}

void DeviceView::focusComPortList()
{
    controls_.setFocus(ctl::ComPortCombo);
}

void DeviceView::showComPorts(const QStringList& ports)
{
    controls_.clearItems(ctl::ComPortCombo);
    for (const QString& port : ports)
        controls_.addItem(ctl::ComPortCombo, port);
}

void DeviceView::showComPortChoice(int row)
{
    controls_.setCurrentIndex(ctl::ComPortCombo, row);
}

void DeviceView::offerFirmwareDownload()
{
    controls_.setEnabled(ctl::FirmwareDownload, true);
}

void DeviceView::showDownloadUnderway()
{
    controls_.setVisible(ctl::FirmwareDownload, false);
}

void DeviceView::blinkDownloadIndicator(bool lit)
{
    controls_.setVisible(ctl::DownloadIndicator, lit);
}

void DeviceView::showDownloadEnded()
{
    controls_.setVisible(ctl::DownloadIndicator, false);
    controls_.setVisible(ctl::FirmwareDownload, true);
}

void DeviceView::showDownloadProgress(int sent, int total)
{
    controls_.setText(ctl::SearchProgress, QStringLiteral("%1 / %2 lines").arg(sent).arg(total));
    controls_.setRange(ctl::SearchProgress, 0, total);
    controls_.setValue(ctl::SearchProgress, sent);
    controls_.setVisible(ctl::SearchProgress, true);
}

void DeviceView::hideDownloadProgress()
{
    controls_.setVisible(ctl::SearchProgress, false);
    controls_.setText(ctl::SearchProgress, QString());
}
