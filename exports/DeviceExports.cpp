// The five device exports: thin forwards to the graph's TunerDeviceControl
// methods. Unlike the PID-filter and card exports they take no DriverLock,
// so a remote-key read never waits behind a host call; the caller keeps the
// tuner open while one runs.
#include "exports/OpenGraph.h"
#include "exports/TesselExports.h"
#include "graph/RemoteKeyPoller.h"

namespace {

int32_t AsFlag(HRESULT hr) { return SUCCEEDED(hr) ? 1 : 0; }

}  // namespace

extern "C" int32_t TESSEL_CDECL TesselBonDriver_GetRemoteControlKey(uint32_t* code,
                                                                    uint8_t* key) {
    MyFilterGraph* graph = OpenGraph();
    return graph == nullptr ? 0
                            : AsFlag(graph->ReadRemoteControlKey(RemoteKeySelector, code, key));
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_CheckLNBPowerCircuit(uint32_t value) {
    MyFilterGraph* graph = OpenGraph();
    return graph == nullptr ? 0 : AsFlag(graph->CheckLNBPowerCircuit(value));
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_SetLNBPower(uint32_t value) {
    MyFilterGraph* graph = OpenGraph();
    return graph == nullptr ? 0 : AsFlag(graph->SetLNBPower(value));
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_GetLNBPower(uint32_t value) {
    MyFilterGraph* graph = OpenGraph();
    return graph == nullptr ? 0 : AsFlag(graph->GetLNBPower(value));
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_FactoryModeWriteManufacturerProductSerialNumber(
    uint32_t manufacturer, uint32_t product, uint32_t serialNumber) {
    MyFilterGraph* graph = OpenGraph();
    return graph == nullptr ? 0
                            : AsFlag(graph->FactoryModeWriteManufacturerProductSerialNumber(
                                  manufacturer, product, serialNumber));
}
