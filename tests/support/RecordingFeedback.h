#pragma once

#include "app/OperatorFeedback.h"

#include <QList>

#include <deque>

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

    QStringList texts() const
    {
        QStringList t;
        for (const Message& m : shown)
            t.append(m.text);
        return t;
    }

    QList<Message> shown;
    std::deque<bool> answers;
};
