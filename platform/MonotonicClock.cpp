#include "platform/MonotonicClock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace {

class SystemClock final : public MonotonicClock {
public:
    uint64_t NowMs() noexcept override {
#ifdef _WIN32
        return GetTickCount64();
#else
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
#endif
    }
};

// Trivially destructible, so it outlives every static destructor.
SystemClock systemClock;

}  // namespace

MonotonicClock& MonotonicClock::System() noexcept { return systemClock; }
