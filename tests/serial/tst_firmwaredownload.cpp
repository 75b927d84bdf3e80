// The firmware download end to end: the real main window against midspan-sim's loader, checked
// by the bytes on the wire, the boxes shown and the controls after the download.
#include "MidspanSimProcess.h"
#include "SRecordFile.h"
#include "SerialWindowRig.h"

#include <QEvent>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace
{

constexpr int WaitMs = 20000; // generous: the suite runs beside other programs on two cores
const QString LostText = QStringLiteral("Connction Error! Please Check AC Power and Cable.");
const QString Enter = QStringLiteral("0C 00 0C");
const QString Rst = QStringLiteral("52 53 54");
const QString StatusRead = QStringLiteral("04 00 04");
// S0 header "FW 2.7" and the S9 end record.
const QByteArray Header = "S0090000465720322E37A2";
const QByteArray End = "S9030000FC";
// Restarts in 50 ms, well within the restart display on the rig's clock, as a midspan's restart
// of some seconds lies within the display's 11.7 s.
const QStringList Plain{"--ports", "2", "--no-line-delay", "--restart-seconds", "0.05"};

// The window on a clock faster still: a download's pauses and its restart display are all but
// instant. The loader's silence and the wait for a poll reply in flight keep room for a loaded
// machine, where the simulator may answer late.
struct LoaderRig : SerialWindowRig {
    explicit LoaderRig(const QString& portDirectory) : SerialWindowRig(portDirectory, 0.01)
    {
        clock.setShortestRealTime(TimerId::LoaderSilence, 500);
        clock.setShortestRealTime(TimerId::Download, 50);
    }
};

QString wire(const QByteArray& text)
{
    return QString::fromLatin1(text.toHex(' ').toUpper());
}

// Stamps the clock's time each time the watched widget is made visible, and with `hides` also
// each time it is hidden.
class ShowStamp : public QObject
{
public:
    ShowStamp(QWidget* widget, const Clock& clock, bool hides = false) : clock_(clock), hides_(hides)
    {
        widget->installEventFilter(this);
    }
    QList<qint64> times;

    // The clock's time from the last stamp before now.
    qint64 sinceLastBeforeNow() const
    {
        const qint64 now = clock_.now();
        qint64 last = -1;
        for (const qint64 at : times)
            last = at < now ? at : last;
        return now - last;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ShowToParent || (hides_ && event->type() == QEvent::HideToParent))
            times.append(clock_.now());
        return false;
    }

private:
    const Clock& clock_;
    const bool hides_;
};

} // namespace

class tst_FirmwareDownload : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir files_;
    ReusedMidspanSim sims_;

    // A midspan with firmware 2.3 that no row before has left in its loader or with a fault.
    MidspanSimProcess* midspan(const QStringList& options = Plain)
    {
        MidspanSimProcess* sim = sims_.get(options);
        if (sim && sim->command("set system firmware 35") != QLatin1String("ok"))
            return nullptr;
        return sim;
    }

    QString writeFile(const QString& name, const QByteArray& content)
    {
        const QString path = files_.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return {};
        return path;
    }
    // Answered at once, while the reply to the poll in flight is still on its way.
    static void answerFileQuestion(SerialWindowRig& rig, const QString& path)
    {
        rig.feedback.chooseFile = [path] { return path; };
    }
    static void connectAndPoll(SerialWindowRig& rig, MidspanSimProcess& sim)
    {
        rig.chooseSerialLink();
        QVERIFY(rig.choosePort(QStringLiteral("ttyV0")));
        rig.click(ctl::SearchPoe);
        QTRY_COMPARE_WITH_TIMEOUT(rig.foundCount(), 1, WaitMs);
        rig.selectFound(0);
        QTRY_VERIFY_WITH_TIMEOUT(sim.frames().count(StatusRead) >= 2, WaitMs);
        QVERIFY(rig.controls().isEnabled(ctl::FirmwareDownload));
    }
    // The download is over, the controls are back and the session polls again.
    static void verifyCleanEnd(SerialWindowRig& rig)
    {
        const SerialState& link = rig.spanmon->serialState();
        QVERIFY(!link.downloadHoldsLine);
        QVERIFY(!link.loaderDialogue);
        QVERIFY(!link.queue.holds(SerialStep::SystemReset));
        QVERIFY(rig.controls().isVisible(ctl::FirmwareDownload));
        QVERIFY(!rig.controls().isVisible(ctl::DownloadIndicator));
        QVERIFY(!rig.controls().isVisible(ctl::SearchProgress));
        QVERIFY(rig.controls().isEnabled(ctl::SystemReset));
    }

