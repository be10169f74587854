// A lock that is never taken twice by the same thread. On Windows it is a
// critical section like ReentrantLock; natively it is a plain mutex, which
// is cheaper than a recursive one on the per-sample path of the chunk queue.
#pragma once

#include "platform/PlatformTypes.h"

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

// Holds a PlainLock for the lifetime of the scope.
class ScopedPlainLock {
public:
    explicit ScopedPlainLock(PlainLock& lock) : lock_(lock) { lock_.Enter(); }
    ~ScopedPlainLock() { lock_.Leave(); }
    ScopedPlainLock(const ScopedPlainLock&) = delete;
    ScopedPlainLock& operator=(const ScopedPlainLock&) = delete;

private:
    PlainLock& lock_;
};
