// Windows for the remote-key suites: top-level test windows whose procedure
// records every WM_COMMAND it handles, a message pump that waits for a
// condition, and a window thread that keeps pumping on its own. Windows need
// an X display under Wine; without one CreateWindowExW fails and the suites
// say so instead of waiting.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The commands one window received, in order. Thread-safe.
class CommandRecord {
public:
    // Runs `handler` on the window's thread after each command is recorded,
    // as a host's own WM_COMMAND handler would run.
    void SetHandler(std::function<void(WPARAM)> handler);
    void Add(WPARAM command);
    std::vector<WPARAM> Commands() const;
    size_t Count() const;

private:
    mutable std::mutex mutex_;
    std::vector<WPARAM> commands_;
    std::function<void(WPARAM)> handler_;
};

// Creates a top-level window of the recording class on the calling thread
// (visible unless `visible` is false, owned by `owner` when not null). The
// record must outlive the window; the caller destroys the window. Null when
// no window could be created (no display).
HWND CreateRecordingWindow(CommandRecord* record, bool visible = true, HWND owner = nullptr);

// Message text for a failed window creation.
const char* NoWindowHint();

// Pumps the calling thread's messages until `condition` holds or `ms` have
// passed; returns whether it held. The time-out only ends a failing wait.
bool PumpUntil(const std::function<bool()>& condition, DWORD ms);
// Pumps for `ms` (lets the key thread poll a few times).
void PumpFor(DWORD ms);

// Brings `window` to the foreground and reports whether Windows agrees.
bool MakeForeground(HWND window);

// The qualifying top-level windows of this process in enumeration order,
// computed independently of the code under test.
std::vector<HWND> OwnQualifyingWindows();

// A thread that owns one recording window and pumps its messages until the
// object goes.
class WindowThread {
public:
    explicit WindowThread(CommandRecord* record);
    ~WindowThread();
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;
    // Null when the window could not be created.
    HWND Window() const { return window_; }

private:
    std::thread thread_;
    std::atomic<HWND> window_{nullptr};
    std::atomic<DWORD> threadId_{0};
};

