#include "driver/TunerRecovery.h"

#include <objbase.h>
#include <process.h>
#include <evcode.h>

#include <new>

#include "devices/DeviceCategory.h"
#include "devices/DeviceNames.h"
#include "driver/SignalLevel.h"
#include "graph/MyFilterGraph.h"
#include "platform/BdaGuids.h"
#include "platform/Trace.h"
#include "platform/SentMessageWait.h"

namespace {

uint64_t Now() { return GetTickCount64(); }

// The name a debugger and a process viewer show for the thread (Windows 10
// and Wine have SetThreadDescription; older systems simply show none).
void NameThisThread() {
    typedef HRESULT(WINAPI * Describe)(HANDLE, PCWSTR);
    const Describe describe = reinterpret_cast<Describe>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (describe != nullptr) describe(GetCurrentThread(), L"BonDriver_TesselBDA tuner recovery");
}

DWORD WaitMilliseconds(uint64_t wait) {
    if (wait == RecoveryPlan::NoWait) return INFINITE;
    return wait > 60000 ? 60000 : static_cast<DWORD>(wait);
}

}  // namespace

std::shared_ptr<TunerRecovery> TunerRecovery::Start(RecoveryTarget& target, MyFilterGraph* graph,
                                                    uint32_t generation,
                                                    const RecoverySettings& settings,
                                                    const DeviceText& friendlyName,
                                                    const DeviceText& devicePath) {
    try {
        std::shared_ptr<TunerRecovery> recovery(
            new TunerRecovery(target, graph, generation, settings, friendlyName, devicePath));
        if (recovery->stop_.Get() == nullptr) return nullptr;
        recovery->WatchEventsOf(graph->EventSource());
        recovery->thread_.Adopt(reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, 0, &TunerRecoveryThread, recovery.get(), 0, nullptr)));
        if (recovery->thread_.Get() == nullptr) return nullptr;
        return recovery;
    } catch (...) {
        return nullptr;
    }
}

