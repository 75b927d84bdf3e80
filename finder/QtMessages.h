#pragma once

#include "finder/Messages.h"

class QWidget;

namespace finder
{

class QtMessages : public Messages
{
public:
    explicit QtMessages(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void show(const QString& text) override;

private:
    QWidget* parent_;
};

} // namespace finder
