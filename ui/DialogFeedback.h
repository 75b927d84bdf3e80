#pragma once

#include "core/OperatorFeedback.h"

#include <QString>

class QWidget;

// Shows messages and questions as modal message boxes over the given window.
class DialogFeedback : public OperatorFeedback
{
public:
    explicit DialogFeedback(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    bool present(const Message& message) override;
    QString chooseFileToOpen(const QStringList& filters) override;

private:
    QWidget* parent_;
    QString lastFolder_; // where the operator last chose a file, for this run
};
