#include "driver/HardwarePidFilter.h"

#include "driver/ProcessState.h"
#include "graph/MyFilterGraph.h"
#include "platform/Trace.h"

namespace {

int32_t AsFlag(HRESULT hr) { return SUCCEEDED(hr) ? 1 : 0; }

// Sends the map; once the device took it, the map is what it has.
int32_t SendMap(MyFilterGraph* graph, uint32_t count, const uint16_t* pids) {
    const int32_t sent = AsFlag(graph->SetPidFilterList(count, pids));
    if (sent != 0) ProcessPidFilter.OnListLast = false;
    return sent;
}

// Sends the whole map, compacted into slot order; the caller holds DriverLock.
int32_t SendFilterMap(MyFilterGraph* graph, const HardwarePidFilter::ChangeTraces& traces) {
    PIDFilterMap filterMap;
    ProcessPidMap.BuildFilterMap(&filterMap);
    Trace(traces.CurrentNumber, ProcessPidMap.CurrentNumberOfPIDInFilterMap());
    Trace(traces.Number, filterMap.NumberOfPIDInFilterMap);
    for (int entry = 0; entry < PidSlotCount; ++entry)
        Trace("(PIDMap) PIDFilterMap[]", filterMap.PIDs[entry]);
    return SendMap(graph, filterMap.NumberOfPIDInFilterMap, filterMap.PIDs);
}

int32_t SendOnList(MyFilterGraph* graph) {
    const uint16_t onList[1] = {PidFilterOnPid};
    const int32_t sent = AsFlag(graph->SetPidFilterList(1, onList));
    if (sent != 0) ProcessPidFilter.OnListLast = true;
    return sent;
}

}  // namespace

int32_t HardwarePidFilter::Enable(int32_t enable) {
    ScopedLock lock(DriverLock);
    MyFilterGraph* graph = OpenGraph();
    if (graph == nullptr) return 0;
    if (FAILED(graph->EnablePidFilter(static_cast<uint32_t>(enable)))) return 0;
    ProcessPidFilter.SwitchArgument = static_cast<uint32_t>(enable);
    ProcessPidFilter.Switch.store(enable != 0 ? 1 : 0);
    if (enable == 0) return 1;
    return SendOnList(graph);
}

int32_t HardwarePidFilter::Reset() {
    ScopedLock lock(DriverLock);
    MyFilterGraph* graph = OpenGraph();
    // Without an open graph the reset stays due: a rebuilt graph gets it.
    if (graph == nullptr) return 0;
    return ResetOn(graph);
}

void HardwarePidFilter::ResetDue() { ProcessPidFilter.ResetPending = true; }

int32_t HardwarePidFilter::ResetOn(MyFilterGraph* graph) {
    ProcessPidMap.Reset();
    ProcessPidFilter.ResetPending = false;
    // Only the first entry counts: the array is the map's own slot array.
    return SendMap(graph, 1, ProcessPidMap.PidArray());
}

int32_t HardwarePidFilter::Add(uint8_t count, const uint16_t* pids, const ChangeTraces& traces) {
    return Change(true, count, pids, traces);
}

int32_t HardwarePidFilter::Remove(uint8_t count, const uint16_t* pids,
                                  const ChangeTraces& traces) {
    return Change(false, count, pids, traces);
}

int32_t HardwarePidFilter::Change(bool add, uint8_t count, const uint16_t* pids,
                                  const ChangeTraces& traces) {
    ScopedLock lock(DriverLock);
    MyFilterGraph* graph = OpenGraph();
    if (graph == nullptr) return 0;
    const PIDMapChange change =
        add ? ProcessPidMap.Add(count, pids) : ProcessPidMap.Remove(count, pids);
    if (change == PIDMapChange::Failed) return 0;
    const bool needToUpdate = change == PIDMapChange::NeedToUpdate;
    Trace(traces.NeedToUpdate, needToUpdate);
    return needToUpdate ? SendFilterMap(graph, traces) : 1;
}

int32_t HardwarePidFilter::Restore() {
    ScopedLock lock(DriverLock);
    MyFilterGraph* graph = OpenGraph();
    if (graph == nullptr) return 0;
    const int32_t on = ProcessPidFilter.Switch.load();
    if (on >= 0 && FAILED(graph->EnablePidFilter(ProcessPidFilter.SwitchArgument))) return 0;
    if (ProcessPidFilter.ResetPending) return ResetOn(graph);
    if (on > 0 && ProcessPidFilter.OnListLast) return SendOnList(graph);
    PIDFilterMap filterMap;
    ProcessPidMap.BuildFilterMap(&filterMap);
    if (filterMap.NumberOfPIDInFilterMap == 0) return 1;  // never reset: the device has none
    return SendMap(graph, filterMap.NumberOfPIDInFilterMap, filterMap.PIDs);
}
