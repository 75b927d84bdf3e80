#pragma once

#include <QCommandLineParser>
#include <QIcon>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QApplication;
class QWidget;

// What a program tells about itself: the name and version that --version prints, the text --help
// starts with, its desktop entry and its icon (":/icons/<icon>-48.png" and "-256.png").
struct ProgramIdentity {
    QString name;
    QString version;
    QString description;
    QString desktopFileName;
    QString icon;
};

// How Spanmon and Ethfind start and end. The command line is read first, without the window
// system (StartOptions.h); then the application starts, the program builds its window, and run()
// shows it until it closes or a signal ends the program as closing it does (ExitOnSignals.h).
class ProgramStart
{
public:
    // `argc` and `argv` are main's: the application keeps them for its whole life.
    ProgramStart(int& argc, char** argv, const ProgramIdentity& identity);
    ~ProgramStart();
    ProgramStart(const ProgramStart&) = delete;
    ProgramStart& operator=(const ProgramStart&) = delete;

    // The exit code when the command line has been answered without a window (--help, --version,
    // an unknown option); nothing when the window is to start.
    std::optional<int> answered() const { return answered_; }

    // The application, with the program's desktop entry and icon: from here on there are widgets.
    void startApplication();

    // Shows the window with the program's icon and runs until the program ends; on a signal,
    // `ending` runs first. Returns the exit code.
    int run(QWidget& window, std::function<void()> ending);

private:
    int& argc_;
    char** argv_;
    ProgramIdentity identity_;
    QCommandLineParser parser_;
    std::optional<int> answered_;
    std::unique_ptr<QApplication> app_;
    QIcon icon_;
};