private slots:
    void initTestCase() { QVERIFY(files_.isValid()); }

    void twoLineFileThenRestart()
    {
        MidspanSimProcess* midspanSim = midspan();
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        LoaderRig rig(sim.directory());
        connectAndPoll(rig, sim);
        QVERIFY(!QTest::currentTestFailed());
        const QByteArray header = srecord::record(0, 0, "FW 2.7");
        QCOMPARE(header, Header);
        answerFileQuestion(rig, writeFile("two.s19", header + "\r\n" + End + "\r\n"));

        ShowStamp buttonShown(rig.controls().widget(ctl::FirmwareDownload), rig.clock);
        QList<std::pair<qint64, int>> progress;
        connect(rig.controls().get<QProgressBar>(ctl::ProgressBar), &QProgressBar::valueChanged, this,
                [&](int value) {
                    progress.append({rig.clock.now(), value});
                });
        QStringList lineCounts;
        connect(rig.controls().get<QProgressBar>(ctl::SearchProgress), &QProgressBar::valueChanged, this,
                [&] { lineCounts.append(rig.text(ctl::SearchProgress)); });
        sim.clearFrames();
        rig.click(ctl::FirmwareDownload);
        const QStringList filters{QStringLiteral("s99 files(*.s99) "), QStringLiteral("s19 files(*.s19) ")};
        QCOMPARE(rig.feedback.fileFilters, QList<QStringList>{filters});
        QVERIFY(!rig.controls().isVisible(ctl::FirmwareDownload));
        QVERIFY(!rig.controls().isEnabled(ctl::SystemReset));

        QTRY_VERIFY_WITH_TIMEOUT(sim.frames().contains(StatusRead), WaitMs);
        QStringList frames = sim.frames();
        while (frames.constFirst() == StatusRead)
            frames.removeFirst(); // polls before the button press
        QCOMPARE(frames.mid(0, 7),
                 (QStringList{Enter, "45", "50", wire(header), wire(End), Rst, StatusRead}));
        QCOMPARE(lineCounts, (QStringList{"0 / 2 lines", "1 / 2 lines", "2 / 2 lines"}));

        // TP at the button's return; 400 + 400 ms to RST, 100 + 500 ms to the success display.
        QCOMPARE(buttonShown.times.size(), 1);
        QCOMPARE(progress.size(), 5);
        QCOMPARE(progress[0].first - buttonShown.times[0], 1400);
        const QList<std::pair<qint64, int>> timeline{{0, 6}, {2000, 11}, {4500, 17}, {8000, 21}, {11000, 24}};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(std::pair(progress[i].first - progress[0].first, progress[i].second), timeline[i]);
        QCOMPARE(rig.controls().text(ctl::ProgressText),
                 QStringLiteral("Success!! Waiting for System Reset......."));

        QTRY_COMPARE_WITH_TIMEOUT(rig.text(ctl::FirmwareRevision), QStringLiteral("2.7"), WaitMs);
        QCOMPARE(sim.command("get system image"), "2 records, last " + QString::fromLatin1(End));
        verifyCleanEnd(rig);
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(rig.feedback.shown.isEmpty());

        // The restart is over: a new description is written, not another reset.
        sim.clearFrames();
        rig.click(ctl::EditSystemDescription);
        QTRY_VERIFY_WITH_TIMEOUT(rig.controls().isVisible(ctl::DescriptionDialog), WaitMs);
        rig.click(ctl::DescriptionButton);
        QTest::keyClicks(rig.controls().get<QLineEdit>(ctl::DescriptionEdit), QStringLiteral("Rack B"));
        rig.click(ctl::DescriptionButton);
        QTRY_COMPARE_WITH_TIMEOUT(sim.command("get system description"), QStringLiteral("Rack B"), WaitMs);
        QVERIFY(sim.frames().filter(QRegularExpression("^01 ")).isEmpty());
    }

    void loaderThatWantsEntr()
    {
        MidspanSimProcess* midspanSim = midspan(Plain + QStringList{"--loader-wants-entr"});
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        LoaderRig rig(sim.directory());
        connectAndPoll(rig, sim);
        QVERIFY(!QTest::currentTestFailed());
        answerFileQuestion(rig, writeFile("entr.s19", srecord::file({"FW 3.1", 3, 16, 1, 0, true})));
        sim.clearFrames();
        rig.click(ctl::FirmwareDownload);
        QTRY_COMPARE_WITH_TIMEOUT(rig.text(ctl::FirmwareRevision), QStringLiteral("3.1"), WaitMs);
        QStringList frames = sim.frames();
        frames = frames.mid(frames.indexOf(Enter), 4);
        QCOMPARE(frames, (QStringList{Enter, "45 4E 54 52", "45", "50"}));
        QVERIFY(rig.feedback.shown.isEmpty());
    }

    // A wrong answer or a silent loader: the box of that step, which says that the midspan waits in
    // its loader. The session ends at once (neither polling nor a search reaches a loader), and
    // "Firmware Download" starts the download again on that port, at the erase command.
    void loaderFailures_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("again"); // the second download's box; empty: it succeeds

        const QStringList& plain = Plain;
        const auto row = [&](const char* name, const QString& fault, const QString& text,
                             const QStringList& options, const QString& again = {}) {
            QTest::newRow(name) << options << fault << text << again;
        };
        const QString silent = QStringLiteral("The midspan's loader has not answered for 30 seconds (%1).\r\n"
                                              "The download has been stopped.");
        row("wrong answer to ENTR", "3 wrong", "means inbuff!= 'T'  'P'  'E'  \r  \n  step  1*",
            plain + QStringList{"--loader-wants-entr"});
        row("wrong erase start", "3 wrong", "means inbuff!= 'T'  'O'  'E'  \r  \n  step  3", plain);
        row("wrong erase end", "4 wrong", "means inbuff!= 'T'  'E'  \r  \n step  4", plain);
        row("wrong ready", "5 wrong", "means inbuff!= 'T'  'P'  'E'  \r  \n step 5", plain);
        row("wrong program start", "6 wrong", "means inbuff!= 'T'  'O'  'P'  \r  \n  step  6", plain);
        row("wrong line answer", "7 wrong", "means inbuff!= 'T' '*'  \r  \n  step  7", plain);
        // A loader fallen silent stays so: the second download meets the same silence.
        row("silent after EnterDownload", "1 silent", silent.arg("step 1"), plain, silent.arg("step 3"));
        row("silent after P", "6 silent", silent.arg("step 6"), plain, silent.arg("step 3"));
        row("silent after the second line", "8 silent", silent.arg("step 7, line 2 of 3"), plain,
            silent.arg("step 3"));
        // The end of the transfer in answer to any record but the end record leaves a
        // half-written flash: no RST, no success.
        const QString early = QStringLiteral("The midspan's loader reported the transfer complete after line "
                                             "%1 of 3.\r\nThe download has been stopped.");
        row("TP after the first line", "7 tp", early.arg(1), plain);
        row("TP after the second line", "8 tp", early.arg(2), plain);
    }
    void loaderFailures()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, fault);
        QFETCH(QString, text);
        QFETCH(QString, again);
        const QString waiting =
            QStringLiteral("\r\n\r\nThe midspan stays in its loader, where a search cannot "
                           "find it.\r\nPress \"Firmware Download\" to start the download "
                           "again on ttyV0.");
        MidspanSimProcess* midspanSim = midspan(options);
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        QCOMPARE(sim.command("loader-fault " + fault), QStringLiteral("ok"));
        LoaderRig rig(sim.directory());
        connectAndPoll(rig, sim);
        QVERIFY(!QTest::currentTestFailed());
        answerFileQuestion(rig, writeFile("fails.s19", srecord::file({"FW 4.0", 1, 16, 1, 0, true})));
        // The indicator blinks with every message to the loader: a silence is timed from the last.
        ShowStamp sent(rig.controls().widget(ctl::DownloadIndicator), rig.clock, true);
        const bool silent = fault.endsWith(QLatin1String("silent"));
        rig.click(ctl::FirmwareDownload);

        QTRY_VERIFY_WITH_TIMEOUT(!rig.feedback.shown.isEmpty(), WaitMs);
        if (silent)
            QCOMPARE(sent.sinceLastBeforeNow(), FirmwareDownload::LoaderSilence.count());
        QCOMPARE(rig.feedback.shown.size(), 1);
        QCOMPARE(rig.feedback.shown[0],
                 (Message{"Error", text + waiting, Message::Icon::Exclamation, Message::Buttons::Ok}));
        const SerialState& link = rig.spanmon->serialState();
        QVERIFY(!link.downloadHoldsLine);
        QVERIFY(!link.queue.holds(SerialStep::SystemReset));
        QVERIFY(!rig.spanmon->serial().sessionRuns());
        QVERIFY(!rig.clock.isActive(TimerId::PollReply)); // no poll went to the loader
        QCOMPARE(rig.foundCount(), 0);
        QCOMPARE(sim.command("get system firmware"), QStringLiteral("35")); // 2.3, as before
        QVERIFY(!sim.frames().contains(Rst));
        QVERIFY(rig.controls().isVisible(ctl::FirmwareDownload));
        QVERIFY(rig.controls().isEnabled(ctl::FirmwareDownload));
        QVERIFY(rig.controls().isEnabled(ctl::SearchPoe));
        QVERIFY(!rig.controls().isEnabled(ctl::SystemReset));
        QVERIFY(!rig.controls().isVisible(ctl::DownloadIndicator));

        // Again, without a search.
        rig.feedback.shown.clear();
        sim.clearFrames();
        rig.click(ctl::FirmwareDownload);
        QCOMPARE(rig.feedback.fileFilters.size(), 2);
        if (!again.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(!rig.feedback.shown.isEmpty(), WaitMs);
            QCOMPARE(sent.sinceLastBeforeNow(), FirmwareDownload::LoaderSilence.count());
            QCOMPARE(rig.feedback.texts(), QStringList{again + waiting});
            QCOMPARE(sim.frames(), QStringList{"45"});
            QVERIFY(rig.controls().isEnabled(ctl::FirmwareDownload));
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(sim.command("get system firmware"), QStringLiteral("64"), WaitMs); // 4.0
        QCOMPARE(sim.frames().mid(0, 2), (QStringList{"45", "50"}));
        QVERIFY(!sim.frames().contains(Enter));
        QTRY_VERIFY_WITH_TIMEOUT(!link.downloadHoldsLine, WaitMs);
        QVERIFY(rig.feedback.shown.isEmpty());
        QVERIFY(rig.controls().isEnabled(ctl::SearchPoe));
        rig.click(ctl::SearchPoe);
        QTRY_COMPARE_WITH_TIMEOUT(rig.foundCount(), 1, WaitMs);
        rig.selectFound(0);
        QTRY_COMPARE_WITH_TIMEOUT(rig.text(ctl::FirmwareRevision), QStringLiteral("4.0"), WaitMs);
        QVERIFY(rig.feedback.shown.isEmpty());
    }

    // Lines go out as they are in the file, however long, and never with their line ends; each
    // address size has its own end record.
    void linesSentWhole_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<QByteArray>("end");
        QTest::newRow("S1, 16 data bytes, LF, S9")
            << QByteArray("S1131000000102030405060708090A0B0C0D0E0F64") << QByteArray("\n") << End;
        QTest::newRow("S2, 4 data bytes, CR LF, S8")
            << QByteArray("S20801000001020304EC") << QByteArray("\r\n") << QByteArray("S804000000FB");
        QTest::newRow("S3, 31 data bytes, CR LF, S7")
            << QByteArray("S32400010000000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E09")
            << QByteArray("\r\n") << QByteArray("S70500000000FA");
    }
    void linesSentWhole()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, lineEnd);
        QFETCH(QByteArray, end);
        MidspanSimProcess* midspanSim = midspan();
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        LoaderRig rig(sim.directory());
        connectAndPoll(rig, sim);
        QVERIFY(!QTest::currentTestFailed());
        answerFileQuestion(rig, writeFile("line.s19", Header + lineEnd + line + lineEnd + end + lineEnd));
        sim.clearFrames();
        rig.click(ctl::FirmwareDownload);
        QTRY_COMPARE_WITH_TIMEOUT(rig.text(ctl::FirmwareRevision), QStringLiteral("2.7"), WaitMs);
        QVERIFY2(rig.feedback.shown.isEmpty(), qPrintable(rig.feedback.texts().join(" | ")));
        const QStringList frames = sim.frames();
        QVERIFY(frames.contains(wire(line)));
        QVERIFY(!frames.contains("0D"));
        QVERIFY(!frames.contains("0A"));
        QVERIFY(rig.feedback.shown.isEmpty());
    }

    void cancelledFileChoiceKeepsPolling()
    {
        MidspanSimProcess* midspanSim = midspan();
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        LoaderRig rig(sim.directory());
        connectAndPoll(rig, sim);
        QVERIFY(!QTest::currentTestFailed());
        rig.click(ctl::FirmwareDownload); // no answer set: the operator cancels
        QCOMPARE(rig.feedback.fileFilters.size(), 1);
        sim.clearFrames();
        QTRY_VERIFY_WITH_TIMEOUT(sim.frames().count(StatusRead) >= 2, WaitMs);
        QVERIFY(!sim.frames().contains(Enter));
        verifyCleanEnd(rig);
        QVERIFY(rig.controls().isEnabled(ctl::FirmwareDownload));
        QTRY_COMPARE_WITH_TIMEOUT(rig.text(ctl::PortNumber), QStringLiteral("2"), WaitMs);
        QVERIFY(rig.feedback.shown.isEmpty());
    }

    // Nothing reaches the loader from a file it could not take whole, the loader's first command
    // erasing the flash: the message names the line, and the session goes on.
    void unusableFile_data()
    {
        QTest::addColumn<QString>("path"); // where the file is: written from content when empty
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason"); // the end of the text

        const QString cannotOpen = QStringLiteral("Cannot open the firmware file");
        const QString cannotLoad = QStringLiteral("Cannot load the firmware file");
        const QByteArray s1 = "S1131000000102030405060708090A0B0C0D0E0F64";
        const auto file = [&](const char* name, const QByteArray& content, const QString& reason) {
            QTest::newRow(name) << QString() << content << "Error" << cannotLoad << reason;
        };
        const auto empty = [&](const char* name, const QByteArray& content) {
            QTest::newRow(name) << QString() << content << "Spanmon"
                                << "Empty file!!" << QString();
        };
        QTest::newRow("missing file")
            << files_.filePath("absent.s19") << QByteArray() << "Error" << cannotOpen << "It does not exist.";
        QTest::newRow("named pipe") << files_.filePath("pipe.s19") << QByteArray() << "Error" << cannotOpen
                                    << "It cannot be read: it is a named pipe (FIFO), not a file.";
        QTest::newRow("/dev/zero") << "/dev/zero" << QByteArray() << "Error" << cannotOpen
                                   << "It cannot be read: it is a device, not a file.";
        QTest::newRow("larger than 16 MiB") << files_.filePath("huge.s19") << QByteArray() << "Error"
                                            << cannotOpen << "It cannot be read: it is larger than 16 MiB.";
        empty("empty file", "");
        empty("no lines", "\n");
        empty("first line empty", "\r\nS9030000FC\r\n");
        QByteArray garbage;
        for (int i = 0; i < 4096; ++i)
            garbage.append(char((i * 37 + 11) % 256));
        file("binary file", garbage, "Line 1 is not an S-record.");
        file("text that is no S-record", Header + "\r\nnot a record\r\n" + End + "\r\n",
             "Line 2 is not an S-record.");
        file("10,000-character line", Header + "\r\nS1FF" + QByteArray(9996, 'F') + "\r\n" + End + "\r\n",
             "Line 2 counts 255 bytes but holds 4998.");
        file("count one short", Header + "\r\nS112" + s1.mid(4) + "\r\n" + End + "\r\n",
             "Line 2 counts 18 bytes but holds 19.");
        file("wrong checksum, after a blank line",
             Header + "\r\n\r\n" + s1.chopped(2) + "65\r\n" + End + "\r\n", "Line 3 has a wrong checksum.");
        file("S4 record", Header + "\r\nS4030000FC\r\n" + End + "\r\n",
             "Line 2 is of type S4, which does not exist.");
        file("count too short for the address", Header + "\r\nS2030000FC\r\n" + End + "\r\n",
             "Line 2 is too short for its address and checksum.");
        file("no end record", Header + "\r\n" + s1 + "\r\n\r\n",
             "Line 2, the last, is no end record (S7, S8 or S9).");
        file("record after the end record", Header + "\r\n" + End + "\r\n" + s1 + "\r\n",
             "Line 3 follows the end record (line 2).");
        file("two end records", Header + "\r\n" + s1 + "\n" + End + "\n" + End + "\n",
             "Line 4 follows the end record (line 3).");
    }
    void unusableFile()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, content);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(QString, reason);
        if (path.endsWith(QLatin1String("pipe.s19")))
            QVERIFY(QFile::exists(path) || ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        if (path.endsWith(QLatin1String("huge.s19"))) {
            QFile huge(path);
            QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(FirmwareDownload::MaxFileSize + 1));
        }
        MidspanSimProcess* midspanSim = midspan();
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        LoaderRig rig(sim.directory());
        connectAndPoll(rig, sim);
        QVERIFY(!QTest::currentTestFailed());
        if (path.isEmpty())
            path = writeFile("bad.s19", content);
        answerFileQuestion(rig, path);
        sim.clearFrames();
        rig.click(ctl::FirmwareDownload);
        QTRY_VERIFY_WITH_TIMEOUT(sim.frames().count(StatusRead) >= 2, WaitMs);
        QVERIFY2(rig.feedback.shown.size() == 1,
                 qPrintable(rig.feedback.texts().join(QStringLiteral(" | "))));
        QCOMPARE(rig.feedback.shown[0].title, title);
        const QString shown = rig.feedback.shown[0].text;
        QVERIFY2(shown.startsWith(text) && shown.endsWith(reason), qPrintable(shown));
        if (title == QLatin1String("Error"))
            QCOMPARE(shown, text + "\r\n" + path + "\r\n" + reason);
        QVERIFY(!sim.frames().contains(Enter));
        QVERIFY(!sim.frames().contains("45"));
        verifyCleanEnd(rig);
    }

    void pulledAdapterDuringDownload()
    {
        MidspanSimProcess* midspanSim = midspan();
        QVERIFY(midspanSim);
        MidspanSimProcess& sim = *midspanSim;
        LoaderRig rig(sim.directory());
        connectAndPoll(rig, sim);
        QVERIFY(!QTest::currentTestFailed());
        answerFileQuestion(rig, writeFile("long.s19", srecord::file({"FW 5.0", 400, 16, 1, 0, true})));
        QCOMPARE(sim.command("delay 10"), QStringLiteral("ok"));
        rig.click(ctl::FirmwareDownload);
        QTRY_VERIFY_WITH_TIMEOUT(rig.controls().value(ctl::SearchProgress) >= 5, WaitMs);
        QCOMPARE(sim.command("drop-line"), QStringLiteral("ok"));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.feedback.shown.isEmpty(), WaitMs);
        QCOMPARE(rig.feedback.texts(), QStringList{LostText});
        const SerialState& link = rig.spanmon->serialState();
        QVERIFY(!link.downloadHoldsLine);
        QVERIFY(!link.loaderDialogue);
        QVERIFY(!rig.spanmon->serial().sessionRuns());
        QVERIFY(!rig.controls().isVisible(ctl::DownloadIndicator));
        QVERIFY(rig.controls().isVisible(ctl::FirmwareDownload));
        QVERIFY(!rig.controls().isVisible(ctl::SearchProgress));
        QVERIFY(rig.controls().isEnabled(ctl::SearchPoe));
        // A loader silence would have been reported by now.
        QTest::qWait(
            int(rig.clock.realTime(TimerId::LoaderSilence, FirmwareDownload::LoaderSilence).count()) + 200);
        QCOMPARE(rig.feedback.shown.size(), 1);
    }
};

QTEST_MAIN(tst_FirmwareDownload)
#include "tst_firmwaredownload.moc"
