#pragma once

#include <QString>

#include <optional>

// Where spanmon-cli finds the network link settings, as administrators expect of a tool: the
// file named with --settings, else the one $SPANMON_SETTINGS names, else the first of
// ./Link.ini (where the window keeps it), $XDG_CONFIG_HOME/spanmon/Link.ini (~/.config when
// unset) and /etc/spanmon/Link.ini that is there. Only paths come from the environment, never a
// secret. The SNMPv3 boot counter stays beside a Link.ini of the current folder, as the window
// keeps it, and goes to $XDG_STATE_HOME/spanmon (~/.local/state) otherwise.
struct SettingsPlaces {
    QString given;           // --settings
    QString fromEnvironment; // $SPANMON_SETTINGS
    QString currentFolder;
    QString configHome;
    QString stateHome;
    QString systemFolder = QStringLiteral("/etc/spanmon");

    static SettingsPlaces ofThisProcess(const QString& given);
};

struct SettingsSource {
    QString path;            // the file to read; empty when none was found
    QString problem;         // why none was found
    QString bootCounterPath; // the SNMPv3 boot counter that goes with it
};

SettingsSource findSettings(const SettingsPlaces& places);
