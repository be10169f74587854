// The four hardware PID-filter exports: their traces around the driver's
// HardwarePidFilter, which holds DriverLock for the whole operation.
#include "driver/HardwarePidFilter.h"
#include "platform/TesselExports.h"
#include "platform/Trace.h"

namespace {

// The trace texts of one of the two map-changing exports.
struct ChangeExportTexts {
    const char* Entry;
    const char* FirstPid;
    const char* Result;
    HardwarePidFilter::ChangeTraces Map;
};

int32_t ChangeExport(bool add, uint8_t count, const uint16_t* pids,
                     const ChangeExportTexts& texts) {
    Trace(texts.Entry);
    if (count != 0 && pids != nullptr) Trace(texts.FirstPid, pids[0]);
    const int32_t result = add ? HardwarePidFilter::Add(count, pids, texts.Map)
                               : HardwarePidFilter::Remove(count, pids, texts.Map);
    Trace(texts.Result, result);
    return result;
}

}  // namespace

extern "C" int32_t TESSEL_CDECL TesselBonDriver_EnableDisableHardwarePidFilter(int32_t enable) {
    return HardwarePidFilter::Enable(enable);
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_ResetHardwarePidFilter() {
    Trace("(TesselBonDriver_ResetHardwarePidFilter)");
    return HardwarePidFilter::Reset();
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_SetHardwarePidFilterAddPID(uint8_t count,
                                                                           const uint16_t* pids) {
    static const ChangeExportTexts texts = {
        "(TesselBonDriver_SetHardwarePidFilterAddPID)",
        "(TesselBonDriver_SetHardwarePidFilterAddPID) Add PID",
        "(TesselBonDriver_SetHardwarePidFilterAddPID) Result",
        {"(TesselBonDriver_SetHardwarePidFilterAddPID) NeedToUpdatePIDMapFlag",
         "(TesselBonDriver_SetHardwarePidFilterAddPID) CurrentNumberOfPIDInFilterMap",
         "(TesselBonDriver_SetHardwarePidFilterAddPID) NumberOfPIDInFilterMap"}};
    return ChangeExport(true, count, pids, texts);
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_SetHardwarePidFilterRemovePID(
    uint8_t count, const uint16_t* pids) {
    static const ChangeExportTexts texts = {
        "(TesselBonDriver_SetHardwarePidFilterRemovePID)",
        "(TesselBonDriver_SetHardwarePidFilterRemovePID) Remove PID",
        "(TesselBonDriver_SetHardwarePidFilterRemovePID) Result",
        {"(TesselBonDriver_SetHardwarePidFilterRemovePID) NeedToUpdatePIDMapFlag",
         "(TesselBonDriver_SetHardwarePidFilterRemovePID) CurrentNumberOfPIDInFilterMap",
         "(TesselBonDriver_SetHardwarePidFilterRemovePID) NumberOfPIDInFilterMap"}};
    return ChangeExport(false, count, pids, texts);
}
