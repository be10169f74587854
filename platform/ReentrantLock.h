// A lock that the owning thread may take again. On Windows it is a critical
// section, which is what the driver's locks are everywhere the host can see.
#pragma once

#include "platform/PlatformTypes.h"

#ifndef _WIN32
#include <mutex>
#endif

class ReentrantLock {
public:
    ReentrantLock();
    ~ReentrantLock();
    ReentrantLock(const ReentrantLock&) = delete;
    ReentrantLock& operator=(const ReentrantLock&) = delete;

    void Enter();
    void Leave();

private:
#ifdef _WIN32
    CRITICAL_SECTION section_;
#else
    std::recursive_mutex mutex_;
#endif
};

// Holds a lock (ReentrantLock or PlainLock) for the lifetime of the scope.
template <class Lock>
class ScopedLockOf {
public:
    explicit ScopedLockOf(Lock& lock) : lock_(lock) { lock_.Enter(); }
    ~ScopedLockOf() { lock_.Leave(); }
    ScopedLockOf(const ScopedLockOf&) = delete;
    ScopedLockOf& operator=(const ScopedLockOf&) = delete;

private:
    Lock& lock_;
};

using ScopedLock = ScopedLockOf<ReentrantLock>;
