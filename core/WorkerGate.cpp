#include "core/WorkerGate.h"

void WorkerGate::release()
{
    QMutexLocker lock(&mutex_);
    open_ = true;
    released_.wakeOne();
}

void WorkerGate::pause()
{
    QMutexLocker lock(&mutex_);
    open_ = false;
}

bool WorkerGate::waitForRelease()
{
    QMutexLocker lock(&mutex_);
    while (!open_ && !closed_)
        released_.wait(&mutex_);
    open_ = false;
    return !closed_;
}

void WorkerGate::close()
{
    QMutexLocker lock(&mutex_);
    closed_ = true;
    released_.wakeAll();
}
