#pragma once

#include "core/OperatorFeedback.h"

#include <QString>

// How a request to the midspan ended. Only Answered means the midspan did what was asked;
// every other outcome of a write is told to the operator.
enum class RequestOutcome {
    Answered,   // the midspan answered as asked
    Refused,    // the midspan answered, but with a refusal or an error
    Unanswered, // nothing came within the time-out and its retries
    Stale,      // the answer belongs to an earlier request that had already timed out
};

namespace text
{
inline const QString SystemResetWrite = QStringLiteral("System Reset");
inline const QString SaveToFlashWrite = QStringLiteral("Save Parameters to Flash");
inline const QString FactoryDefaultsWrite = QStringLiteral("Restore Factory Defaults");

// A write the midspan never confirmed: it may or may not have taken it, which is not the same
// as a refusal.
inline QString writeUnanswered(const QString& operation)
{
    return writeError(operation,
                      QStringLiteral("The midspan did not answer; the change may not have been made."));
}
inline QString storeUnanswered(const QString& operation)
{
    return writeError(operation,
                      QStringLiteral("The midspan did not answer; the settings may not have been saved."));
}
} // namespace text
