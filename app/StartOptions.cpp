#include "app/StartOptions.h"

#include <QCoreApplication>

#include <cstdio>

namespace startoptions
{

namespace
{

// The options QGuiApplication and QApplication take for themselves (qt6 -help-all); they are
// accepted here and left to Qt.
void acceptToolkitOptions(QCommandLineParser& parser)
{
    const char* const withValue[] = {"platform",        "platformpluginpath",
                                     "platformtheme",   "plugin",
                                     "qwindowgeometry", "geometry",
                                     "qwindowtitle",    "title",
                                     "qwindowicon",     "icon",
                                     "display",         "name",
                                     "session",         "style",
                                     "stylesheet",      "qmljsdebugger"};
    const char* const flags[] = {"reverse", "testability", "nograb", "dograb", "widgetcount", "sync"};
    auto hidden = [&parser](QCommandLineOption option) {
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    };
    for (const char* name : withValue)
        hidden(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    for (const char* name : flags)
        hidden(QCommandLineOption(QString::fromLatin1(name)));
}

} // namespace

int answerWithoutWindow(QCommandLineParser& parser, int argc, char* argv[])
{
    parser.addHelpOption();
    parser.addVersionOption();
    // Qt's own options come with one dash ("-platform offscreen").
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    acceptToolkitOptions(parser);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for the options.\n",
                     qPrintable(QCoreApplication::applicationName()), qPrintable(parser.errorText()),
                     argc > 0 ? argv[0] : "");
        return 2;
    }
    if (!(parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")) ||
          parser.isSet(QStringLiteral("version"))))
        return -1;
    QCoreApplication app(argc, argv);
    parser.process(app);
    return 0;
}

} // namespace startoptions
