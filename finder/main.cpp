#include "finder/MainWindow.h"
#include "finder/QtMessages.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ethfind"));

    finder::QtMessages messages;
    finder::MainWindow window(messages);
    messages.setParent(&window);
    window.show();
    return app.exec();
}
