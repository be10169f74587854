#include "driver/HardwarePidFilter.h"

#include "driver/ProcessState.h"
#include "graph/MyFilterGraph.h"
#include "platform/Trace.h"

namespace {

int32_t AsFlag(HRESULT hr) { return SUCCEEDED(hr) ? 1 : 0; }

// Sends the whole map, compacted into slot order; the caller holds DriverLock.
int32_t SendFilterMap(MyFilterGraph* graph, const HardwarePidFilter::ChangeTraces& traces) {
    PIDFilterMap filterMap;
    ProcessPidMap.BuildFilterMap(&filterMap);
    Trace(traces.CurrentNumber, ProcessPidMap.CurrentNumberOfPIDInFilterMap());
    Trace(traces.Number, filterMap.NumberOfPIDInFilterMap);
    for (int entry = 0; entry < PidSlotCount; ++entry)
        Trace("(PIDMap) PIDFilterMap[]", filterMap.PIDs[entry]);
    return AsFlag(graph->SetPidFilterList(filterMap.NumberOfPIDInFilterMap, filterMap.PIDs));
}

}  // namespace

int32_t HardwarePidFilter::Enable(int32_t enable) {
    ScopedLock lock(DriverLock);
    MyFilterGraph* graph = OpenGraph();
    if (graph == nullptr) return 0;
    if (FAILED(graph->EnablePidFilter(static_cast<uint32_t>(enable)))) return 0;
    ProcessPidFilterSwitch = enable;
    if (enable == 0) return 1;
    const uint16_t onList[1] = {PidFilterOnPid};
    return AsFlag(graph->SetPidFilterList(1, onList));
}

int32_t HardwarePidFilter::Reset() {
    ScopedLock lock(DriverLock);
    MyFilterGraph* graph = OpenGraph();
    if (graph == nullptr) return 0;
    ProcessPidMap.Reset();
    // Only the first entry counts: the array is the map's own slot array.
    return AsFlag(graph->SetPidFilterList(1, ProcessPidMap.PidArray()));
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
    if (ProcessPidFilterSwitch >= 0 &&
        FAILED(graph->EnablePidFilter(static_cast<uint32_t>(ProcessPidFilterSwitch))))
        return 0;
    PIDFilterMap filterMap;
    ProcessPidMap.BuildFilterMap(&filterMap);
    if (filterMap.NumberOfPIDInFilterMap == 0) return 1;  // never reset: the device has none
    return AsFlag(graph->SetPidFilterList(filterMap.NumberOfPIDInFilterMap, filterMap.PIDs));
}
