#include "platform/PlainLock.h"

#ifdef _WIN32

PlainLock::PlainLock() { InitializeCriticalSection(&section_); }
PlainLock::~PlainLock() { DeleteCriticalSection(&section_); }
void PlainLock::Enter() { EnterCriticalSection(&section_); }
void PlainLock::Leave() { LeaveCriticalSection(&section_); }

#else

PlainLock::PlainLock() = default;
PlainLock::~PlainLock() = default;
void PlainLock::Enter() { mutex_.lock(); }
void PlainLock::Leave() { mutex_.unlock(); }

#endif
