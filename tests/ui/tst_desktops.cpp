// Spanmon's window on the desktops operators have rather than the test machine's: without the
// fonts it was designed with, under a dark colour scheme, at a large scale factor. Each run is one
// desktop, set up before Qt starts (see main below); the screenshots of the documentation come
// from here, so that they show the window as it is.
#include "RecordingFeedback.h"

#include "app/Spanmon.h"
#include "core/Clock.h"
#include "core/ControlIds.h"
#include "core/DeviceState.h"
#include "ui/DialogUnits.h"
#include "ui/HistoryView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace
{

struct Window {
    Clock clock{0.01};
    RecordingFeedback feedback;
    Spanmon spanmon{clock, feedback};
    MainWindow& window = spanmon.window();
};

// The relative luminance and contrast ratio of the web's accessibility guidelines.
double luminance(QRgb rgb)
{
    auto channel = [](int c) {
        const double v = c / 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The text's contrast in a patch of the rendered window: the commonest colour is the ground, the
// pixel furthest from it the ink.
double textContrast(const QImage& patch)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < patch.height(); ++y)
        for (int x = 0; x < patch.width(); ++x)
            ++counts[patch.pixel(x, y) | 0xFF000000u];
    QRgb ground = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most)
            std::tie(ground, most) = std::pair(it.key(), it.value());
    double best = 1.0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, contrast(ground, it.key()));
    return best;
}

QString caption(const QWidget* widget)
{
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return label->pixmap().isNull() ? label->text() : QString();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (const auto* group = qobject_cast<const QGroupBox*>(widget))
        return group->title();
    return {};
}

// Where a control draws its caption, as its style places it.
QRect captionRect(QWidget* widget)
{
    if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        return box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.textAlignment = group->alignment();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        return group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
    }
    if (auto* button = qobject_cast<QPushButton*>(widget))
        return button->rect().adjusted(3, 3, -3, -3);
    return widget->contentsRect();
}

// The captioned controls the operator sees on the chosen tab: the system panel and the page.
QList<QWidget*> captionedControls(MainWindow& window)
{
    QList<QWidget*> shown;
    for (QWidget* widget : window.findChildren<QWidget*>())
        if (widget->isVisibleTo(&window) && !caption(widget).trimmed().isEmpty())
            shown.append(widget);
    return shown;
}

// A dark colour scheme as KDE's Breeze Dark and GNOME's dark style hand it to Qt.
QPalette darkScheme()
{
    QPalette dark;
    const QColor window(0x31, 0x36, 0x3B);
    const QColor light(0xEF, 0xF0, 0xF1);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, light);
    dark.setColor(QPalette::Base, QColor(0x1B, 0x1E, 0x20));
    dark.setColor(QPalette::AlternateBase, QColor(0x23, 0x26, 0x29));
    dark.setColor(QPalette::Text, light);
    dark.setColor(QPalette::Button, window);
    dark.setColor(QPalette::ButtonText, light);
    dark.setColor(QPalette::Light, QColor(0x40, 0x46, 0x4C));
    dark.setColor(QPalette::Mid, QColor(0x25, 0x29, 0x2C));
    dark.setColor(QPalette::Dark, QColor(0x1A, 0x1D, 0x1F));
    dark.setColor(QPalette::Highlight, QColor(0x3D, 0xAE, 0xE9));
    dark.setColor(QPalette::HighlightedText, light);
    return dark;
}

// Screenshots go beside the README, small: an indexed palette of the window's few colours.
void saveScreenshot(QWidget* widget, const QString& name)
{
    const QString folder = QStringLiteral(SCREENSHOT_DIR);
    QVERIFY(QDir().mkpath(folder));
    const QImage shot =
        widget->grab().toImage().convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    QVERIFY(shot.save(folder + QLatin1Char('/') + name));
}

} // namespace

class tst_Desktops : public QObject
{
    Q_OBJECT

