// The four hardware PID-filter exports: their traces around the driver's
// HardwarePidFilter, which holds DriverLock for the whole operation.
#include "driver/HardwarePidFilter.h"
#include "platform/TesselExports.h"
#include "platform/Trace.h"

extern "C" int32_t TESSEL_CDECL TesselBonDriver_EnableDisableHardwarePidFilter(int32_t enable) {
    return HardwarePidFilter::Enable(enable);
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_ResetHardwarePidFilter() {
    Trace("(TesselBonDriver_ResetHardwarePidFilter)");
    return HardwarePidFilter::Reset();
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_SetHardwarePidFilterAddPID(uint8_t count,
                                                                           const uint16_t* pids) {
    static const HardwarePidFilter::ChangeTraces traces = {
        "(TesselBonDriver_SetHardwarePidFilterAddPID) NeedToUpdatePIDMapFlag",
        "(TesselBonDriver_SetHardwarePidFilterAddPID) CurrentNumberOfPIDInFilterMap",
        "(TesselBonDriver_SetHardwarePidFilterAddPID) NumberOfPIDInFilterMap"};
    Trace("(TesselBonDriver_SetHardwarePidFilterAddPID)");
    if (count != 0 && pids != nullptr)
        Trace("(TesselBonDriver_SetHardwarePidFilterAddPID) Add PID", pids[0]);
    const int32_t result = HardwarePidFilter::Add(count, pids, traces);
    Trace("(TesselBonDriver_SetHardwarePidFilterAddPID) Result", result);
    return result;
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_SetHardwarePidFilterRemovePID(
    uint8_t count, const uint16_t* pids) {
    static const HardwarePidFilter::ChangeTraces traces = {
        "(TesselBonDriver_SetHardwarePidFilterRemovePID) NeedToUpdatePIDMapFlag",
        "(TesselBonDriver_SetHardwarePidFilterRemovePID) CurrentNumberOfPIDInFilterMap",
        "(TesselBonDriver_SetHardwarePidFilterRemovePID) NumberOfPIDInFilterMap"};
    Trace("(TesselBonDriver_SetHardwarePidFilterRemovePID)");
    if (count != 0 && pids != nullptr)
        Trace("(TesselBonDriver_SetHardwarePidFilterRemovePID) Remove PID", pids[0]);
    const int32_t result = HardwarePidFilter::Remove(count, pids, traces);
    Trace("(TesselBonDriver_SetHardwarePidFilterRemovePID) Result", result);
    return result;
}
