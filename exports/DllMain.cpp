// The library entry and the process-wide state. DriverLock lives in static
// storage and is constructed at process attach and destroyed at detach, so
// that its lifetime is exactly the library's attachment.
#include <new>

#include "exports/DriverGlobals.h"

namespace {
alignas(ReentrantLock) unsigned char DriverLockStorage[sizeof(ReentrantLock)];
}

HMODULE ModuleHandle = nullptr;
ReentrantLock& DriverLock = *reinterpret_cast<ReentrantLock*>(DriverLockStorage);
MyFilterGraph* CurrentGraph = nullptr;
CMyBonDriver* CurrentDriver = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            ModuleHandle = instance;
            new (DriverLockStorage) ReentrantLock();
            break;
        case DLL_PROCESS_DETACH:
            ModuleHandle = nullptr;
            DriverLock.~ReentrantLock();
            break;
        default:
            break;
    }
    return TRUE;
}