    static void tabRows()
    {
        QTest::addColumn<int>("tab");
        QTest::newRow("port control page") << 0;
        QTest::newRow("parametric page") << 1;
    }

private slots:
    void everyCaptionWholeWithAFallbackFont_data() { tabRows(); }
    void everyCaptionWholeWithAFallbackFont()
    {
        QFETCH(int, tab);
        Window w;
        w.window.show();
        w.window.selectTab(tab);
        QStringList cut;
        for (QWidget* control : captionedControls(w.window)) {
            const QString text = caption(control).remove(u'&');
            const QRect room = captionRect(control);
            const QFontMetrics metrics(control->font());
            const auto* label = qobject_cast<QLabel*>(control);
            const QRect needed = label && label->wordWrap()
                                     ? metrics.boundingRect(room, Qt::TextWordWrap | label->alignment(), text)
                                     : QRect(0, 0, metrics.horizontalAdvance(text), metrics.height());
            if (needed.width() > room.width() ||
                (label && label->wordWrap() && needed.height() > room.height()))
                cut.append(
                    QStringLiteral("\"%1\" needs %2 of %3").arg(text).arg(needed.width()).arg(room.width()));
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("; "))));
    }

    void everyCaptionReadableUnderADarkScheme_data() { tabRows(); }
    void everyCaptionReadableUnderADarkScheme()
    {
        QFETCH(int, tab);
        const QPalette before = QApplication::palette();
        QApplication::setPalette(darkScheme());
        Window w;
        w.window.show();
        w.window.selectTab(tab);
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        const QImage shot = w.window.grab().toImage();
        const qreal ratio = shot.devicePixelRatio();
        QStringList faint;
        for (QWidget* control : captionedControls(w.window)) {
            const QRect rect = captionRect(control).translated(control->mapTo(&w.window, QPoint(0, 0)));
            const QRect pixels =
                QRectF(QPointF(rect.topLeft()) * ratio, QSizeF(rect.size()) * ratio).toRect();
            const double measured = textContrast(shot.copy(pixels));
            if (measured < 4.5)
                faint.append(QStringLiteral("\"%1\" %2:1").arg(caption(control)).arg(measured, 0, 'f', 1));
        }
        if (tab == 0)
            saveScreenshot(&w.window, QStringLiteral("spanmon-dark.png"));
        QApplication::setPalette(before);
        QVERIFY2(faint.isEmpty(), qPrintable(faint.join(QStringLiteral("; "))));
    }

    // On a 1080p screen less a panel (1920×1040 pixels available), at the scale factor of the run.
    void fitsTheScreenAndScrollsToEveryControl()
    {
        Window w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        const qreal scale = w.window.devicePixelRatio();
        const QSize onScreen = (QSizeF(w.window.size()) * scale).toSize();
        QVERIFY2(onScreen.width() <= 1920 && onScreen.height() <= 1000,
                 qPrintable(QStringLiteral("%1×%2").arg(onScreen.width()).arg(onScreen.height())));
        // What does not fit is one scroll away: the tab control at the bottom and the found-device
        // list at the right.
        auto* scroll = w.window.findChild<QScrollArea*>();
        QVERIFY(scroll);
        for (int id : {ctl::Tabs, ctl::FoundDevices, ctl::SearchPoe}) {
            QWidget* control = w.window.controls().widget(id);
            scroll->ensureWidgetVisible(control, 0, 0);
            const QRect inViewport(control->mapTo(scroll->viewport(), QPoint(0, 0)),
                                   control->size().boundedTo(scroll->viewport()->size()));
            QVERIFY2(scroll->viewport()->rect().contains(inViewport), qPrintable(QString::number(id)));
        }
        scroll->ensureVisible(0, 0);
        // Lamps are drawn with a pixel for each of the screen's, not blown up from scale 1.
        int lamps = 0;
        for (const QLabel* label : w.window.findChildren<QLabel*>()) {
            const QPixmap picture = label->pixmap();
            if (picture.isNull())
                continue;
            QCOMPARE(picture.devicePixelRatio(), scale);
            ++lamps;
        }
        QVERIFY(lamps >= 24);
        if (qFuzzyCompare(scale, 1.5))
            saveScreenshot(&w.window, QStringLiteral("spanmon-scale-1.5.png"));
    }

    // The History window on the same screen, every port of a full unit described with the widest
    // ten letters: it fits and nothing in it is cut; the port list shows every entry whole, in a
    // second column only where one would not fit, with a swatch in the screen's own pixels.
    void historyFitsTheScreenWithEveryPortWhole()
    {
        Window w;
        DeviceState state;
        state.portDescription.fill(QString(10, u'W'));
        w.spanmon.core().history().describeFrom(state);
        w.window.historyModule().setFolders({QStringLiteral(HISTORY_MODULE_DIR)});
        w.window.controls().get<QPushButton>(ctl::History)->click();
        QVERIFY2(w.window.historyWindow(), qPrintable(w.feedback.texts().join(u'\n')));
        QWidget* window = w.window.historyWindow()->widget();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const qreal scale = window->devicePixelRatio();
        const QSize onScreen = (QSizeF(window->frameGeometry().size()) * scale).toSize();
        QVERIFY2(onScreen.width() <= 1920 && onScreen.height() <= 1000,
                 qPrintable(QStringLiteral("%1×%2").arg(onScreen.width()).arg(onScreen.height())));
        QStringList cut;
        for (QWidget* part : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QSize least = part->minimumSizeHint().expandedTo(part->minimumSize());
            if (!window->rect().contains(part->geometry()) || part->width() < least.width() ||
                part->height() < std::max(least.height(), part->heightForWidth(part->width())))
                cut << QString::fromLatin1(part->metaObject()->className());
        }
        auto* list = window->findChild<QListWidget*>();
        QSet<int> columns;
        for (int row = 0; row < 24; ++row) {
            const QRect shown = list->visualItemRect(list->item(row));
            columns.insert(shown.left());
            const QImage swatch = list->item(row)->icon().pixmap(list->iconSize(), scale).toImage();
            QSet<QRgb> inks; // a blown-up swatch blurs: its edge mixes its colour with the ground
            for (int y = 0; y < swatch.height(); ++y)
                for (int x = 0; x < swatch.width(); ++x)
                    inks.insert(swatch.pixel(x, y));
            if (!list->item(row)->text().endsWith(QString(10, u'W')) ||
                !list->viewport()->rect().contains(shown) || list->sizeHintForRow(row) > shown.height() ||
                list->sizeHintForColumn(0) > shown.width() || swatch.devicePixelRatio() != scale ||
                inks.size() != 2)
                cut << list->item(row)->text();
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("; "))));
        // One column where the screen has room for it.
        const int oneColumn = window->height() + list->sizeHint().height() - list->height();
        QVERIFY2(columns.size() == 1 || oneColumn * scale > 1000, qPrintable(QString::number(oneColumn)));
    }

    // A progress (the power-cycle's count-down among them) leaves the page's commands in sight.
    void progressLeavesThePortCommandsInSight()
    {
        Window w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.window.view().showProgress(QStringLiteral("Port 3 off, on again in 5 s"));
        QWidget* progress = w.window.controls().widget(ctl::ProgressDialog);
        QTRY_VERIFY(progress->isVisible());
        const QRect shown = progress->frameGeometry();
        for (int id : {ctl::SendPortControl, ctl::LedKeyGroup, ctl::PortCommandsGroup}) {
            QWidget* control = w.window.controls().widget(id);
            const QRect onScreen(control->mapToGlobal(QPoint(0, 0)), control->size());
            QVERIFY2(!shown.intersects(onScreen), qPrintable(QString::number(id)));
        }
        // Still over the window, where the operator looks.
        QVERIFY(w.window.frameGeometry().contains(shown.center()));
    }

    void lightScreenshot()
    {
        Window w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        const DialogUnits du(w.window.font());
        QCOMPARE(w.window.size(), du.size(466, 303));
        saveScreenshot(&w.window, QStringLiteral("spanmon.png"));
    }
};

