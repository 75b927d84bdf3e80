#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

// Waits until the predicate holds, or the time is up, with the event loop running. Unlike
// QTest::qWaitFor, which sleeps 10 ms after each round of events, it blocks in the wait for the
// next event: a chain of exchanges, each posting the next, runs at its own pace and not at one
// link per 10 ms.
template <typename Predicate> bool waitUntil(Predicate predicate, int ms)
{
    const QDeadlineTimer deadline(ms);
    // Wakes the loop for what changes without an event on this thread: another process, a
    // worker thread's state.
    QTimer poll;
    poll.start(5);
    for (;;) {
        if (predicate())
            return true;
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}
