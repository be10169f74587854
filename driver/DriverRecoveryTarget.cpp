#include "driver/DriverRecoveryTarget.h"

#include "driver/CMyBonDriver.h"
#include "driver/HardwarePidFilter.h"
#include "driver/ProcessState.h"
#include "graph/MyFilterGraph.h"
#include "platform/Trace.h"
#include "platform/WideText.h"

DriverRecoveryTarget::GraphAside::~GraphAside() {
    if (graph_ == nullptr) return;
    // Also what a failure part-way left of a graph.
    CMyBonDriver::StopAndTearDown(graph_);
    ScopedLock lock(DriverLock);
    graph_->SetInService(true);
}

void DriverRecoveryTarget::Opened() {
    wantedSpace_ = -1;
    wantedChannel_ = -1;
    tuned_.store(false);
    StreamBegins();
}

void DriverRecoveryTarget::SampleArrived() {
    lastSampleMs_.store(GetTickCount64(), std::memory_order_relaxed);
    samples_.fetch_add(1, std::memory_order_relaxed);
}

// A new channel's or a new graph's first sample may take a moment, which is
// no stall.
void DriverRecoveryTarget::StreamBegins() { lastSampleMs_.store(GetTickCount64()); }

void DriverRecoveryTarget::Tuned(uint32_t space, uint32_t channel) {
    wantedSpace_ = static_cast<int32_t>(space);
    wantedChannel_ = static_cast<int32_t>(channel);
    tuned_.store(true);
    StreamBegins();
}

void DriverRecoveryTarget::Wished(uint32_t space, uint32_t channel) {
    wantedSpace_ = static_cast<int32_t>(space);
    wantedChannel_ = static_cast<int32_t>(channel);
    HardwarePidFilter::ResetDue();
}

StreamFacts DriverRecoveryTarget::Facts() {
    StreamFacts facts;
    facts.LastSampleMs = lastSampleMs_.load(std::memory_order_relaxed);
    facts.Samples = samples_.load(std::memory_order_relaxed);
    facts.Tuned = tuned_.load();
    facts.HostFilterOn = ProcessPidFilter.Switch.load() == 1;
    return facts;
}

void DriverRecoveryTarget::DropBrokenGraph(uint32_t generation) {
    MyFilterGraph* graph = nullptr;
    {
        ScopedLock lock(DriverLock);
        if (!driver_.RecoveryWanted(generation) || !CurrentGraph->IsGraphOpen()) return;
        Trace("(CMyBonDriver) the broken graph goes; the stream stays open");
        graph = CurrentGraph;
        driver_.DetachSampleCallback();
        graph->SetInService(false);
    }
    // A broken device may take its time to stop: no host call waits for it.
    GraphAside aside(graph);
}

RebuildResult DriverRecoveryTarget::Rebuild(uint32_t generation, ComPtr<IMediaEventEx>* events) {
    try {
        return RebuildAside(generation, events);
    } catch (...) {
        // Out of memory on the way: the graph went back torn down; later.
        Trace("(CMyBonDriver) rebuild failed: out of memory");
        return RebuildResult::Failed;
    }
}

// The graph as OpenTuner built it, on the same device, with DriverLock free.
RebuildResult DriverRecoveryTarget::RebuildAside(uint32_t generation,
                                                 ComPtr<IMediaEventEx>* events) {
    MyFilterGraph* graph = nullptr;
    WideChar name[DeviceNameCapacity];
    WideChar path[DeviceNameCapacity];
    {
        ScopedLock lock(DriverLock);
        if (!driver_.RecoveryWanted(generation)) return RebuildResult::NotWanted;
        graph = CurrentGraph;
        // Back already (an earlier attempt's graph): its events are watched again.
        if (graph->IsGraphOpen()) {
            *events = graph->EventSource();
            return RebuildResult::Rebuilt;
        }
        WideCopyTruncate(name, DeviceNameCapacity, driver_.TunerFriendlyName);
        WideCopyTruncate(path, DeviceNameCapacity, driver_.TunerDevicePath);
        graph->SetInService(false);
    }
    GraphAside aside(graph);
    // Graphs a failed sweep could not empty: one may stay beside a new
    // graph, a second may not pile up.
    if (!graph->ReadyForNewGraph()) return RebuildResult::GraphKeptAside;
    const HRESULT hr = CMyBonDriver::BuildAndRunGraph(graph, name, path);
    if (FAILED(hr)) {
        TraceFailure("(CMyBonDriver) rebuild failed", hr);
        return IsDeviceGone(hr) ? RebuildResult::DeviceMissing : RebuildResult::Failed;
    }
    ScopedLock lock(DriverLock);
    if (!driver_.RecoveryWanted(generation)) return RebuildResult::NotWanted;
    if (!PutInPlace(graph, events)) return RebuildResult::Failed;
    aside.InPlace();
    Trace("(CMyBonDriver) rebuilt, retuned and restored");
    return RebuildResult::Rebuilt;
}

// Under DriverLock: the built graph streams to the host again and gets what
// the host had set. When a restore fails the graph goes aside again.
bool DriverRecoveryTarget::PutInPlace(MyFilterGraph* graph, ComPtr<IMediaEventEx>* events) {
    graph->SetInService(true);
    driver_.AttachSampleCallback();
    StreamBegins();
    if (!RestoreHostSettings(graph)) {
        driver_.DetachSampleCallback();
        graph->SetInService(false);
        return false;
    }
    ProcessCardReader.ForgetCard();
    *events = graph->EventSource();
    return true;
}

bool DriverRecoveryTarget::RestoreHostSettings(MyFilterGraph* graph) {
    const int64_t lnb = ProcessLnbPower.load();
    if (lnb >= 0 && NetworkFromName(driver_.NetworkName) == Network::IsdbS &&
        FAILED(graph->SetLNBPower(static_cast<uint32_t>(lnb))))
        return false;
    if (wantedSpace_ >= 0) {
        if (!driver_.TuneRow(static_cast<uint32_t>(wantedSpace_),
                             static_cast<uint32_t>(wantedChannel_)))
            return false;
        tuned_.store(true);
    }
    return HardwarePidFilter::Restore() != 0;
}
