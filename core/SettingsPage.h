#pragma once

class Controls;

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

// A link's settings page: what the fields hold, what OK checks and where the values go. The
// window draws the dialog and forwards the operator's actions; the page works on its controls
// by identifier.
class SettingsPage
{
public:
    virtual ~SettingsPage() = default;

    // The dialog has opened: the page fills these controls and works on them until it closes.
    virtual void open(Controls& controls) = 0;
    // The operator has changed a choice that decides which fields are in use.
    virtual void choiceChanged() = 0;
    // OK: whether the dialog closes; when not, the page has told the operator why.
    virtual bool ok() = 0;
    // The dialog has closed, with OK (accepted) or not.
    virtual void closed(bool accepted) = 0;
};

// Shows a link's settings page when the link or the operator asks for it.
class SettingsPresenter
{
public:
    virtual ~SettingsPresenter() = default;

    // Opens the page's dialog without waiting for it to close; a dialog already open stays as
    // the operator left it.
    virtual void showSettings(SettingsPage& page) = 0;
};
