// The four hardware PID-filter exports over the process-wide PIDMap. Every
// one holds DriverLock from the open-tuner test to its last device call, so
// the map and the list the device last received change together. The map
// lives until the process ends: closing the tuner does not clear it.
#include "exports/OpenGraph.h"
#include "exports/PIDMap.h"
#include "exports/TesselExports.h"
#include "platform/Trace.h"

namespace {

PIDMap ProcessPidMap;

// Sends the whole map, compacted into slot order; the caller holds DriverLock.
int32_t SendFilterMap(MyFilterGraph* graph, const char* currentText, const char* numberText) {
    PIDFilterMap filterMap;
    ProcessPidMap.BuildFilterMap(&filterMap);
    Trace(currentText, ProcessPidMap.CurrentNumberOfPIDInFilterMap());
    Trace(numberText, filterMap.NumberOfPIDInFilterMap);
    for (int entry = 0; entry < PidSlotCount; ++entry)
        Trace("(PIDMap) PIDFilterMap[]", filterMap.PIDs[entry]);
    return SUCCEEDED(graph->SetPidFilterList(filterMap.NumberOfPIDInFilterMap, filterMap.PIDs))
               ? 1
               : 0;
}

// Add or remove under DriverLock; 0 without an open tuner or with a null
// list of PIDs (nothing touched then).
int32_t ChangeMap(bool add, uint8_t count, const uint16_t* pids, const char* flagText,
                  const char* currentText, const char* numberText) {
    ScopedLock lock(DriverLock);
    MyFilterGraph* graph = OpenGraph();
    if (graph == nullptr) return 0;
    const PIDMapChange change =
        add ? ProcessPidMap.Add(count, pids) : ProcessPidMap.Remove(count, pids);
    if (change == PIDMapChange::Failed) return 0;
    const bool needToUpdate = change == PIDMapChange::NeedToUpdate;
    Trace(flagText, needToUpdate);
    return needToUpdate ? SendFilterMap(graph, currentText, numberText) : 1;
}

}  // namespace

extern "C" int32_t TESSEL_CDECL TesselBonDriver_EnableDisableHardwarePidFilter(int32_t enable) {
    ScopedLock lock(DriverLock);
    MyFilterGraph* graph = OpenGraph();
    if (graph == nullptr) return 0;
    if (FAILED(graph->EnablePidFilter(static_cast<uint32_t>(enable)))) return 0;
    if (enable == 0) return 1;
    const uint16_t onList[1] = {PidFilterOnPid};
    return SUCCEEDED(graph->SetPidFilterList(1, onList)) ? 1 : 0;
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_ResetHardwarePidFilter() {
    Trace("(TesselBonDriver_ResetHardwarePidFilter)");
    ScopedLock lock(DriverLock);
    MyFilterGraph* graph = OpenGraph();
    if (graph == nullptr) return 0;
    ProcessPidMap.Reset();
    // Only the first entry counts: the array is the map's own slot array.
    return SUCCEEDED(graph->SetPidFilterList(1, ProcessPidMap.PidArray())) ? 1 : 0;
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_SetHardwarePidFilterAddPID(uint8_t count,
                                                                           const uint16_t* pids) {
    Trace("(TesselBonDriver_SetHardwarePidFilterAddPID)");
    if (count != 0 && pids != nullptr)
        Trace("(TesselBonDriver_SetHardwarePidFilterAddPID) Add PID", pids[0]);
    const int32_t result =
        ChangeMap(true, count, pids, "(TesselBonDriver_SetHardwarePidFilterAddPID) NeedToUpdatePIDMapFlag",
                  "(TesselBonDriver_SetHardwarePidFilterAddPID) CurrentNumberOfPIDInFilterMap",
                  "(TesselBonDriver_SetHardwarePidFilterAddPID) NumberOfPIDInFilterMap");
    Trace("(TesselBonDriver_SetHardwarePidFilterAddPID) Result", result);
    return result;
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_SetHardwarePidFilterRemovePID(
    uint8_t count, const uint16_t* pids) {
    Trace("(TesselBonDriver_SetHardwarePidFilterRemovePID)");
    if (count != 0 && pids != nullptr)
        Trace("(TesselBonDriver_SetHardwarePidFilterRemovePID) Remove PID", pids[0]);
    const int32_t result = ChangeMap(
        false, count, pids, "(TesselBonDriver_SetHardwarePidFilterRemovePID) NeedToUpdatePIDMapFlag",
        "(TesselBonDriver_SetHardwarePidFilterRemovePID) CurrentNumberOfPIDInFilterMap",
        "(TesselBonDriver_SetHardwarePidFilterRemovePID) NumberOfPIDInFilterMap");
    Trace("(TesselBonDriver_SetHardwarePidFilterRemovePID) Result", result);
    return result;
}
