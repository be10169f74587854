#include "tools/bonhost/RecordStop.h"

#include <windows.h>

#include <atomic>

namespace {

// The first reason given wins; process-wide, so the handler threads never
// outlive what they write to.
std::atomic<int> requested{static_cast<int>(StopReason::None)};

void Request(StopReason reason) {
    int none = static_cast<int>(StopReason::None);
    requested.compare_exchange_strong(none, static_cast<int>(reason));
}

BOOL WINAPI OnConsoleControl(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            Request(StopReason::Interrupt);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // Returning lets Windows end the process at once; waiting here
            // gives the recording loop the time to close the tuner, and the
            // process's normal exit then ends this thread.
            Request(StopReason::ConsoleClosed);
            Sleep(5000);
            return TRUE;
        default:
            return FALSE;
    }
}

DWORD WINAPI ReadStdin(void*) {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    char buffer[256];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in, buffer, sizeof buffer, &got, nullptr) || got == 0) {
            Request(StopReason::StdinEnded);
            return 0;
        }
        for (DWORD i = 0; i < got; ++i) {
            if (buffer[i] == '\n') {
                Request(StopReason::StdinLine);
                return 0;
            }
        }
    }
}

}  // namespace

RecordStop::RecordStop() {
    requested = static_cast<int>(StopReason::None);
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

RecordStop::~RecordStop() { SetConsoleCtrlHandler(&OnConsoleControl, FALSE); }

bool RecordStop::WatchStdin() {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (in == nullptr || in == INVALID_HANDLE_VALUE || GetFileType(in) != FILE_TYPE_PIPE) return false;
    if (stdinReader_.Get() == nullptr) stdinReader_.Adopt(CreateThread(nullptr, 0, &ReadStdin, nullptr, 0, nullptr));
    return stdinReader_.Get() != nullptr;
}

StopReason RecordStop::Requested() const { return static_cast<StopReason>(requested.load()); }

const char* RecordStop::Describe(StopReason reason) {
    switch (reason) {
        case StopReason::Interrupt:
            return "Ctrl+C";
        case StopReason::ConsoleClosed:
            return "the console closing";
        case StopReason::StdinLine:
            return "a line on stdin";
        case StopReason::StdinEnded:
            return "the end of stdin";
        default:
            return "nothing";
    }
}
