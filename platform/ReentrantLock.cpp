#include "platform/ReentrantLock.h"

#ifdef _WIN32

ReentrantLock::ReentrantLock() { InitializeCriticalSection(&section_); }
ReentrantLock::~ReentrantLock() { DeleteCriticalSection(&section_); }
void ReentrantLock::Enter() { EnterCriticalSection(&section_); }
void ReentrantLock::Leave() { LeaveCriticalSection(&section_); }

#else

ReentrantLock::ReentrantLock() = default;
ReentrantLock::~ReentrantLock() = default;
void ReentrantLock::Enter() { mutex_.lock(); }
void ReentrantLock::Leave() { mutex_.unlock(); }

#endif
