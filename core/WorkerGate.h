#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class QObject;

// The pause/release gate between the window's thread and a worker thread. The worker blocks in
// waitForRelease() and runs one exchange per release(); it hands its result over with
// handOver(), so the window's handler runs while the worker is blocked, and the handler decides
// by releasing (or not) whether the worker runs again.
class WorkerGate
{
public:
    // How long a worker waits for a handler without giving up its core: a handler that returns
    // within it spares the worker a sleep and a wake-up, several microseconds each, a good part of
    // an exchange with an agent nearby.
    static constexpr std::chrono::microseconds handOverSpin{50};

    // Worker side: runs `handler` on `context`'s thread and returns once it has returned (or
    // been dropped undelivered), like a blocking queued call. One hand-over at a time.
    void handOver(QObject* context, std::function<void()> handler);

    // Window side: lets the worker run one exchange. Releasing a running worker has no effect.
    void release();
    // Window side: takes back a release the worker has not yet taken.
    void pause();
    // Worker side: waits until released; false once the gate is closed for good.
    bool waitForRelease();
    // Ends the wait for good (at exit).
    void close();

private:
    // Standard ones, whose every lock and wait a thread sanitizer sees.
    std::mutex mutex_;
    std::condition_variable released_;
    bool open_ = false;
    bool closed_ = false;
    std::atomic<int> handing_ = 0; // 1 from a hand-over until its handler has returned
};
