#pragma once

// For the benchmarks that run the real main window against midspan-sim on its serial link.
#include "BenchSupport.h"
#include "MidspanSimProcess.h"
#include "app/Spanmon.h"
#include "core/ControlIds.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>

#include <cstdio>

// Starts the simulator with these options; says why when it does not start.
inline bool startSimulator(MidspanSimProcess& sim, const QStringList& options)
{
    if (sim.start(options))
        return true;
    std::fprintf(stderr, "midspan-sim did not start: %s\n", qPrintable(sim.errorText()));
    return false;
}

// Chooses the serial link and the simulator's port as the operator does and searches; true once
// the simulator is listed (not yet selected).
inline bool searchSimulator(Spanmon& spanmon, const MidspanSimProcess& sim)
{
    spanmon.serial().enumerator().setVirtualPorts(sim.directory(), QStringLiteral("ttyV*"));
    MainWindow& window = spanmon.window();
    WidgetControls& controls = window.controls();
    auto* link = controls.get<QComboBox>(ctl::LinkCombo);
    link->setCurrentIndex(1);
    emit link->activated(1);
    auto* ports = controls.get<QComboBox>(ctl::ComPortCombo);
    const int index = ports->findText(QStringLiteral("ttyV0"));
    ports->setCurrentIndex(index);
    emit ports->activated(index);
    controls.get<QPushButton>(ctl::SearchPoe)->click();
    auto* found = controls.get<QListWidget>(ctl::FoundDevices);
    if (bench::waitUntil([&] { return found->count() == 1; }, 5000))
        return true;
    std::fprintf(stderr, "the simulator was not found\n");
    return false;
}
