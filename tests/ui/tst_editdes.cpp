#include "core/DeviceState.h"
#include "ui/EditDes.h"
#include "ui/LampImages.h"
#include "ui/WidgetControls.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

// Identifiers of the description dialog's design.
constexpr int GroupId = 1364;
constexpr int EditId = 1478;
constexpr int ButtonId = 1342;

// Types text as a keyboard would, including characters QTest::keyClicks cannot type.
void type(QWidget* widget, const QString& text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(widget, &release);
    }
}

class tst_EditDes : public QObject
{
    Q_OBJECT

    struct Rig {
        DeviceState state;
        LampImages lamps;
        WidgetControls controls{lamps};
        EditDes dialog{state, controls, nullptr};

        QLineEdit* edit() const { return controls.get<QLineEdit>(EditId); }
        QPushButton* button() const { return controls.get<QPushButton>(ButtonId); }
        QString prompt() const { return controls.get<QGroupBox>(GroupId)->title(); }
        void press() const { QTest::mouseClick(button(), Qt::LeftButton); }
    };

private slots:
    void portModeOpensLockedWithTheOldText();
    void editEmptiesTheBoxAndSaveAtOnceStoresEmptyText();
    void savedTextGoesToThePortSlot();
    void typing_data();
    void typing();
    void enterAndEscapeNeitherSaveNorClose();
    void closeBoxCancelsAndStoresNothing();
    void systemModeStoresTheSystemDescription();
    void systemModeEndsInPortModeWhenCancelled();
};

void tst_EditDes::portModeOpensLockedWithTheOldText()
{
    Rig rig;
    rig.dialog.openForSystem();
    rig.press();
    rig.press(); // saved before
    rig.dialog.openForPort(4, QStringLiteral("Lobby"));

    QVERIFY(rig.dialog.isVisible());
    QCOMPARE(rig.dialog.windowTitle(), QStringLiteral("Spanmon"));
    QCOMPARE(rig.prompt(), QStringLiteral("Please Enter Port Description Max.10 Char."));
    QCOMPARE(rig.edit()->text(), QStringLiteral("Lobby"));
    QVERIFY(!rig.edit()->isEnabled());
    QCOMPARE(rig.edit()->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    QCOMPARE(rig.button()->text(), QStringLiteral("Edit"));
    QVERIFY(!rig.button()->autoDefault());
    QVERIFY(!rig.dialog.saved());
    QVERIFY(!rig.dialog.editsSystem());
}

void tst_EditDes::editEmptiesTheBoxAndSaveAtOnceStoresEmptyText()
{
    Rig rig;
    rig.state.portDescription[4] = QStringLiteral("Lobby");
    rig.dialog.openForPort(4, QStringLiteral("Lobby"));
    QSignalSpy finished(&rig.dialog, &QDialog::finished);

    rig.press();
    QCOMPARE(rig.button()->text(), QStringLiteral("Save"));
    QVERIFY(rig.edit()->isEnabled());
    QCOMPARE(rig.edit()->text(), QString());
    QVERIFY(rig.dialog.isVisible());

    rig.press();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
    QVERIFY(!rig.dialog.isVisible());
    QVERIFY(rig.dialog.saved());
    QCOMPARE(rig.dialog.port(), 4);
    QCOMPARE(rig.state.portDescription[4], QString());
    QCOMPARE(rig.dialog.text(), QString());
}

void tst_EditDes::savedTextGoesToThePortSlot()
{
    Rig rig;
    rig.state.portDescription[23] = QStringLiteral("Old");
    rig.state.portDescription[24] = QStringLiteral("Neighbour");
    rig.dialog.openForPort(23, QStringLiteral("Old"));
    rig.press();
    QTest::keyClicks(rig.edit(), QStringLiteral("Camera 23"));
    rig.press();

    QCOMPARE(rig.dialog.result(), int(QDialog::Accepted));
    QCOMPARE(rig.state.portDescription[23], QStringLiteral("Camera 23"));
    QCOMPARE(rig.state.portDescription[24], QStringLiteral("Neighbour"));
    QCOMPARE(rig.dialog.port(), 23);
    QCOMPARE(rig.dialog.text(), QStringLiteral("Camera 23"));
    QCOMPARE(rig.state.systemDescription, QString());
}

void tst_EditDes::typing_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");

    QTest::newRow("ten characters") << "ABCDEFGHIJ"
                                    << "ABCDEFGHIJ";
    QTest::newRow("eleventh character refused") << "ABCDEFGHIJK"
                                                << "ABCDEFGHIJ";
    QTest::newRow("blanks and signs kept") << " a-b_c/1 ~"
                                           << " a-b_c/1 ~";
    QTest::newRow("characters the midspan cannot keep refused") << QString::fromUtf8("Gr\xc3\xbc\xc3\x9f"
                                                                                     "e")
                                                                << "Gre";
}

