#pragma once

#include <QAbstractEventDispatcher>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

// Waits until `done` holds, up to timeoutMs, running the event loop meanwhile; false on time-out.
// QTest::qWaitFor sleeps 10 ms between its rounds of events, so a flow of many short steps (a
// reply, then the next request) crawls at a hundred steps a second; this loop takes each event
// as it comes and looks at `done` whenever it has nothing left to do, and every few
// milliseconds for what changes outside this process. For conditions cheap to evaluate.
template <typename Predicate> bool waitUntil(Predicate done, int timeoutMs)
{
    if (done())
        return true;
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    const auto check = [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    };
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &loop,
                     check);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, check);
    tick.start(5);
    loop.exec();
    return done();
}
