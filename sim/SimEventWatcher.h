// The thread of TesselSim.dll that brings the device events other processes
// record (SimDeviceEvents) to this process's devices: it waits for a change
// under HKCU\Software\TesselSim, for 100 ms at most, and applies every event
// recorded after it started that this process has not applied yet, so an
// event reaches the devices here within about 100 ms. Windows only.
#pragma once

#include <windows.h>

class SimEventWatcher {
public:
    // Starts the thread, once per process (later calls return at once). The
    // DLL pins itself first: the thread runs until the process ends, and an
    // unload must never leave it running code that is gone.
    static void Start();

private:
    static DWORD WINAPI Main(void* unused);
    static void Watch();
};
