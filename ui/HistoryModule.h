#pragma once

#include "ui/HistoryView.h"

#include <QStringList>

// Finds and loads the module that holds the History window (HistoryView.h says why), the first
// time a window is asked for: beside the program (the build tree), then where the package
// installs it. A module that cannot be loaded is looked for again at the next request.
class HistoryModule
{
public:
    static constexpr char FileName[] = "spanmon-history.so";

    HistoryModule();

    // The folders looked in, in order.
    const QStringList& folders() const { return folders_; }
    void setFolders(const QStringList& folders) { folders_ = folders; }

    // A new window, a child of parent; null with the reason in `reason` when the module could not
    // be loaded.
    HistoryView* create(const PowerSamples& samples, OperatorFeedback& feedback, const QFont& font,
                        QWidget* parent, QString& reason);

private:
    QStringList folders_;
    CreateHistoryView create_ = nullptr;
};
