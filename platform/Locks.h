// The driver's locks. On Windows both kinds are critical sections, which is
// what the locks are everywhere the host can see. Natively the re-entrant one
// is a recursive mutex and the plain one, never taken twice by its owner, a
// plain mutex, which is cheaper on the chunk queue's path.
#pragma once

#include "platform/PlatformTypes.h"

#ifndef _WIN32
#include <mutex>
#include <type_traits>
#endif

template <bool Reentrant>
class BasicLock {
public:
#ifdef _WIN32
    BasicLock() { InitializeCriticalSection(&section_); }
    ~BasicLock() { DeleteCriticalSection(&section_); }
    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }
#else
    BasicLock() = default;
    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }
#endif
    BasicLock(const BasicLock&) = delete;
    BasicLock& operator=(const BasicLock&) = delete;

private:
#ifdef _WIN32
    CRITICAL_SECTION section_;
#else
    std::conditional_t<Reentrant, std::recursive_mutex, std::mutex> mutex_;
#endif
};

// A lock that the owning thread may take again (DriverLock: the copy form of
// GetTsStream takes it inside the pointer form).
using ReentrantLock = BasicLock<true>;
// A lock that is never taken twice by the same thread.
using PlainLock = BasicLock<false>;

// Holds a lock for the lifetime of the scope.
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
using ScopedPlainLock = ScopedLockOf<PlainLock>;