void tst_EditDes::typing()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);

    Rig rig;
    rig.dialog.openForPort(1, QString());
    rig.press();
    type(rig.edit(), typed);
    QCOMPARE(rig.edit()->text(), kept);
}

void tst_EditDes::enterAndEscapeNeitherSaveNorClose()
{
    Rig rig;
    rig.dialog.openForPort(2, QStringLiteral("Old"));
    QSignalSpy finished(&rig.dialog, &QDialog::finished);
    rig.press();
    QTest::keyClicks(rig.edit(), QStringLiteral("New"));

    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(rig.edit(), Qt::Key(key));
        QTest::keyClick(&rig.dialog, Qt::Key(key));
    }
    QVERIFY(rig.dialog.isVisible());
    QCOMPARE(finished.count(), 0);
    QVERIFY(!rig.dialog.saved());
    QCOMPARE(rig.state.portDescription[2], QString());
    QCOMPARE(rig.edit()->text(), QStringLiteral("New"));
    QCOMPARE(rig.button()->text(), QStringLiteral("Save"));
}

void tst_EditDes::closeBoxCancelsAndStoresNothing()
{
    Rig rig;
    rig.state.portDescription[6] = QStringLiteral("Old");
    rig.dialog.openForPort(6, QStringLiteral("Old"));
    QSignalSpy finished(&rig.dialog, &QDialog::finished);
    rig.press();
    QTest::keyClicks(rig.edit(), QStringLiteral("New"));
    QVERIFY(rig.dialog.close());

    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
    QVERIFY(!rig.dialog.saved());
    QCOMPARE(rig.state.portDescription[6], QStringLiteral("Old"));
    QCOMPARE(rig.dialog.text(), QStringLiteral("Old"));
}

void tst_EditDes::systemModeStoresTheSystemDescription()
{
    Rig rig;
    rig.state.systemDescription = QStringLiteral("Rack 1");
    rig.state.portDescription[1] = QStringLiteral("Lobby");
    rig.dialog.openForSystem();

    QCOMPARE(rig.prompt(), QStringLiteral("Please Enter System Description Max.10 Char."));
    QCOMPARE(rig.edit()->text(), QStringLiteral("Rack 1"));
    QVERIFY(rig.dialog.editsSystem());
    rig.press();
    QTest::keyClicks(rig.edit(), QStringLiteral("Rack 2"));
    rig.press();

    QVERIFY(rig.dialog.saved());
    QCOMPARE(rig.state.systemDescription, QStringLiteral("Rack 2"));
    QCOMPARE(rig.state.portDescription[1], QStringLiteral("Lobby"));
    QVERIFY(!rig.dialog.editsSystem());

    // The next port edit shows the port prompt again.
    rig.dialog.openForPort(3, QStringLiteral("Lobby"));
    QCOMPARE(rig.prompt(), QStringLiteral("Please Enter Port Description Max.10 Char."));
    QCOMPARE(rig.edit()->text(), QStringLiteral("Lobby"));
}

void tst_EditDes::systemModeEndsInPortModeWhenCancelled()
{
    Rig rig;
    rig.state.systemDescription = QStringLiteral("Rack 1");
    rig.dialog.openForSystem();
    rig.press();
    rig.dialog.close();

    QVERIFY(!rig.dialog.saved());
    QCOMPARE(rig.state.systemDescription, QStringLiteral("Rack 1"));
    QVERIFY(!rig.dialog.editsSystem());
}

QTEST_MAIN(tst_EditDes)
#include "tst_editdes.moc"
