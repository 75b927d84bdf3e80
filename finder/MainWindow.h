#pragma once

#include "finder/AddressChange.h"
#include "finder/ModuleFinder.h"

#include <QMainWindow>
#include <QUrl>

#include <functional>
#include <optional>

class QLineEdit;
class QListWidget;

namespace finder
{

class Messages;

// "Ethfind" (template 102): the sorted device list 1000, whose lines carry their table index as item
// data, and the count box 1003. F5 searches, Enter sets the selected module's address, double click
// and Alt+Enter open its web page, Escape does nothing.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    using AddressPrompt = std::function<std::optional<AddressEntry>(const AddressEntry& initial)>;
    using UrlOpener = std::function<void(const QUrl&)>;

    explicit MainWindow(Messages& messages, double timeScale = 1.0, QWidget* parent = nullptr);

    // Replace the Set IP Address dialog and the browser (tests).
    void setAddressPrompt(AddressPrompt prompt) { prompt_ = std::move(prompt); }
    void setUrlOpener(UrlOpener opener) { openUrl_ = std::move(opener); }

    void refresh() { finder_.search(); }
    void setAddressOfSelected();
    void openWebPageOfSelected();

    const ModuleFinder& finder() const { return finder_; }
    QString password() const { return password_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::optional<ModuleRecord> selectedRecord() const;
    std::optional<AddressEntry> askForAddress(const AddressEntry& initial);
    void listModule(const QString& line, int index);
    void sayRefused(const Datagrams::Refusal& refusal);

    Messages& messages_;
    ModuleFinder finder_;
    QListWidget* list_;
    QLineEdit* count_;
    QString password_;
    std::optional<Mac> changing_; // the module whose address was sent last
    AddressPrompt prompt_;
    UrlOpener openUrl_;
};

} // namespace finder
