// The thread of TesselSim.dll that brings the device events other processes
// record (SimDeviceEvents) to this process's devices: woken by a change
// notification on HKCU\Software\TesselSim (or, where none can be armed,
// every 100 ms), it applies every event recorded after it started that this
// process has not applied yet, so an event reaches the devices here within
// a few milliseconds (100 ms when polling). Windows only.
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
