// Ends the program with a failure naming `what` unless destroyed within
// `ms`: a call that hangs (a deadlock in the code under test) fails its test
// instead of stalling the suite. The bound is for hangs, far above any honest
// duration.
#pragma once

#include <windows.h>

#include <thread>

class ScopedWatchdog {
public:
    ScopedWatchdog(const char* what, DWORD ms);
    ~ScopedWatchdog();
    ScopedWatchdog(const ScopedWatchdog&) = delete;
    ScopedWatchdog& operator=(const ScopedWatchdog&) = delete;

private:
    HANDLE disarm_;
    std::thread thread_;
};
