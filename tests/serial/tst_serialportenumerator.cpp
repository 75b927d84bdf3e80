// The port list: what the enumeration makes of each record, which links count as virtual
// ports, and the names the COM port list shows.
#include "FakeControls.h"
#include "OrdinaryUser.h"
#include "RecordingFeedback.h"
#include "core/Clock.h"
#include "core/ControlIds.h"
#include "core/DeviceState.h"
#include "core/SpanmonCore.h"
#include "links/serial/ComPortEntry.h"
#include "links/serial/SerialLink.h"
#include "links/serial/SerialPortEnumerator.h"
#include "links/serial/SerialState.h"

#include <QDir>
#include <QFile>
#include <QSerialPortInfo>
#include <QTemporaryDir>
#include <QTest>

#include <tuple>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using Ports = std::vector<SerialPortInfo>;
Q_DECLARE_METATYPE(Ports)

namespace
{

SerialPortInfo record(const QString& path, const QString& name, const QString& friendly,
                      const QString& description = {})
{
    return {path, name, friendly, false, description};
}

// A pseudo-terminal whose slave stays open for the test's lifetime.
struct Pty {
    Pty()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            slave = QString::fromLocal8Bit(::ptsname(master));
    }
    ~Pty()
    {
        if (master >= 0)
            ::close(master);
    }
    int master = -1;
    QString slave;
};

// A serial session without a window whose port list comes from one directory.
struct Scan {
    explicit Scan(const QString& directory) { session.enumerator().setVirtualPorts(directory, "ttyV*"); }
    auto parts() { return std::tie(state, controls, feedback, session); }

    FakeControls controls;
    Clock clock{0.05};
    RecordingFeedback feedback;
    SpanmonCore core{controls, clock, feedback, SpanmonCore::alone<SerialLink>()};
    DeviceState& state = core.state();
    SerialLink& session = static_cast<SerialLink&>(core.link(0));
};

} // namespace

class tst_SerialPortEnumerator : public QObject
{
    Q_OBJECT

private slots:
    void postProcessing_data()
    {
        QTest::addColumn<Ports>("found");
        QTest::addColumn<Ports>("listed");

        QTest::newRow("friendly name falls back to the port name")
            << Ports{record("\\\\.\\COM5", "COM5", "")}
            << Ports{record("\\\\.\\COM5", "COM5", "COM5", "COM5")};
        QTest::newRow("description cut before the port name")
            << Ports{record("/dev/ttyUSB0", "ttyUSB0", "Serial Adapter (COM7)")}
            << Ports{record("/dev/ttyUSB0", "ttyUSB0", "Serial Adapter (COM7)", "Serial Adapter")};
        QTest::newRow("closing parenthesis not last keeps the text")
            << Ports{record("", "", "Port (COM7) spare")}
            << Ports{record("", "", "Port (COM7) spare", "Port (COM7) spare")};
        QTest::newRow("opening at position 0 keeps the text")
            << Ports{record("", "", " (COM7)")} << Ports{record("", "", " (COM7)", " (COM7)")};
        QTest::newRow("description given stays")
            << Ports{record("", "COM2", "USB Serial Port (COM2)", "FTDI")}
            << Ports{record("", "COM2", "USB Serial Port (COM2)", "FTDI")};
    }
    void postProcessing()
    {
        QFETCH(Ports, found);
        QFETCH(Ports, listed);
        SerialPortEnumerator::postProcess(found, false, [](const QString&) { return false; });
        QCOMPARE(found, listed);
    }

    void busyPortsDropped()
    {
        Ports ports{record("/dev/a", "a", "A"), record("/dev/busy1", "busy1", "B"),
                    record("/dev/busy2", "busy2", "C"), record("/dev/d", "d", "")};
        QStringList tried;
        SerialPortEnumerator::postProcess(ports, true, [&](const QString& path) {
            tried.append(path);
            return !path.contains("busy");
        });
        QCOMPARE(tried, (QStringList{"/dev/a", "/dev/busy1", "/dev/busy2", "/dev/d"}));
        QCOMPARE(ports.size(), std::size_t(2));
        QCOMPARE(ports[0].portName, QStringLiteral("a"));
        QCOMPARE(ports[1].friendlyName,
                 QStringLiteral("d")); // the record after two dropped is still examined
    }

