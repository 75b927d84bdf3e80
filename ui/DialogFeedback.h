#pragma once

#include "core/OperatorFeedback.h"

#include <QString>

class QFileDialog;
class QWidget;

// Shows messages and questions as modal message boxes over the given window.
class DialogFeedback : public OperatorFeedback
{
public:
    explicit DialogFeedback(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    bool present(const Message& message) override;
    QString chooseFileToOpen(const QStringList& filters) override;
    QString chooseFileToSave(const QString& suggestedName, const QStringList& filters) override;

private:
    // Runs the dialog; the chosen path, whose folder the next dialog opens in.
    QString choose(QFileDialog& dialog);

    QWidget* parent_;
    QString lastFolder_; // where the operator last chose a file, for this run
};
