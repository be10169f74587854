// SimDeviceListener: what a simulated device tells the objects bound to it
// (the tuner filters) when something happens to it, so they can tell their
// graph as a real capture filter does.
//
// The device calls its listeners one event at a time, with none of its own
// locks held except the one that also guards its listener list: a listener
// may call the device back, but must not add or remove listeners of another
// device from inside the call. A listener removed while the device is
// telling someone else waits until that call has returned.
#pragma once

#include "sim/SimDeviceEvent.h"

class SimDevice;

class SimDeviceListener {
public:
    // `event` has just been applied to `device` (whose state already shows it).
    virtual void OnDeviceEvent(SimDevice& device, SimDeviceEvent event) = 0;

protected:
    ~SimDeviceListener() = default;
};
