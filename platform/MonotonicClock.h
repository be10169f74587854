// A clock that only goes forward, in milliseconds from an arbitrary start:
// what a component that waits "some seconds" reads, so that a test can hand
// it a clock of its own and move time on at will.
#pragma once

#include <cstdint>

class MonotonicClock {
public:
    virtual uint64_t NowMs() noexcept = 0;
    // The system's monotonic clock; static storage, never null.
    static MonotonicClock& System() noexcept;

protected:
    ~MonotonicClock() = default;
};