    void comPortEntries_data()
    {
        QTest::addColumn<SerialPortInfo>("port");
        QTest::addColumn<QString>("entry");
        QTest::newRow("Communications Port (COM1)")
            << record("\\\\.\\COM1", "COM1", "Communications Port (COM1)") << "COM1";
        QTest::newRow("USB Serial Port (COM10)") << record("", "", "USB Serial Port (COM10)") << "COM10";
        QTest::newRow("bare COM4") << record("\\\\.\\COM4", "COM4", "COM4") << "COM4";
        QTest::newRow("three-digit COM100") << record("", "", "Modem (COM100)") << QString();
        QTest::newRow("name without a COM port") << record("", "", "Bluetooth link") << QString();
        QTest::newRow("USB adapter device node")
            << record("/dev/ttyUSB0", "ttyUSB0", "CP2102 USB to UART (ttyUSB0)") << "ttyUSB0";
        QTest::newRow("on-board port") << record("/dev/ttyS0", "ttyS0", "ttyS0") << "ttyS0";
        QTest::newRow("virtual port") << record("/dev/ttyV0", "ttyV0", "ttyV0") << "ttyV0";
    }
    void comPortEntries()
    {
        QFETCH(SerialPortInfo, port);
        QFETCH(QString, entry);
        QCOMPARE(comPortEntry(port).value_or(QString()), entry);
    }

    void virtualPortsAreLinksToPseudoTerminals()
    {
        Pty pty;
        QVERIFY(!pty.slave.isEmpty());
        QTemporaryDir dir;
        QFile plain(dir.filePath("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(pty.slave, dir.filePath("ttyV0")));
        QVERIFY(QFile::link(pty.slave, dir.filePath("modem0")));
        QVERIFY(QFile::link(dir.filePath("plain"), dir.filePath("ttyV1")));
        QVERIFY(QFile::link(dir.filePath("gone"), dir.filePath("ttyV2")));

        const Ports ports = SerialPortEnumerator::virtualPorts(dir.path(), "ttyV*");
        QCOMPARE(ports.size(), std::size_t(1));
        QCOMPARE(ports[0].devicePath, dir.filePath("ttyV0"));
        QCOMPARE(ports[0].portName, QStringLiteral("ttyV0"));
        QVERIFY(SerialPortEnumerator::virtualPorts(dir.filePath("missing"), "ttyV*").empty());
    }

    void scanListsSortedNamesAndReadiesTheSearch()
    {
        Pty first;
        Pty second;
        QTemporaryDir dir;
        QVERIFY(QFile::link(first.slave, dir.filePath("ttyV1")));
        QVERIFY(QFile::link(second.slave, dir.filePath("ttyV0")));
        Scan scan(dir.path());
        auto [state, controls, feedback, session] = scan.parts();
        controls.setEnabled(ctl::SearchPoe, false);

        session.scanComPorts();
        const QStringList items = controls.control(ctl::ComPortCombo).items;
        QVERIFY(items.indexOf("ttyV0") >= 0);
        QCOMPARE(items.indexOf("ttyV1"), items.indexOf("ttyV0") + 1);
        QStringList sorted = items;
        std::sort(sorted.begin(), sorted.end(),
                  [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
        QCOMPARE(items, sorted);
        QCOMPARE(controls.currentIndex(ctl::ComPortCombo), 0);
        QVERIFY(session.link().comPortsFound);
        QVERIFY(controls.isEnabled(ctl::SearchPoe));
        QVERIFY(feedback.shown.isEmpty());
    }

    void scanWithoutPortsWarns()
    {
        QTemporaryDir dir;
        Scan scan(dir.path());
        auto [state, controls, feedback, session] = scan.parts();
        session.enumerator().setSystemPorts([] { return std::vector<SerialPortInfo>{}; });
        session.scanComPorts();
        QCOMPARE(feedback.shown.size(), 1);
        QCOMPARE(feedback.shown[0], (Message{"Warning", "No Serial Port can be opened !!   ",
                                             Message::Icon::Exclamation, Message::Buttons::Ok}));
        QVERIFY(!controls.isEnabled(ctl::SearchPoe));
        QVERIFY(!session.link().comPortsFound);
    }

    // As an ordinary user, whom permissions bind (root reads every directory).
    void unreadableDirectoryIsAnError()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        const QByteArray seen = asOrdinaryUser([&] {
            Scan scan(dir.path());
            auto [state, controls, feedback, session] = scan.parts();
            session.scanComPorts();
            QByteArray outcome;
            for (const Message& message : feedback.shown)
                outcome += message.title.toUtf8() + ": " + message.text.toUtf8() + '\n';
            return outcome +
                   (controls.isEnabled(ctl::SearchPoe) ? "Search PoE enabled" : "Search PoE disabled");
        });
        QFile::setPermissions(dir.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(seen, "Error: Could not read from " + dir.path().toUtf8() + "\nSearch PoE disabled");
    }
};

QTEST_GUILESS_MAIN(tst_SerialPortEnumerator)
#include "tst_serialportenumerator.moc"
