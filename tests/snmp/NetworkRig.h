#pragma once

// The real main window against simulated midspans on UDP port 161 of loopback addresses, shared
// by the network tests that drive the window.
#include "EventWait.h"
#include "ListClick.h"
#include "MidspanSimProcess.h"
#include "RecordingFeedback.h"
#include "WorkingDirectory.h"
#include "app/Spanmon.h"
#include "core/Clock.h"
#include "core/ControlIds.h"

#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <memory>
#include <unistd.h>

inline constexpr int WaitMs = 30000;
// An agent's time to answer one try, in real time: room for a loaded machine on a fast clock.
inline constexpr int AgentReplyMs = 50;

inline QStringList simOptions(const QString& address, int ports)
{
    return {"--snmp",
            "udp:" + address + ":161",
            "--read-community",
            "public",
            "--write-community",
            "private",
            "--v3-user",
            "midspan",
            "--v3-auth",
            "auth-pass",
            "--v3-priv",
            "priv-pass",
            "--ports",
            QString::number(ports),
            "--restart-seconds",
            "0.2",
            "--steady"};
}

inline QStringList setsIn(const QStringList& log)
{
    QStringList sets;
    for (const QString& line : log)
        if (line.startsWith(QStringLiteral("set ")))
            sets << line.mid(4);
    return sets;
}

inline bool needsRoot()
{
    return geteuid() != 0;
}

// Starts a simulated midspan for a whole test program. Empty when it runs, or when UDP port 161
// is out of reach outside CI (the test functions then skip); otherwise what went wrong.
inline QString startAgent(MidspanSimProcess& sim, const QStringList& options, bool withSerial = false)
{
    if (needsRoot())
        return qgetenv("CI") == "true" ? QStringLiteral("the agent needs UDP port 161, which needs root")
                                       : QString();
    return sim.start(options, withSerial) ? QString() : sim.errorText();
}

// The real main window on a scaled clock, in a working directory of its own with a Link.ini.
struct Rig {
    explicit Rig(const QString& ip, const QString& end = QString(), const QString& write = "private",
                 const QString& auth = "auth-pass", double scale = 0.05)
        : clock(scale)
    {
        clock.setShortestRealTime(TimerId::AgentReply, AgentReplyMs);
        QFile ini(dir.filePath(QStringLiteral("Link.ini")));
        if (ini.open(QIODevice::WriteOnly))
            ini.write(
                QStringLiteral("[IPAdress]\r\nIP=%1\r\nEndIP=%2\r\n[Community]\r\nRead=public\r\nSet=%3\r\n"
                               "[SNMPv3]\r\nVersion=\r\nUser=midspan\r\nAuthPassword=%4\r\n"
                               "PrivPassword=priv-pass\r\n")
                    .arg(ip, end, write, auth)
                    .toUtf8());
        spanmon = std::make_unique<Spanmon>(clock, feedback);
        window = &spanmon->window();
        window->show();
    }

    WidgetControls& controls() { return window->controls(); }
    DeviceState& state() { return window->state(); }
    NetworkState& net() { return spanmon->network().state(); }
    QString text(int id) { return controls().text(id); }
    void click(int id) { controls().get<QPushButton>(id)->click(); }
    QListWidget* list() { return controls().get<QListWidget>(ctl::FoundDevices); }
    QStringList entries()
    {
        QStringList texts;
        for (int row = 0; row < list()->count(); ++row)
            texts << list()->item(row)->text();
        return texts;
    }
    bool search()
    {
        click(ctl::SearchPoe);
        return waitUntil([this] { return controls().isVisible(ctl::SearchPoe); }, WaitMs);
    }
    // Searches, picks the entry of this address and waits for the first complete pass.
    bool connect(const QString& address)
    {
        if (!search())
            return false;
        const QStringList found = entries();
        const auto row =
            std::find_if(found.begin(), found.end(),
                         [&](const QString& entry) { return entry.startsWith(address + u' '); }) -
            found.begin();
        if (row == found.size())
            return false;
        clickEntry(list(), int(row));
        return net().networkLinked && pass();
    }
    // Waits until the session has read ports and has gone back to the system objects with the
    // controls unlocked: the end of a complete pass.
    bool pass()
    {
        NetworkState& s = net();
        bool seenPorts = false;
        return waitUntil(
            [&] {
                if (s.portPhase == 1)
                    seenPorts = true;
                return seenPorts && s.portPhase == 0 && s.pendingRequest == Request::None &&
                       controls().isEnabled(ctl::SendPortControl);
            },
            WaitMs);
    }

    WorkingDirectory dir;
    Clock clock;
    RecordingFeedback feedback;
    std::unique_ptr<Spanmon> spanmon;
    MainWindow* window = nullptr;
};

// The rig on a faster clock, for tests that wait on the agent's reply times (which keep their
// shortest real time) more than on the pauses between exchanges, which shrink.
struct QuickRig : Rig {
    explicit QuickRig(const QString& ip, const QString& end = QString(), const QString& write = "private",
                      const QString& auth = "auth-pass")
        : Rig(ip, end, write, auth, 0.02)
    {
    }
};
