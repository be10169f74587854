// The flat TesselBonDriver_ exports beside the host interface: the hardware
// PID filter and the device operations. All use the caller-cleans (cdecl)
// convention and answer 1 for success, 0 for failure; none keeps a pointer
// it is given. Programs that load the library by path can take their
// function types from here with decltype.
#pragma once

#include <cstdint>

#ifdef _WIN32
#define TESSEL_CDECL __cdecl
#else
#define TESSEL_CDECL
#endif

extern "C" {
// Hardware PID filter. Each holds DriverLock for its whole run.
int32_t TESSEL_CDECL TesselBonDriver_EnableDisableHardwarePidFilter(int32_t enable);
int32_t TESSEL_CDECL TesselBonDriver_ResetHardwarePidFilter();
int32_t TESSEL_CDECL TesselBonDriver_SetHardwarePidFilterAddPID(uint8_t count,
                                                                const uint16_t* pids);
int32_t TESSEL_CDECL TesselBonDriver_SetHardwarePidFilterRemovePID(uint8_t count,
                                                                   const uint16_t* pids);

// Device operations. These take no lock; the caller keeps the tuner open
// while one runs. Output arguments are written by the device only.
int32_t TESSEL_CDECL TesselBonDriver_GetRemoteControlKey(uint32_t* code, uint8_t* key);
int32_t TESSEL_CDECL TesselBonDriver_CheckLNBPowerCircuit(uint32_t value);
int32_t TESSEL_CDECL TesselBonDriver_SetLNBPower(uint32_t value);
int32_t TESSEL_CDECL TesselBonDriver_GetLNBPower(uint32_t value);
int32_t TESSEL_CDECL TesselBonDriver_FactoryModeWriteManufacturerProductSerialNumber(
    uint32_t manufacturer, uint32_t product, uint32_t serialNumber);
}
