#pragma once

#include "core/Controls.h"
#include "core/DeviceState.h"
#include "core/PassObserver.h"

#include <QStringList>

#include <functional>
#include <vector>

// The window operations every session and page uses: locking and unlocking the operation
// controls, resetting the device display, the progress display, lamps and class limits. They
// act on controls by identifier, so they work the same on the real window and on a fake.
//
// Both links show a port's lamp right after its measured values: setPortLamp is where a pass
// is seen to have read a port. The unit's total power is shown from there, and observers are
// told of each reading.
class DeviceView
{
public:
    DeviceView(DeviceState& state, Controls& controls);

    void lockControls();
    void unlockControls();
    // While held, unlockControls leaves the controls locked: an operation of several link
    // writes (a power cycle) keeps them locked from its first write to its end.
    void holdLocked(bool held) { held_ = held; }
    // Resets the system panel and the ports 1..portCount of the last session; sessionEnded: no
    // session runs any more (otherwise the unit is reset under a running session).
    void clearDeviceDisplay(bool sessionEnded);

    void showProgress(const QString& text);
    void setProgress(int maximum, int position);
    void setProgressPosition(int position);
    void hideProgress();
    // While held, hideProgress leaves the progress in sight: a power-cycle's count-down (and its
    // Cancel) stays up whatever the passes of the link do meanwhile.
    void holdProgress(bool held) { progressHeld_ = held; }

    // What a link has read of the unit, in the device's own words.
    void showFirmwareRevision(const QString& text);
    void showHardwareRevision(const QString& text);
    void showPortCount(const QString& text);
    void showSystemDescription(const QString& text);
    // The legacy tick box and, while legacy detection is on, its note.
    void showLegacyDetection(bool on);
    void showPortEnabled(int port, bool enabled);
    void showPortDescription(int port, const QString& text);
    enum class PortCell { Power, Voltage, Current, DetectionResistance, ClassCurrent };
    void showPortValue(int port, PortCell cell, const QString& text);

    // "Search PoE" and "Setting"; while a search runs its progress bar stands in their place.
    void enableSearch(bool enabled);
    void enableSettings(bool enabled);
    void showSearchProgress(int position, int maximum);
    void hideSearchProgress();
    // A search stopped because the operator chose the other link: "Search PoE" comes back,
    // "Setting" stays for the chosen link to show.
    void cancelSearchProgress();
    // The network link is chosen: its "Setting" in place of the COM port choice, with the focus.
    void showNetworkControls();
    void focusSettings();
    // The tab pages of the ports.
    void enablePages(bool enabled);

    // The found-device list: one entry per unit the chosen link found. The list is held here and
    // drawn into the window, never read back from it.
    const QStringList& foundEntries() const { return found_; }
    // In order without regard to case, after its equals.
    void addFoundEntry(const QString& entry);
    void insertFoundEntry(int row, const QString& entry);
    void removeFoundEntry(int row);
    void clearFoundEntries();
    // The highlighted row; -1 for none.
    int foundRow() const;
    void highlightFoundRow(int row);

    // Lamp of one port from its status code; the port's cells hold what the pass read.
    void setPortLamp(int port, int status);
    // Fills the "Determined Class" cells with the class-0 power limits of the model.
    void showPowerLimits(const QString& model);

    // The serial link's own controls: the COM port list stands in place of "Setting".
    void showComPortList();
    void focusComPortList();
    // The COM ports the serial link found; the operator picks one of them.
    void showComPorts(const QStringList& ports);
    void showComPortChoice(int row);

    // The firmware download: "Firmware Download" gives way to the blinking indicator while it
    // runs, and the search progress bar counts the lines sent.
    void offerFirmwareDownload();
    void showDownloadUnderway();
    void blinkDownloadIndicator(bool lit);
    void showDownloadEnded();
    void showDownloadProgress(int sent, int total);
    void hideDownloadProgress();

    // What the view asks of the links, through the core: whether the chosen link offers a
    // firmware download now. Unset, it does not.
    std::function<bool()> downloadOffered;

    // The observer is told of every port read and every display reset from now on.
    void watch(PassObserver& observer) { observers_.push_back(&observer); }

    DeviceState& state() { return state_; }
    Controls& controls() { return controls_; }

private:
    void setOperationsEnabled(bool enabled);
    double cellNumber(int id) const;
    void showTotalPower();

    DeviceState& state_;
    Controls& controls_;
    QStringList found_;
    std::array<double, MaxPorts + 1> power_{}; // by port: mW as last read, NaN before
    std::vector<PassObserver*> observers_;
    bool held_ = false;
    bool progressHeld_ = false;
};
