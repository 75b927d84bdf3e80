#pragma once

// Numeric identifiers of the controls. Sessions write into controls by these numbers; per-port
// controls are a base plus the 1-based port number.
namespace ctl
{

// Templates (windows), usable where a whole window is shown or hidden.
inline constexpr int PortPage = 135;
inline constexpr int InfoPage = 136;
inline constexpr int DescriptionDialog = 175;
inline constexpr int ProgressDialog = 182;

// Main window
inline constexpr int SystemDescription = 1000;
inline constexpr int EditSystemDescription = 1001;
inline constexpr int SystemReset = 1002;
inline constexpr int About = 1003;
inline constexpr int SaveToFlash = 1004;
inline constexpr int FactoryDefaults = 1005;
inline constexpr int Tabs = 1006;
inline constexpr int PictureFrame = 1007;
inline constexpr int Setting = 1008;
inline constexpr int SystemIdLabel = 1324;
inline constexpr int FirmwareLabel = 1343;
inline constexpr int HardwareLabel = 1344;
inline constexpr int FirmwareRevision = 1345;
inline constexpr int HardwareRevision = 1346;
inline constexpr int PortNumber = 1347;
inline constexpr int PortNumberLabel = 1348;
inline constexpr int FoundDevices = 1349;
inline constexpr int SearchPoe = 1350;
inline constexpr int SystemGroup = 1496;
inline constexpr int ParamGroup = 1497;
inline constexpr int InfoGroup = 1498;
inline constexpr int ConnectionTypeLabel = 1500;
inline constexpr int LinkCombo = 1501;
inline constexpr int ComPortCombo = 1502;
inline constexpr int ConnectionGroup = 1503;
inline constexpr int DownloadIndicator = 1504;
inline constexpr int FirmwareDownload = 1505;
inline constexpr int ResetGroup = 1506;
inline constexpr int SearchProgress = 1510;
inline constexpr int TotalPowerLabel = 1600;
inline constexpr int TotalPower = 1601;
inline constexpr int History = 1602;

// Port control page; port k uses base + k
inline constexpr int PortGroupBase = 1009;
inline constexpr int PortLampBase = 1033;
inline constexpr int PortDescriptionBase = 1057;
inline constexpr int PortEditBase = 1081;
inline constexpr int PortEnableBase = 1105;
inline constexpr int SendPortControl = 1339;
inline constexpr int AllPorts = 1340;
inline constexpr int LegacyDetect = 1341;
inline constexpr int LegacyEnabledNote = 1499;
inline constexpr int PortCommandsGroup = 1495;
inline constexpr int LedKeyGroup = 1322;
inline constexpr int SendNote = 1507;
inline constexpr int PowerCycle = 1603;

// Parametric information page; port k uses base + k
inline constexpr int DiscoveryRBase = 1129;
inline constexpr int DiscoveryCBase = 1153;
inline constexpr int CurrentBase = 1177;
inline constexpr int VoltageBase = 1201;
inline constexpr int PowerBase = 1225;
inline constexpr int ClassCurrentBase = 1249;
inline constexpr int ClassBase = 1273;
inline constexpr int InfoGroupBase = 1297;

// The main window itself: its text is its title.
inline constexpr int MainWindow = 1610;

// Progress dialog
inline constexpr int ProgressBar = 1481;
inline constexpr int ProgressText = 1482;
// Offered only while a power-cycle counts its off time down.
inline constexpr int ProgressCancel = 1483;

// Description dialog
inline constexpr int DescriptionGroup = 1364;
inline constexpr int DescriptionEdit = 1478;
inline constexpr int DescriptionButton = 1342;

} // namespace ctl
