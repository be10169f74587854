// The five device exports: thin forwards to the open tuner. Unlike the
// PID-filter and card exports they take no DriverLock, so a remote-key read
// never waits behind a host call; the caller keeps the tuner open while one
// runs.
#include "driver/TunerAccess.h"
#include "platform/TesselExports.h"

extern "C" int32_t TESSEL_CDECL TesselBonDriver_GetRemoteControlKey(uint32_t* code,
                                                                    uint8_t* key) {
    return TunerAccess::ReadRemoteKey(code, key);
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_CheckLNBPowerCircuit(uint32_t value) {
    return TunerAccess::CheckLnbPowerCircuit(value);
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_SetLNBPower(uint32_t value) {
    return TunerAccess::SetLnbPower(value);
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_GetLNBPower(uint32_t value) {
    return TunerAccess::GetLnbPower(value);
}

extern "C" int32_t TESSEL_CDECL TesselBonDriver_FactoryModeWriteManufacturerProductSerialNumber(
    uint32_t manufacturer, uint32_t product, uint32_t serialNumber) {
    return TunerAccess::FactoryWrite(manufacturer, product, serialNumber);
}
