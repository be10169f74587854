// Module-wide state of TesselSim.dll: its handle and the count of live
// objects and server locks that DllCanUnloadNow answers from. Windows only.
#pragma once

#include <windows.h>

class SimModule {
public:
    static HMODULE Handle();
    static void SetHandle(HMODULE module);
    static void Lock();
    static void Unlock();
    // Live objects plus server locks; the DLL may unload when it is 0.
    static long ActiveCount();
    // The DLL's own full path (for InprocServer32).
    static bool Path(wchar_t* buffer, DWORD capacity);
};

// Member of every object the DLL hands out, so the object counts as live
// from its construction to its destruction.
class SimModuleObject {
public:
    SimModuleObject() { SimModule::Lock(); }
    ~SimModuleObject() { SimModule::Unlock(); }
    SimModuleObject(const SimModuleObject&) = delete;
    SimModuleObject& operator=(const SimModuleObject&) = delete;
};
