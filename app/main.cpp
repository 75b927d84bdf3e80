#include "app/Clock.h"
#include "app/DialogFeedback.h"
#include "app/MainWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Spanmon"));

    Clock clock;
    DialogFeedback feedback;
    MainWindow window(clock, feedback);
    feedback.setParent(&window);
    window.show();
    return app.exec();
}
