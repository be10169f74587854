#include "remote/RemoteKeyForwarder.h"

#include <process.h>

#include "remote/RemoteKeyPoller.h"
#include "platform/SentMessageWait.h"

RemoteKeyForwarder::RemoteKeyForwarder(RemoteKeySource& source) : source_(source) {
    // A failed creation leaves the handle null; construction goes on.
    StopThreadEvent.CreateAutoReset();
    ThreadExitedEvent.CreateAutoReset();
    HostWindowList windows;
    CollectHostWindows(GetCurrentProcessId(), &windows);
    HostWindowCount = windows.Count;
    for (uint8_t i = 0; i < MaxHostWindows; ++i) HostWindows[i] = windows.Windows[i];
    // Without either event the thread could never be told to stop, or its
    // end never be seen: then no thread at all.
    if (HostWindowCount != 0 && StopThreadEvent.Get() != nullptr &&
        ThreadExitedEvent.Get() != nullptr)
        keyThread_.Adopt(reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, 0, &RemoteKeyThread, this, 0, nullptr)));
}

RemoteKeyForwarder::~RemoteKeyForwarder() { Stop(); }

void RemoteKeyForwarder::Stop() {
    if (StopThreadEvent.Get() != nullptr) SetEvent(StopThreadEvent.Get());
    if (keyThread_.Get() == nullptr) return;
    // A thread that was terminated (the process exits) never signals its
    // event; its handle is signalled then.
    const HANDLE ended[2] = {ThreadExitedEvent.Get(), keyThread_.Get()};
    WaitDispatchingSentMessages(ended, 2);
    // Its last instructions after the signal are still in this module,
    // which the host may unload as soon as the driver is released.
    WaitDispatchingSentMessages(keyThread_.Get());
    keyThread_.Close();
}

bool RemoteKeyForwarder::IsHostWindow(HWND window) const {
    for (uint8_t i = 0; i < HostWindowCount && i < MaxHostWindows; ++i)
        if (HostWindows[i] == window) return true;
    return false;
}

void RemoteKeyForwarder::Forward() {
    RemoteKeyPoller poller;
    HANDLE stop = StopThreadEvent.Get();
    do {
        // Keys are left to the device (and the key export) while the host
        // is not what the user is looking at.
        const HWND foreground = GetForegroundWindow();
        uint8_t command = 0;
        if (IsHostWindow(foreground) && poller.Poll(source_, &command))
            SendMessageW(foreground, WM_COMMAND, static_cast<WPARAM>(command), 0);
    } while (WaitForSingleObject(stop, RemoteKeyPollMilliseconds) != WAIT_OBJECT_0);
    SetEvent(ThreadExitedEvent.Get());
}

unsigned __stdcall RemoteKeyThread(void* forwarder) {
    static_cast<RemoteKeyForwarder*>(forwarder)->Forward();
    return 0;
}
