#include "core/WorkerGate.h"

#include <QMetaObject>
#include <QObject>

#include <memory>

namespace
{

void cpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

} // namespace

void WorkerGate::release()
{
    const std::lock_guard lock(mutex_);
    open_ = true;
    released_.notify_one();
}

void WorkerGate::pause()
{
    const std::lock_guard lock(mutex_);
    open_ = false;
}

bool WorkerGate::waitForRelease()
{
    std::unique_lock lock(mutex_);
    released_.wait(lock, [this] { return open_ || closed_; });
    open_ = false;
    return !closed_;
}

void WorkerGate::close()
{
    const std::lock_guard lock(mutex_);
    closed_ = true;
    released_.notify_all();
}

void WorkerGate::handOver(QObject* context, std::function<void()> handler)
{
    handing_.store(1, std::memory_order_relaxed);
    {
        // The call's last copy goes when the call has run or has been dropped.
        const std::shared_ptr<void> returned(nullptr, [this](void*) {
            handing_.store(0, std::memory_order_release);
            handing_.notify_one();
        });
        QMetaObject::invokeMethod(
            context, [handler = std::move(handler), returned] { handler(); }, Qt::QueuedConnection);
    }
    const auto spinUntil = std::chrono::steady_clock::now() + handOverSpin;
    while (handing_.load(std::memory_order_acquire) != 0) {
        if (std::chrono::steady_clock::now() < spinUntil)
            cpuRelax();
        else
            handing_.wait(1, std::memory_order_acquire);
    }
}
