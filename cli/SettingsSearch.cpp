#include "cli/SettingsSearch.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>

namespace
{

const QString FileName = QStringLiteral("Link.ini");
const QString BootCounterName = QStringLiteral("snmpv3_boot_counter");

// A symbolic link is there too: reading it is refused with its reason, not passed over.
bool present(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// An XDG base folder: the variable when it holds an absolute path, else the default under home.
QString baseFolder(const QProcessEnvironment& environment, const QString& variable, const QString& fallback)
{
    const QString value = environment.value(variable);
    return QDir::isAbsolutePath(value) ? value : QDir::homePath() + u'/' + fallback;
}

} // namespace

SettingsPlaces SettingsPlaces::ofThisProcess(const QString& given)
{
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    SettingsPlaces places;
    places.given = given;
    places.fromEnvironment = environment.value(QStringLiteral("SPANMON_SETTINGS"));
    places.currentFolder = QDir::currentPath();
    places.configHome = baseFolder(environment, QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral(".config"));
    places.stateHome =
        baseFolder(environment, QStringLiteral("XDG_STATE_HOME"), QStringLiteral(".local/state"));
    return places;
}

SettingsSource findSettings(const SettingsPlaces& places)
{
    const QString local = QDir(places.currentFolder).filePath(FileName);
    SettingsSource source;
    if (!places.given.isEmpty() || !places.fromEnvironment.isEmpty()) {
        const QString named = places.given.isEmpty() ? places.fromEnvironment : places.given;
        if (present(named))
            source.path = named;
        else
            source.problem = places.given.isEmpty()
                                 ? QStringLiteral("no settings file %1 (from $SPANMON_SETTINGS)").arg(named)
                                 : QStringLiteral("no settings file");
    } else {
        for (const QString& candidate : {local, places.configHome + QStringLiteral("/spanmon/") + FileName,
                                         places.systemFolder + u'/' + FileName}) {
            if (present(candidate)) {
                source.path = candidate;
                break;
            }
        }
        if (source.path.isEmpty())
            source.problem = QStringLiteral("no settings file: the communities and the SNMPv3 user come from "
                                            "Link.ini (--settings FILE, $SPANMON_SETTINGS, ./Link.ini, "
                                            "~/.config/spanmon/Link.ini or /etc/spanmon/Link.ini)");
    }
    const bool besideLocal =
        QFileInfo(QDir(places.currentFolder).absoluteFilePath(source.path)) == QFileInfo(local);
    source.bootCounterPath =
        (besideLocal ? places.currentFolder : places.stateHome + QStringLiteral("/spanmon")) + u'/' +
        BootCounterName;
    return source;
}
