#pragma once

#include "core/LinkIni.h"

class Controls;
class MidspanLink;
class OperatorFeedback;
struct DeviceState;

// Identifiers of the link settings dialog's controls. Some equal identifiers of other windows
// (1364 is also the description dialog's frame), so the dialog keeps a registry of its own.
namespace ctl::link
{
inline constexpr int Dialog = 142;
inline constexpr int AddressGroup = 1511;
inline constexpr int LocalAddressLabel = 1364;
inline constexpr int LocalAddress = 1508;
inline constexpr int DiscoveryLabel = 1362;
inline constexpr int FirstAddress = 1351;
inline constexpr int EndOctet = 1509;
inline constexpr int ReadLabel = 1356;
inline constexpr int ReadCommunity = 1352;
inline constexpr int SetLabel = 1357;
inline constexpr int WriteCommunity = 1353;
inline constexpr int UseV3 = 1360;
inline constexpr int UserLabel = 1358;
inline constexpr int User = 1354;
inline constexpr int AuthLabel = 1359;
inline constexpr int AuthPassword = 1355;
inline constexpr int PrivLabel = 1361;
inline constexpr int PrivPassword = 1363;
inline constexpr int Ok = 1;
inline constexpr int Cancel = 2;
} // namespace ctl::link

// What the link settings dialog decides, on its controls by identifier: the fields at opening,
// the SNMPv3 choice, and the checks and hand-over of OK. The dialog only draws and forwards.
class LinkSettingsForm
{
public:
    // net-snmp refuses shorter SNMPv3 pass phrases.
    static constexpr int MinimumPassPhrase = 8;

    // `chosenLink` is the link the operator has chosen whenever the dialog asks it.
    LinkSettingsForm(DeviceState& state, MidspanLink* const& chosenLink, OperatorFeedback& feedback,
                     Controls& controls)
        : state_(state), link_(chosenLink), feedback_(feedback), controls_(controls)
    {
    }

    // Fills the fields from the main window's values, or from Link.ini where those are empty.
    void open();
    // Community rows or SNMPv3 rows, after the tick box; the SNMPv3 rows take the focus.
    void applyV3Choice();
    // Checks the fields, hands them to the main window's values and stores them. Returns false
    // when the dialog stays open; what was done before the stop stays done.
    bool ok();

    // The operator confirmed a re-link while a network session ran.
    bool relinkRequested() const { return relinkRequested_; }

private:
    bool confirmRelink();
    bool credentialsComplete(bool v3);
    bool refuse(int id, const QString& text);
    void takeRange(const QString& address, int end);
    void store(const LinkSettings& fields);

    DeviceState& state_;
    MidspanLink* const& link_;
    OperatorFeedback& feedback_;
    Controls& controls_;
    bool relinkRequested_ = false;
};