TunerRecovery::TunerRecovery(RecoveryTarget& target, MyFilterGraph* graph, uint32_t generation,
                             const RecoverySettings& settings, const DeviceText& friendlyName,
                             const DeviceText& devicePath)
    : target_(target),
      graph_(graph),
      generation_(generation),
      settings_(settings),
      friendlyName_(friendlyName),
      devicePath_(devicePath) {
    stop_.Adopt(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

TunerRecovery::~TunerRecovery() {
    RequestStop();
    Join();
    thread_.Close();
}

void TunerRecovery::RequestStop() {
    stopping_.store(true);
    if (stop_.Get() != nullptr) SetEvent(stop_.Get());
}

// Several threads may join at once (a CloseTuner and a Release from a
// message it handles): the handle stays open until the object goes.
void TunerRecovery::Join() {
    if (thread_.Get() == nullptr) return;
    WaitDispatchingSentMessages(thread_.Get());
}

void TunerRecovery::WatchEventsOf(ComPtr<IMediaEventEx> events) {
    events_ = std::move(events);
    eventHandle_ = nullptr;
    OAEVENT handle = 0;
    // The handle belongs to the graph manager and lives as long as it does.
    if (events_.Get() != nullptr && SUCCEEDED(events_->GetEventHandle(&handle)))
        eventHandle_ = reinterpret_cast<HANDLE>(handle);
}

unsigned __stdcall TunerRecoveryThread(void* recovery) {
    static_cast<TunerRecovery*>(recovery)->Run();
    return 0;
}

void TunerRecovery::Run() {
    NameThisThread();
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    RecoveryPlan plan(settings_.AutoRecover, settings_.StallSeconds, Now());
    while (!stopping_.load()) {
        const HANDLE waits[2] = {stop_.Get(), eventHandle_};
        const DWORD count = eventHandle_ != nullptr ? 2 : 1;
        const DWORD woke =
            WaitForMultipleObjects(count, waits, FALSE, WaitMilliseconds(plan.WaitMs(Now())));
        if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED || stopping_.load()) break;
        try {
            DrainEvents(plan);
            Act(plan);
        } catch (...) {
            // Out of memory between two steps: nothing is half done (the
            // target undoes its own), so the thread carries on a bit later.
            Trace("(TunerRecovery) out of memory; trying again in a second");
            WaitForSingleObject(stop_.Get(), 1000);
        }
    }
    // Possibly the last reference on a graph manager the host closed.
    WatchEventsOf(ComPtr<IMediaEventEx>());
    if (SUCCEEDED(com)) CoUninitialize();
}

void TunerRecovery::DrainEvents(RecoveryPlan& plan) {
    if (events_.Get() == nullptr) return;
    long code = 0;
    LONG_PTR first = 0, second = 0;
    while (events_->GetEvent(&code, &first, &second, 0) == S_OK) {
        const uint64_t now = Now();
        if (code == EC_DEVICE_LOST && second == 0) {
            Trace("(TunerRecovery) EC_DEVICE_LOST: the device went");
            plan.DeviceLost(now);
        } else if (code == EC_DEVICE_LOST) {
            Trace("(TunerRecovery) EC_DEVICE_LOST: the device is back");
            plan.DeviceBack(now);
        } else if (code == EC_ERRORABORT || code == EC_STREAM_ERROR_STOPPED) {
            TraceFailure("(TunerRecovery) the stream was aborted", static_cast<int32_t>(first));
            plan.StreamAborted(now);
        }
        events_->FreeEventParams(code, first, second);
    }
}

void TunerRecovery::Act(RecoveryPlan& plan) {
    for (RecoveryAction action; !stopping_.load() &&
                                (action = plan.Next(Now(), target_.Facts())) != RecoveryAction::None;) {
        switch (action) {
            case RecoveryAction::TearDown:
                Trace("(TunerRecovery) tearing the broken graph down; cause",
                      static_cast<int64_t>(plan.Cause()));
                target_.DropBrokenGraph(generation_);
                WatchEventsOf(ComPtr<IMediaEventEx>());
                plan.TornDown(Now());
                break;
            case RecoveryAction::CheckSignal: {
                float level = 0.0f;
                const bool read = ReadSignal(&level);
                Trace("(TunerRecovery) no sample for a while; signal read, level x100", read ? 1 : 0,
                      static_cast<int64_t>(level * 100));
                plan.SignalRead(read, level, Now());
                break;
            }
            case RecoveryAction::LookForDevice: {
                const bool found = DevicePresent();
                Trace("(TunerRecovery) looked for the device in the tuner category; found", found ? 1 : 0);
                plan.Looked(found, Now());
                break;
            }
            case RecoveryAction::Rebuild: {
                ComPtr<IMediaEventEx> events;
                RebuildResult result = target_.Rebuild(generation_, &events);
                if (result == RebuildResult::Failed && !DevicePresent())
                    result = RebuildResult::DeviceMissing;
                if (result == RebuildResult::Rebuilt) WatchEventsOf(std::move(events));
                Trace("(TunerRecovery) rebuild: 0 rebuilt, 1 failed, 2 device missing, "
                      "3 graphs kept aside, 4 not wanted",
                      static_cast<int64_t>(result));
                plan.RebuildDone(result, Now());
                break;
            }
            case RecoveryAction::None:
                break;
        }
        switch (plan.TakeNotice()) {
            case RecoveryNotice::StallRebuildsStopped:
                Trace("(TunerRecovery) two rebuilds did not cure the stall: no more stall "
                      "rebuilds until TS flows again");
                break;
            case RecoveryNotice::StallRebuildsResumed:
                Trace("(TunerRecovery) TS flows again: stalls are rebuilt again");
                break;
            case RecoveryNotice::None:
                break;
        }
    }
}

// The device's own answer: false when the call failed, which says nothing
// of the signal (a level of 0 from a call that succeeded is no signal).
bool TunerRecovery::ReadSignal(float* level) {
    SignalStatistics statistics;
    if (FAILED(graph_->GetSignalStatistics(&statistics))) return false;
    *level = SignalLevelFromStatistics(statistics.Level, statistics.LevelHundredths);
    return true;
}

// A walk of the tuner category with an enumerator of this thread's own.
bool TunerRecovery::DevicePresent() {
    ComPtr<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devices.ReceiveVoid())) ||
        devices.Get() == nullptr)
        return false;
    DeviceCategory walk;
    if (walk.Open(devices.Get(), CategoryBdaNetworkTuner) != DeviceCategory::OpenResult::Opened)
        return false;
    ComPtr<IMoniker> moniker;
    DeviceText name;
    return walk.Find(friendlyName_.c_str(), devicePath_.c_str(), &moniker, &name);
}
