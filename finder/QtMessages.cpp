#include "finder/QtMessages.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace finder
{

void QtMessages::show(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok, parent_);
    box.exec();
}

} // namespace finder
