#include "sim/SimEventWatcher.h"

#include <windows.h>

#include <objbase.h>

#include <mutex>

#include "platform/EventHandle.h"
#include "sim/SimControl.h"
#include "sim/SimDeviceEvents.h"
#include "sim/SimRegistryKey.h"

namespace {

constexpr DWORD kPollMs = 100;
std::once_flag started;

}  // namespace

void SimEventWatcher::Start() {
    std::call_once(started, [] {
        HMODULE self = nullptr;
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                reinterpret_cast<LPCWSTR>(&SimEventWatcher::Start), &self))
            return;  // not pinned: no thread rather than one that may outlive its code
        UniqueHandle thread;
        thread.Adopt(CreateThread(nullptr, 0, &SimEventWatcher::Main, nullptr, 0, nullptr));
    });
}

// In the multithreaded apartment: the tuner filters it tells call their
// graph's event sink, and may create a graph, from this thread.
DWORD WINAPI SimEventWatcher::Main(void*) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    try {
        Watch();
    } catch (...) {
        // Out of memory in the watcher: the devices keep what they have.
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}

// A change notification is armed before each pass, so one made during the
// pass ends the next wait at once. While one is armed the thread sleeps
// until it fires and touches nothing else: a process that ends meanwhile
// never stops it inside the heap or the registry. Where none can be armed
// (the key was deleted under it) it opens the key again and polls.
void SimEventWatcher::Watch() {
    const uint64_t startedAfter = SimDeviceEvents::LastSequence();
    SimRegistryKey root;
    EventHandle changed;
    if (!changed.CreateAutoReset()) return;
    bool armed = false;
    for (;;) {
        if (!armed) {
            if (!root.IsOpen()) root.Create(HKEY_CURRENT_USER, L"Software\\TesselSim");
            armed = root.IsOpen() &&
                    RegNotifyChangeKeyValue(root.Get(), TRUE,
                                            REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                            changed.Get(), TRUE) == ERROR_SUCCESS;
            if (!armed) root.Reset();
        }
        SimDeviceEvents::ApplyRecorded(SimProcessControl(), startedAfter);
        if (WaitForSingleObject(changed.Get(), armed ? INFINITE : kPollMs) == WAIT_OBJECT_0)
            armed = false;
    }
}
