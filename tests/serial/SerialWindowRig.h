#pragma once

#include "RecordingFeedback.h"
#include "app/Clock.h"
#include "app/ControlIds.h"
#include "app/MainWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QPushButton>

#include <memory>

// The real main window on a scaled clock, its serial port list taken from a test directory.
struct SerialWindowRig {
    explicit SerialWindowRig(const QString& portDirectory, double scale = 0.05) : clock(scale)
    {
        // The device pages may not be there; their controls get stand-ins below.
        QLoggingCategory::setFilterRules(QStringLiteral("spanmon.controls.warning=false"));
        window = std::make_unique<MainWindow>(clock, feedback);
        QLoggingCategory::setFilterRules(QString());
        window->controller().serialSession().enumerator().setVirtualPorts(portDirectory,
                                                                          QStringLiteral("ttyV*"));
        addPageStandIns();
    }

    WidgetControls& controls() { return window->controls(); }
    DeviceState& state() { return window->state(); }

    // Controls of the device pages the window does not have (yet) get plain widgets, so that
    // what the session writes into them can be read back.
    void addPageStandIns()
    {
        WidgetControls& c = controls();
        QLoggingCategory::setFilterRules(QStringLiteral("spanmon.controls.warning=false"));
        auto standIn = [&](int id, QWidget* widget) {
            if (c.widget(id))
                delete widget;
            else
                c.add(id, widget);
        };
        for (int k = 1; k <= 24; ++k) {
            standIn(ctl::PortLampBase + k, new QLabel(window.get()));
            standIn(ctl::PortDescriptionBase + k, new QLineEdit(window.get()));
            standIn(ctl::PortEditBase + k, new QPushButton(window.get()));
            auto* box = new QCheckBox(window.get());
            standIn(ctl::PortEnableBase + k, box);
            for (int base : {ctl::DiscoveryRBase, ctl::DiscoveryCBase, ctl::CurrentBase, ctl::VoltageBase,
                             ctl::PowerBase, ctl::ClassCurrentBase, ctl::ClassBase})
                standIn(base + k, new QLabel(window.get()));
        }
        standIn(ctl::SendPortControl, new QPushButton(window.get()));
        standIn(ctl::AllPorts, new QCheckBox(window.get()));
        standIn(ctl::LegacyDetect, new QCheckBox(window.get()));
        standIn(ctl::LegacyEnabledNote, new QLabel(window.get()));
        QLoggingCategory::setFilterRules(QString());
    }

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
    void selectFound(int row) { controls().get<QListWidget>(ctl::FoundDevices)->setCurrentRow(row); }
    QString text(int id) { return controls().text(id); }

    // What the port page does on "Send Port Control" over the serial link: the wanted enable
    // states from the tick boxes, the port write raised alone.
    void queuePortControl()
    {
        SerialLink& link = window->serialLink();
        clock.stop(TimerId::PollReply);
        link.userCommandActive = true;
        for (int k = 1; k <= state().portCount; ++k)
            state().portEnableWanted[std::size_t(k - 1)] =
                controls().isChecked(ctl::PortEnableBase + k) ? 1 : 0;
        link.raiseOnly(&SerialLink::pendingPortWrite);
        link.serialPortIndex = 0;
    }

    RecordingFeedback feedback;
    Clock clock;
    std::unique_ptr<MainWindow> window;
};
