#pragma once

#include <QDir>
#include <QTemporaryDir>

// A fresh temporary folder as the working directory of the test program, for files the program
// keeps there (Link.ini); the old working directory comes back at the end.
class WorkingDirectory
{
public:
    WorkingDirectory() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
    ~WorkingDirectory() { QDir::setCurrent(previous_); }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    QString previous_;
};
