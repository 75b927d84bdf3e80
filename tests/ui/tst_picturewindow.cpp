#include "ui/MyStatic.h"
#include "ui/PictureWindow.h"

#include <QImage>
#include <QScrollBar>
#include <QTest>

// The picture window's scroll bars and the coloured static's colours, as drawn on screen.
class tst_PictureWindow : public QObject
{
    Q_OBJECT

    static QPixmap picture(int width, int height)
    {
        QPixmap p(width, height);
        p.fill(Qt::blue);
        return p;
    }

private slots:
    void smallerPictureShowsNoScrollBars()
    {
        PictureWindow window;
        window.resize(120, 110);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.showPicture(PictureWindow::productPicture());
        QCOMPARE(PictureWindow::productPicture().size(), QSize(95, 88));
        QCoreApplication::processEvents();
        QVERIFY(!window.horizontalScrollBar()->isVisibleTo(&window));
        QVERIFY(!window.verticalScrollBar()->isVisibleTo(&window));
    }

    // The picture stands beside units of 8, 12 and 24 ports, so it shows no port count: nothing is
    // drawn below the panel.
    void productPictureCarriesNoPortCount()
    {
        const QImage picture = PictureWindow::productPicture().toImage();
        const QColor background = picture.pixelColor(0, picture.height() - 1);
        for (int y = 66; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                QCOMPARE(picture.pixelColor(x, y), background);
    }

    void pagingStopsAtThePicturesEdge()
    {
        PictureWindow window;
        window.resize(100, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.showPicture(picture(150, 40)); // wider only
        QCoreApplication::processEvents();
        QScrollBar* across = window.horizontalScrollBar();
        QVERIFY(across->isVisibleTo(&window));
        QVERIFY(!window.verticalScrollBar()->isVisibleTo(&window));
        QCOMPARE(window.viewport()->width(), window.contentsRect().width());
        const int visibleWidth = window.viewport()->width();
        QCOMPARE(across->maximum(), 150 - visibleWidth);
        QCOMPARE(across->pageStep(), 20);
        across->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(window.offset().x(), 20);
        for (int i = 0; i < 10; ++i)
            across->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(window.offset().x(), 150 - visibleWidth);
        across->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QCOMPARE(window.offset().x(), 150 - visibleWidth - 1);
        across->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(window.offset().x(), 0);
    }

    // The text stands at the top left, black on white, as wide as the words are in the window's font.
    void missingPictureSaysSo()
    {
        PictureWindow window;
        window.resize(120, 110);
        window.showPicture(QPixmap());
        const QImage shot = window.viewport()->grab().toImage();
        QRect inked;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QColor pixel = shot.pixelColor(x, y);
                if (pixel == QColor(Qt::white))
                    continue;
                QVERIFY2(pixel.red() == pixel.green() && pixel.green() == pixel.blue(),
                         qPrintable(QStringLiteral("%1 at %2, %3").arg(pixel.name()).arg(x).arg(y)));
                inked |= QRect(x, y, 1, 1);
            }
        const QFontMetrics metrics(window.viewport()->font());
        QVERIFY(inked.isValid());
        QVERIFY(inked.left() < 4 && inked.top() < metrics.height());
        QVERIFY(inked.bottom() < metrics.height());
        QVERIFY2(qAbs(inked.width() - metrics.boundingRect(QStringLiteral("File not found.")).width()) <= 3,
                 qPrintable(QStringLiteral("%1 pixels inked across").arg(inked.width())));
        QCoreApplication::processEvents();
        QVERIFY(!window.horizontalScrollBar()->isVisibleTo(&window));
    }

    void blackStaticWithDefaultTextColourPaintsGreenOnBlack()
    {
        MyStatic cell(QStringLiteral("8888"));
        cell.setFont(QFont(cell.font().family(), 20, QFont::Bold));
        cell.resize(80, 30);
        cell.setBackgroundColour(Qt::white);
        cell.setBackgroundColour(Qt::black);
        const QImage shot = cell.grab().toImage();
        QCOMPARE(shot.pixelColor(1, 1), QColor(Qt::black));
        bool green = false;
        for (int y = 0; y < shot.height() && !green; ++y)
            for (int x = 0; x < shot.width() && !green; ++x)
                green = shot.pixelColor(x, y) == QColor(0, 255, 0);
        QVERIFY2(green, "the figures are drawn in the default green");
    }
};

QTEST_MAIN(tst_PictureWindow)
#include "tst_picturewindow.moc"
