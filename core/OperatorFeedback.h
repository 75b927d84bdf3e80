#pragma once

#include <QString>
#include <QStringList>

// Every message box and question the operator sees goes through this interface: the window
// shows real boxes, tests record them and answer questions themselves.
struct Message {
    enum class Icon { None, Exclamation, Question, Information };
    enum class Buttons { Ok, OkCancel, YesNo };

    QString title;
    QString text;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;

    bool operator==(const Message&) const = default;
};

// The captions the program uses.
inline const QString AppTitle = QStringLiteral("Spanmon");

// Texts both links show.
namespace text
{
inline const QString NoPoeDevice = QStringLiteral("No PoE Device !!");
inline const QString ConnectionLost = QStringLiteral("Connction Error! Please Check AC Power and Cable.");
inline const QString Processing = QStringLiteral("Processing............");
// The operator's writes, as messages about them name them.
inline const QString PortControlWrite = QStringLiteral("Send Port Control");
inline const QString SystemDescriptionWrite = QStringLiteral("System ID (Description)");
inline QString portDescriptionWrite(int port)
{
    return QStringLiteral("Port %1 Description").arg(port);
}
inline QString writeError(const QString& operation, const QString& why)
{
    return QStringLiteral("'%1' Error !  %2").arg(operation, why);
}
} // namespace text

class OperatorFeedback
{
public:
    virtual ~OperatorFeedback() = default;

    // Shows the message and returns once the operator has answered: true for OK or Yes.
    virtual bool present(const Message& message) = 0;
    // Asks for an existing file to open; filters are entries such as "s19 files(*.s19) ". Returns
    // the full path, or an empty text when the operator cancels.
    virtual QString chooseFileToOpen(const QStringList& filters) = 0;
    // Asks where to save a file, offering the suggested name; empty when the operator cancels.
    virtual QString chooseFileToSave(const QString& suggestedName, const QStringList& filters) = 0;

    void error(const QString& text) { present({QStringLiteral("Error"), text, Message::Icon::Exclamation}); }
    void warning(const QString& text)
    {
        present({QStringLiteral("Warning"), text, Message::Icon::Exclamation});
    }
    void notice(const QString& text) { present({AppTitle, text}); }
};
