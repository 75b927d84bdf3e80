#include "ui/DialogFeedback.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace
{

// Texts keep the line breaks of the Windows original, some of them a carriage return alone (the
// loader's); Qt breaks lines only at a line feed and draws a lone carriage return as a blank.
QString withLineFeeds(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}

} // namespace

bool DialogFeedback::present(const Message& message)
{
    QMessageBox box(parent_);
    box.setWindowTitle(message.title);
    // Texts carry what devices, files and the operator wrote: never markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(withLineFeeds(message.text));
    switch (message.icon) {
    case Message::Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Message::Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Message::Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Message::Icon::None:
        break;
    }
    switch (message.buttons) {
    case Message::Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Message::Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case Message::Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    const int answer = box.exec();
    return answer == QMessageBox::Ok || answer == QMessageBox::Yes;
}

QString DialogFeedback::chooseFileToOpen(const QStringList& filters)
{
    QFileDialog dialog(parent_, QString(), lastFolder_);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString path = dialog.selectedFiles().constFirst();
    lastFolder_ = QFileInfo(path).absolutePath();
    return path;
}
