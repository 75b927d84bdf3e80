#include "FakeControls.h"

#include "core/ControlIds.h"
#include "core/DeviceView.h"

#include <QTest>

// The window operations every session relies on, seen through the controls they leave behind.
class tst_DeviceView : public QObject
{
    Q_OBJECT

    // Operation buttons of the main window and the port page's command button.
    const QList<int> operations{1001, 1002, 1003, 1004, 1005, 1350, 1008, 1339};

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

    void firmwareDownloadOnlyWithASerialDevice()
    {
        DeviceState state;
        FakeControls controls;
        DeviceView view(state, controls);
        view.unlockControls();
        QVERIFY(!controls.isEnabled(1505));
        state.serialLinked = true;
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
        state.refreshPass = 2;

        view.clearDeviceDisplay();

        QCOMPARE(controls.text(1345), QStringLiteral("FW Rev"));
        QCOMPARE(controls.text(1346), QStringLiteral("PoE ID Rev"));
        QCOMPARE(controls.text(1347), QString());
        QCOMPARE(controls.text(1000), QString());
        QCOMPARE(state.refreshPass, 0);
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
        view.clearDeviceDisplay();
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
