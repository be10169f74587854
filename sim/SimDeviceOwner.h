// ISimDeviceOwner: the simulator's private interface by which the network
// provider finds the simulated device of the tuner filter its pin is
// connected to. Only objects of TesselSim.dll implement or call it.
#pragma once

#include "platform/ComTypes.h"

class SimDevice;

// {0C7F3B2E-5D41-4E8A-9B62-7A1D3E5F9C04}
constexpr GUID IID_ISimDeviceOwner = {
    0x0C7F3B2E, 0x5D41, 0x4E8A, {0x9B, 0x62, 0x7A, 0x1D, 0x3E, 0x5F, 0x9C, 0x04}};

struct ISimDeviceOwner : public IUnknown {
    // The device this filter drives; owned by the process-wide SimControl and
    // valid until the process ends. Never null.
    virtual SimDevice* STDMETHODCALLTYPE Device() = 0;
    // What the filter's calls reach: its device, or once the device has been
    // replugged since the filter opened it, the device's dead handle
    // (SimDevice::Through). Same lifetime; never null.
    virtual SimDevice* STDMETHODCALLTYPE Handle() = 0;
};
