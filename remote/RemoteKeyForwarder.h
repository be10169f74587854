// RemoteKeyForwarder: while it lives, a thread reads the tuner's remote every
// 250 ms (only while one of the host's windows is in the foreground) and
// sends the host's foreground window WM_COMMAND with the command of the key.
//
// The host's windows are collected once, at construction (up to eight
// top-level windows of this process); without any, or without both of its
// events, no thread is started. Stop() signals StopThreadEvent and waits
// until the thread has signalled ThreadExitedEvent and ended, handling the
// messages other threads send to the waiting thread's windows meanwhile: the
// thread may be inside SendMessageW to a window of that very thread.
#pragma once

#include <cstdint>

#include "platform/EventHandle.h"
#include "platform/PlatformTypes.h"
#include "platform/UniqueHandle.h"
#include "remote/HostWindows.h"
#include "remote/RemoteKeySource.h"

// Wait between two polls, also the longest time the thread takes to notice
// its stop signal (plus one poll).
constexpr DWORD RemoteKeyPollMilliseconds = 250;

class RemoteKeyForwarder {
public:
    // `source` must outlive the forwarder; it is read on the forwarder's
    // thread only.
    explicit RemoteKeyForwarder(RemoteKeySource& source);
    ~RemoteKeyForwarder();  // Stop()
    RemoteKeyForwarder(const RemoteKeyForwarder&) = delete;
    RemoteKeyForwarder& operator=(const RemoteKeyForwarder&) = delete;

    // Ends the thread and waits for it; does nothing the second time or when
    // no thread was started.
    void Stop();

    // True when `window` is one of the windows collected at construction.
    bool IsHostWindow(HWND window) const;
    // True while a thread was started and not yet stopped.
    bool Running() const { return keyThread_.Get() != nullptr; }

private:
    friend unsigned __stdcall RemoteKeyThread(void* forwarder);
    void Forward();

    RemoteKeySource& source_;
    uint8_t HostWindowCount = 0;
    HWND HostWindows[MaxHostWindows] = {};
    EventHandle StopThreadEvent;
    EventHandle ThreadExitedEvent;
    UniqueHandle keyThread_;
};

// The thread function for _beginthreadex; `forwarder` is the
// RemoteKeyForwarder, which outlives the thread. Returns 0.
unsigned __stdcall RemoteKeyThread(void* forwarder);
