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

// Holds a ReentrantLock for the lifetime of the scope.
class ScopedLock {
public:
    explicit ScopedLock(ReentrantLock& lock) : lock_(lock) { lock_.Enter(); }
    ~ScopedLock() { lock_.Leave(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    ReentrantLock& lock_;
};
