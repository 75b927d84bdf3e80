// The power-cycle dialog lays out the ports it offers: in order, without gaps for the ports it
// leaves out, each tick box with the port's description beside it.
#include "ui/PowerCycleDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QTest>

class tst_PowerCycleDialog : public QObject
{
    Q_OBJECT

private slots:
    void offeredPortsFillTheGridInOrder_data()
    {
        QTest::addColumn<std::vector<int>>("offered");
        QTest::newRow("all 24") << std::vector<int>{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                                    13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
        QTest::newRow("every other port off") << std::vector<int>{2, 4, 6, 8, 10, 12, 14};
        QTest::newRow("first and last") << std::vector<int>{1, 24};
        QTest::newRow("port 6 off of 8") << std::vector<int>{1, 2, 3, 4, 5, 7, 8};
    }
    void offeredPortsFillTheGridInOrder()
    {
        QFETCH(std::vector<int>, offered);
        PowerCycleDialog dialog;
        std::array<QString, MaxPorts + 1> descriptions;
        for (int port = 1; port <= MaxPorts; ++port)
            descriptions[std::size_t(port)] = QStringLiteral("Camera %1").arg(port);
        dialog.offer(offered, offered.back(), descriptions);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        // Reading order: top to bottom, then left to right; no cell left empty before the last.
        QList<int> readingOrder;
        QList<QRect> boxes;
        for (int port = 1; port <= MaxPorts; ++port) {
            QCheckBox* box = dialog.portBox(port);
            QLabel* description = dialog.portDescription(port);
            const bool shown = std::find(offered.begin(), offered.end(), port) != offered.end();
            QCOMPARE(box->isVisible(), shown);
            QCOMPARE(description->isVisible(), shown);
            if (!shown)
                continue;
            QCOMPARE(description->text(), QStringLiteral("Camera %1").arg(port));
            // Beside its box: on the same line, just right of it.
            const QRect b = box->geometry();
            const QRect d = description->geometry();
            QVERIFY2(d.left() >= b.right() && d.left() - b.right() < 30 &&
                         d.center().y() - b.center().y() < 4,
                     qPrintable(QString::number(port)));
            boxes.append(b);
        }
        // No cell empty before the last box: the i-th offered port sits in the i-th cell of the grid.
        auto* grid = qobject_cast<QGridLayout*>(dialog.portBox(offered.front())->parentWidget()->layout());
        QVERIFY(grid);
        const int perLine = grid->columnCount() / 2;
        for (int i = 0; i < int(offered.size()); ++i) {
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(grid->indexOf(dialog.portBox(offered[std::size_t(i)])), &row, &column,
                                  &rows, &columns);
            QCOMPARE(row * perLine + column / 2, i);
        }
        QCOMPARE(boxes.size(), qsizetype(offered.size()));
        QCOMPARE(dialog.chosenPorts(), std::vector<int>{offered.back()});
    }
};

QTEST_MAIN(tst_PowerCycleDialog)
#include "tst_powercycledialog.moc"