namespace
{

// The desktop of this run, made before Qt reads its environment: "--fallback-fonts" hides Carlito
// and Liberation from the font configuration; "--scale F" sets Qt's scale factor. Every run has a
// 1080p screen, less a panel of 40 pixels.
bool prepareDesktop(QStringList& arguments, const QTemporaryDir& dir)
{
    int scaleAt = static_cast<int>(arguments.indexOf(QStringLiteral("--scale")));
    if (scaleAt > 0 && scaleAt + 1 < arguments.size()) {
        qputenv("QT_SCALE_FACTOR", arguments.at(scaleAt + 1).toLatin1());
        arguments.remove(scaleAt, 2);
    }
    QFile screen(dir.filePath(QStringLiteral("screen.json")));
    if (!screen.open(QIODevice::WriteOnly) ||
        screen.write(R"({"screens": [{"name": "1080p", "x": 0, "y": 0, "width": 1920, "height": 1040,
                         "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})") < 0)
        return false;
    screen.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screen.fileName().toLocal8Bit());
    if (arguments.removeAll(QStringLiteral("--fallback-fonts")) == 0)
        return true;
    QFile config(dir.filePath(QStringLiteral("fonts.conf")));
    if (!config.open(QIODevice::WriteOnly) || config.write(R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <include ignore_missing="no">/etc/fonts/fonts.conf</include>
  <selectfont><rejectfont><glob>*Carlito*</glob><glob>*Liberation*</glob></rejectfont></selectfont>
</fontconfig>
)") < 0)
        return false;
    qputenv("FONTCONFIG_FILE", config.fileName().toLocal8Bit());
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const QTemporaryDir dir;
    const bool fallback = arguments.contains(QStringLiteral("--fallback-fonts"));
    if (!dir.isValid() || !prepareDesktop(arguments, dir))
        return 1;
    QApplication app(argc, argv);
    // The run is worth something only when the designed fonts are really gone.
    for (const char* family : {"Carlito", "Liberation Sans"}) {
        const QString found = QFontInfo(QFont(QString::fromLatin1(family))).family();
        if (fallback && found == QLatin1String(family)) {
            qCritical("%s is still found", family);
            return 1;
        }
    }
    tst_Desktops test;
    return QTest::qExec(&test, arguments);
}

#include "tst_desktops.moc"
