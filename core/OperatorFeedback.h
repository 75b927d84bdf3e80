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

    void error(const QString& text) { present({QStringLiteral("Error"), text, Message::Icon::Exclamation}); }
    void warning(const QString& text)
    {
        present({QStringLiteral("Warning"), text, Message::Icon::Exclamation});
    }
    void notice(const QString& text) { present({AppTitle, text}); }
};
