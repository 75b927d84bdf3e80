#pragma once

#include "ListClick.h"
#include "RecordingFeedback.h"
#include "app/Spanmon.h"
#include "core/Clock.h"
#include "core/ControlIds.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>

#include <memory>

// The real main window on a scaled clock, its serial port list taken from a test directory. The
// reply time-outs run at least `replyMs` of real time, so that a loaded machine's late reply
// does not count as a miss.
struct SerialWindowRig {
    explicit SerialWindowRig(const QString& portDirectory, double scale = 0.05, int replyMs = 1000)
        : clock(scale)
    {
        clock.setShortestRealTime(TimerId::IdentifyReply, replyMs);
        clock.setShortestRealTime(TimerId::PollReply, replyMs);
        spanmon = std::make_unique<Spanmon>(clock, feedback);
        window = &spanmon->window();
        spanmon->serial().enumerator().setVirtualPorts(portDirectory, QStringLiteral("ttyV*"));
    }

    WidgetControls& controls() { return window->controls(); }
    DeviceState& state() { return window->state(); }

    void chooseSerialLink()
    {
        auto* combo = controls().get<QComboBox>(ctl::LinkCombo);
        combo->setCurrentIndex(1);
        emit combo->activated(1);
    }
    void chooseNetworkLink()
    {
        auto* combo = controls().get<QComboBox>(ctl::LinkCombo);
        combo->setCurrentIndex(0);
        emit combo->activated(0);
    }
    // Picks a port of the COM port list as the operator does; false when it is not listed.
    bool choosePort(const QString& name)
    {
        auto* combo = controls().get<QComboBox>(ctl::ComPortCombo);
        const int index = combo->findText(name);
        if (index < 0)
            return false;
        combo->setCurrentIndex(index);
        emit combo->activated(index);
        return true;
    }
    void click(int id) { controls().get<QPushButton>(id)->click(); }
    int foundCount() { return controls().get<QListWidget>(ctl::FoundDevices)->count(); }
    QString found(int row) { return controls().get<QListWidget>(ctl::FoundDevices)->item(row)->text(); }
    void selectFound(int row) { clickEntry(controls().get<QListWidget>(ctl::FoundDevices), row); }
    QString text(int id) { return controls().text(id); }

    RecordingFeedback feedback;
    Clock clock;
    std::unique_ptr<Spanmon> spanmon;
    MainWindow* window = nullptr;
};
