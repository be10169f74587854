#include "tests/windows/ScopedWatchdog.h"

#include <cstdio>

ScopedWatchdog::ScopedWatchdog(const char* what, DWORD ms)
    : disarm_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    HANDLE disarm = disarm_;
    thread_ = std::thread([disarm, what, ms] {
        if (WaitForSingleObject(disarm, ms) == WAIT_OBJECT_0) return;
        std::fprintf(stderr, "\n[ WATCHDOG ] %s did not return within %lu ms; ending the program\n",
                     what, static_cast<unsigned long>(ms));
        std::fflush(stderr);
        std::fflush(stdout);
        // Not ExitProcess: it could block on the locks of the hung threads.
        TerminateProcess(GetCurrentProcess(), 3);
    });
}

ScopedWatchdog::~ScopedWatchdog() {
    SetEvent(disarm_);
    thread_.join();
    CloseHandle(disarm_);
}
