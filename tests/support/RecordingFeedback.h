#pragma once

#include "core/OperatorFeedback.h"

#include <QList>

#include <deque>
#include <functional>

// Records every message instead of showing it, and answers questions from a script the test
// fills beforehand (OK/Yes when the script is empty). Never blocks.
class RecordingFeedback : public OperatorFeedback
{
public:
    bool present(const Message& message) override
    {
        shown.append(message);
        if (answers.empty())
            return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    // Records the filters and answers with chooseFile (a cancelled choice when it is unset).
    QString chooseFileToOpen(const QStringList& filters) override
    {
        fileFilters.append(filters);
        return chooseFile ? chooseFile() : QString();
    }

    // Records the suggested name and answers with saveFile (a cancelled choice when it is unset).
    QString chooseFileToSave(const QString& suggestedName, const QStringList&) override
    {
        suggestedNames.append(suggestedName);
        return saveFile ? saveFile() : QString();
    }

    QStringList texts() const
    {
        QStringList t;
        for (const Message& m : shown)
            t.append(m.text);
        return t;
    }

    QList<Message> shown;
    std::deque<bool> answers;
    QList<QStringList> fileFilters;
    std::function<QString()> chooseFile;
    QStringList suggestedNames;
    std::function<QString()> saveFile;
};
