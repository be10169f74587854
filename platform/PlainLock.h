// A lock that is never taken twice by the same thread. On Windows it is a
// critical section like ReentrantLock; natively it is a plain mutex, which
// is cheaper than a recursive one on the per-sample path of the chunk queue.
#pragma once

#include "platform/PlatformTypes.h"
#include "platform/ReentrantLock.h"

#ifndef _WIN32
#include <mutex>
#endif

class PlainLock {
public:
    PlainLock();
    ~PlainLock();
    PlainLock(const PlainLock&) = delete;
    PlainLock& operator=(const PlainLock&) = delete;

    void Enter();
    void Leave();

private:
#ifdef _WIN32
    CRITICAL_SECTION section_;
#else
    std::mutex mutex_;
#endif
};

using ScopedPlainLock = ScopedLockOf<PlainLock>;
