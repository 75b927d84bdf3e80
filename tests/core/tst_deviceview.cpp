#include "FakeControls.h"

#include "core/ControlIds.h"
#include "core/DeviceView.h"

#include <QTest>

#include <cmath>

// The window operations every session relies on, seen through the controls they leave behind.
class tst_DeviceView : public QObject
{
    Q_OBJECT

    // Operation buttons of the main window and the port page's command buttons.
    const QList<int> operations{1001, 1002, 1003, 1004, 1005, 1350, 1008, 1339, 1603};

private slots:
    void lockDisablesEveryOperationAndAllPorts()
    {
        DeviceState state;
        FakeControls controls;
        DeviceView view(state, controls);
        state.portCount = 8;
        view.lockControls();
        for (int id : operations)
            QVERIFY2(!controls.isEnabled(id), qPrintable(QString::number(id)));
        QVERIFY(!controls.isEnabled(1505));
        for (int k = 1; k <= 24; ++k) {
            QVERIFY(!controls.isEnabled(1081 + k));
            QVERIFY(!controls.isEnabled(1105 + k));
        }
    }

    void unlockEnablesPortsOfTheDeviceOnly()
    {
        DeviceState state;
        FakeControls controls;
        DeviceView view(state, controls);
        state.portCount = 8;
        view.lockControls();
        view.unlockControls();
        for (int id : operations)
            QVERIFY(controls.isEnabled(id));
        for (int k = 1; k <= 8; ++k) {
            QVERIFY(controls.isEnabled(1081 + k));
            QVERIFY(controls.isEnabled(1105 + k));
        }
        for (int k = 9; k <= 24; ++k) {
            QVERIFY(!controls.isEnabled(1081 + k));
            QVERIFY(!controls.isEnabled(1105 + k));
        }
    }

    // A held lock outlasts the links' unlocks until it is let go.
    void heldLockOutlastsUnlocks()
    {
        DeviceState state;
        FakeControls controls;
        DeviceView view(state, controls);
        state.portCount = 4;
        view.lockControls();
        view.holdLocked(true);
        view.unlockControls();
        for (int id : operations)
            QVERIFY(!controls.isEnabled(id));
        QVERIFY(!controls.isEnabled(1105 + 1));
        view.holdLocked(false);
        view.unlockControls();
        for (int id : operations)
            QVERIFY(controls.isEnabled(id));
        QVERIFY(controls.isEnabled(1105 + 1));
    }

    void firmwareDownloadOnlyWithASerialDevice()
    {
        DeviceState state;
        FakeControls controls;
        DeviceView view(state, controls);
        bool serialLinked = false;
        view.downloadOffered = [&serialLinked] { return serialLinked; };
        view.unlockControls();
        QVERIFY(!controls.isEnabled(1505));
        serialLinked = true;
        view.unlockControls();
        QVERIFY(controls.isEnabled(1505));
    }

    void clearUsesThePortCountOfTheLastSession()
    {
        DeviceState state;
        FakeControls controls;
        DeviceView view(state, controls);
        for (int k = 1; k <= 24; ++k) {
            controls.setText(1057 + k, QStringLiteral("desc"));
            controls.setText(1129 + k, QStringLiteral("250"));
            controls.setText(1153 + k, QStringLiteral("(uF)"));
            controls.setText(1249 + k, QStringLiteral("12.3"));
            controls.setText(1273 + k, QStringLiteral("0: 15.4W"));
            controls.setLamp(1033 + k, Lamp::Connected);
        }
        controls.setText(1345, QStringLiteral("2.3"));
        controls.setText(1346, QStringLiteral("5.3"));
        controls.setText(1347, QStringLiteral("12"));
        controls.setText(1000, QStringLiteral("Lobby"));
        state.portCount = 12; // the session has ended; the count stays

        view.clearDeviceDisplay(true);

        QCOMPARE(controls.text(1345), QStringLiteral("FW Rev"));
        QCOMPARE(controls.text(1346), QStringLiteral("PoE ID Rev"));
        QCOMPARE(controls.text(1347), QString());
        QCOMPARE(controls.text(1000), QString());
        for (int k = 1; k <= 12; ++k) {
            QCOMPARE(controls.lamp(1033 + k), Lamp::NoData);
            QCOMPARE(controls.text(1057 + k), QString());
            QCOMPARE(controls.text(1129 + k), QStringLiteral("0"));
            QCOMPARE(controls.text(1177 + k), QStringLiteral("0"));
            QCOMPARE(controls.text(1201 + k), QStringLiteral("0.0"));
            QCOMPARE(controls.text(1225 + k), QStringLiteral("0"));
            QCOMPARE(controls.text(1273 + k), QStringLiteral("---"));
            // Class current and discovery capacitance keep their text.
            QCOMPARE(controls.text(1249 + k), QStringLiteral("12.3"));
            QCOMPARE(controls.text(1153 + k), QStringLiteral("(uF)"));
        }
        for (int k = 13; k <= 24; ++k) {
            QCOMPARE(controls.lamp(1033 + k), Lamp::Connected);
            QCOMPARE(controls.text(1057 + k), QStringLiteral("desc"));
            QCOMPARE(controls.text(1273 + k), QStringLiteral("0: 15.4W"));
        }
    }

