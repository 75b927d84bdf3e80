#pragma once

#include <QMutex>
#include <QWaitCondition>

// The pause/release gate between the window's thread and a worker thread. The worker blocks in
// waitForRelease() and runs one exchange per release(); it hands its result over with a
// blocking queued call, so the window's handler runs while the worker is blocked, and the
// handler decides by releasing (or not) whether the worker runs again.
class WorkerGate
{
public:
    // Window side: lets the worker run one exchange. Releasing a running worker has no effect.
    void release();
    // Window side: takes back a release the worker has not yet taken.
    void pause();
    // Worker side: waits until released; false once the gate is closed for good.
    bool waitForRelease();
    // Ends the wait for good (at exit).
    void close();

private:
    QMutex mutex_;
    QWaitCondition released_;
    bool open_ = false;
    bool closed_ = false;
};
