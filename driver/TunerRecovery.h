// TunerRecovery: the driver's own thread, "tuner recovery", that watches an
// open tuner and brings it back without the host's help. It lives from a
// successful OpenTuner to CloseTuner or Release, which stop it with
// DriverLock free (it takes that lock for each rebuild, so a stop that held
// it would wait for ever).
//
// It waits on the graph's event handle (IMediaEventEx) for EC_DEVICE_LOST,
// EC_ERRORABORT and EC_STREAM_ERROR_STOPPED, and wakes every second to
// watch for a stall; RecoveryPlan decides what follows. It reads events,
// the signal statistics and the device list without any lock (the graph
// manager's event queue is free-threaded, device calls take a reference of
// their own, the device walk uses an enumerator of its own); the target
// takes DriverLock only for short steps and builds and tears down graphs
// without it. The streaming thread never takes DriverLock, so the lock
// order (DriverLock before the queue's) holds. No exception ends the
// thread.
//
// The thread enters the multithreaded apartment: it creates COM objects
// (the device enumerator, the rebuilt graph's filters) and must not need a
// message pump for calls into them. It relies on the graph's components
// being registered free-threaded ("Both", as BDA's are), so that objects
// created here and those the host's threads created are called directly
// from either side; the driver checks that at OpenTuner and starts the
// thread with AutoRecover off where one is not.
#pragma once

#include <strmif.h>
#include <control.h>

#include <atomic>
#include <memory>

#include "devices/DeviceProperties.h"
#include "driver/RecoveryPlan.h"
#include "dshow/ComPtr.h"
#include "platform/EventHandle.h"
#include "platform/UniqueHandle.h"

class MyFilterGraph;

// What the recovery thread asks of the driver. `generation` names the open
// it was started for: a call for an earlier open (closed meanwhile, opened
// again) does nothing.
class RecoveryTarget {
public:
    // Lock-free: when the last sample came, whether the tuner is tuned.
    virtual StreamFacts Facts() = 0;
    // Stops and tears down the broken graph; the host's stream (event,
    // queue, held chunk) stays as it is.
    virtual void DropBrokenGraph(uint32_t generation) = 0;
    // Builds and runs the graph again with the set-up operations of
    // OpenTuner, restores the LNB power, tunes the host's channel and
    // restores the hardware PID filter; *events gets the new graph's event
    // source (also when the graph was back already).
    virtual RebuildResult Rebuild(uint32_t generation, ComPtr<IMediaEventEx>* events) = 0;

protected:
    ~RecoveryTarget() = default;
};

struct RecoverySettings {
    bool AutoRecover = true;
    uint32_t StallSeconds = 10;
};

class TunerRecovery {
public:
    // The thread for the open numbered `generation` of the tuner
    // (`friendlyName`, `devicePath`) on `graph` (which outlives it), or null
    // when it cannot be started (the tuner then streams without it).
    static std::shared_ptr<TunerRecovery> Start(RecoveryTarget& target, MyFilterGraph* graph,
                                                uint32_t generation, const RecoverySettings& settings,
                                                const DeviceText& friendlyName,
                                                const DeviceText& devicePath);
    // Joins the thread (RequestStop first); the graph must still exist.
    ~TunerRecovery();
    TunerRecovery(const TunerRecovery&) = delete;
    TunerRecovery& operator=(const TunerRecovery&) = delete;

    // From any thread, with or without DriverLock: the thread ends soon.
    void RequestStop();
    // Waits for the thread to end; call it without DriverLock. Sent messages
    // to the caller's windows are handled meanwhile. Several threads may
    // wait at once.
    void Join();

private:
    TunerRecovery(RecoveryTarget& target, MyFilterGraph* graph, uint32_t generation,
                  const RecoverySettings& settings, const DeviceText& friendlyName,
                  const DeviceText& devicePath);
    friend unsigned __stdcall TunerRecoveryThread(void* recovery);
    void Run();
    void DrainEvents(RecoveryPlan& plan);
    void Act(RecoveryPlan& plan);
    bool ReadSignal(float* level);
    bool DevicePresent();
    void WatchEventsOf(ComPtr<IMediaEventEx> events);

    RecoveryTarget& target_;
    MyFilterGraph* const graph_;
    const uint32_t generation_;
    const RecoverySettings settings_;
    const DeviceText friendlyName_;
    const DeviceText devicePath_;
    UniqueHandle stop_;  // manual-reset
    std::atomic<bool> stopping_{false};
    UniqueHandle thread_;
    // The thread's own: the current graph's event source and its handle.
    ComPtr<IMediaEventEx> events_;
    HANDLE eventHandle_ = nullptr;
};

unsigned __stdcall TunerRecoveryThread(void* recovery);