    // The pass's last port shows the sum of the power cells of ports 1..portCount, in W with one
    // decimal; a cell without a number counts nothing.
    void totalPowerAfterEachPass_data()
    {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QString>("total");
        QTest::newRow("three ports") << QStringList{"1234", "2000", "0"} << "3.2 W";
        QTest::newRow("rounds to the tenth") << QStringList{"15449", "0", "1"} << "15.4 W";
        QTest::newRow("all off") << QStringList{"0", "0"} << "0.0 W";
        QTest::newRow("agent text ignored") << QStringList{"4000", "n/a", ""} << "4.0 W";
        QTest::newRow("decimal text") << QStringList{"1500.5", "499.5"} << "2.0 W";
        QTest::newRow("24 ports of 15.4 W") << QStringList(24, "15400") << "369.6 W";
    }
    void totalPowerAfterEachPass()
    {
        QFETCH(QStringList, cells);
        QFETCH(QString, total);
        DeviceState state;
        FakeControls controls;
        DeviceView view(state, controls);
        state.portCount = int(cells.size());
        for (int k = 1; k <= state.portCount; ++k) {
            controls.setText(1225 + k, cells[k - 1]);
            view.setPortLamp(k, 8);
            if (k < state.portCount)
                QCOMPARE(controls.text(1601), QString()); // the pass is not over
        }
        QCOMPARE(controls.text(1601), total);

        // The next pass shows its own sum; a reset clears it.
        controls.setText(1225 + 1, QStringLiteral("100000"));
        for (int k = 1; k <= state.portCount; ++k)
            view.setPortLamp(k, 8);
        QVERIFY(controls.text(1601) != total);
        view.clearDeviceDisplay(true);
        QCOMPARE(controls.text(1601), QString());
    }

    // Observers hear every reading with the numbers of its cells, and whether a reset ended the
    // session or happened under it.
    void observersHearReadingsAndResets()
    {
        struct Recorder : PassObserver {
            QList<PassReading> readings;
            QList<bool> clears;
            void portRead(const PassReading& r) override { readings.append(r); }
            void displayCleared(bool ended) override { clears.append(ended); }
        } recorder;
        DeviceState state;
        FakeControls controls;
        DeviceView view(state, controls);
        view.watch(recorder);
        state.portCount = 4;
        controls.setText(1225 + 3, QStringLiteral("1234"));
        controls.setText(1201 + 3, QStringLiteral("48.1"));
        controls.setText(1177 + 3, QStringLiteral("25"));
        controls.setText(1225 + 4, QStringLiteral("Error"));
        view.setPortLamp(3, 8);
        view.setPortLamp(4, 7);
        view.setPortLamp(25, 8); // no such port
        QCOMPARE(recorder.readings.size(), 2);
        const PassReading& third = recorder.readings[0];
        QCOMPARE(third.port, 3);
        QCOMPARE(third.powerMw, 1234.0);
        QCOMPARE(third.voltageV, 48.1);
        QCOMPARE(third.currentMa, 25.0);
        QCOMPARE(third.status, 8);
        QVERIFY(std::isnan(recorder.readings[1].powerMw));
        QCOMPARE(recorder.readings[1].status, 7);

        view.clearDeviceDisplay(false); // System Reset
        view.clearDeviceDisplay(true);  // connection lost
        QCOMPARE(recorder.clears, (QList<bool>{false, true}));
    }

    // The found-device list as the links change it ("add" in order without regard to case, after
    // equals; "insert" at a row; "remove" a row; "clear"), held by the view and drawn as held.
    void foundListIsHeldAndDrawn_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("addresses in order") << QStringList{"add 10.0.0.9 *** POE", "add 10.0.0.10 *** POE"}
                                            << QStringList{"10.0.0.10 *** POE", "10.0.0.9 *** POE"};
        QTest::newRow("case ignored, equals kept in arrival order")
            << QStringList{"add b *** x", "add B *** x", "add a *** x"}
            << QStringList{"a *** x", "b *** x", "B *** x"};
        QTest::newRow("serial entry on top and taken off again")
            << QStringList{"add 10.0.0.5 *** POE", "insert 0 ttyV0 *** POE263U", "remove 0"}
            << QStringList{"10.0.0.5 *** POE"};
        QTest::newRow("rows outside the list")
            << QStringList{"remove 0", "insert 7 ttyV0 *** POE263U", "remove 3"}
            << QStringList{"ttyV0 *** POE263U"};
        QTest::newRow("cleared") << QStringList{"add a *** x", "clear", "add c *** x"}
                                 << QStringList{"c *** x"};
    }
    void foundListIsHeldAndDrawn()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, listed);
        DeviceState state;
        FakeControls controls;
        DeviceView view(state, controls);
        for (const QString& step : steps) {
            const QString verb = step.section(u' ', 0, 0);
            if (verb == u"add")
                view.addFoundEntry(step.section(u' ', 1));
            else if (verb == u"insert")
                view.insertFoundEntry(step.section(u' ', 1, 1).toInt(), step.section(u' ', 2));
            else if (verb == u"remove")
                view.removeFoundEntry(step.section(u' ', 1, 1).toInt());
            else
                view.clearFoundEntries();
        }
        QCOMPARE(view.foundEntries(), listed);
        QStringList drawn;
        for (int row = 0; row < controls.itemCount(1349); ++row)
            drawn << controls.itemText(1349, row);
        QCOMPARE(drawn, listed);
    }

    void portCountFromADeviceIsBounded_data()
    {
        QTest::addColumn<int>("reported");
        QTest::addColumn<int>("kept");
        QTest::addColumn<bool>("valid");
        QTest::newRow("1") << 1 << 1 << true;
        QTest::newRow("24") << 24 << 24 << true;
        QTest::newRow("0") << 0 << 0 << false;
        QTest::newRow("25") << 25 << 24 << false;
        QTest::newRow("255") << 255 << 24 << false;
        QTest::newRow("negative") << -3 << 0 << false;
    }
    void portCountFromADeviceIsBounded()
    {
        QFETCH(int, reported);
        QFETCH(int, kept);
        QFETCH(bool, valid);
        DeviceState state;
        FakeControls controls;
        DeviceView view(state, controls);
        controls.setEnabled(1105 + 25, false); // the next control after the last tick box
        QCOMPARE(state.setPortCount(reported), valid);
        QCOMPARE(state.portCount, kept);
        // Every per-port loop stays inside the 24 port groups.
        view.clearDeviceDisplay(true);
        view.unlockControls();
        view.showPowerLimits(QStringLiteral("POE528U-480-24-N"));
        QCOMPARE(controls.text(1273 + 25), QString());
        QCOMPARE(controls.isEnabled(1105 + 25), false);
        QCOMPARE(controls.text(1129 + 25), QString());
    }

    void progressShowsTextRangeAndPosition()
    {
        DeviceState state;
        FakeControls controls;
        DeviceView view(state, controls);
        controls.setVisible(182, false);
        view.showProgress(QStringLiteral("Processing............"));
        view.setProgress(24, 6);
        QVERIFY(controls.isVisible(182));
        QCOMPARE(controls.text(1482), QStringLiteral("Processing............"));
        QCOMPARE(controls.control(1481).maximum, 24);
        QCOMPARE(controls.value(1481), 6);
        view.hideProgress();
        QVERIFY(!controls.isVisible(182));
    }
};

QTEST_GUILESS_MAIN(tst_DeviceView)
#include "tst_deviceview.moc"
