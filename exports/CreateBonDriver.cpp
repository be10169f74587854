// The exported factory. The plug-in serves one driver object per process: a
// second call while one exists returns that object instead of replacing the
// graph under it.
#include <new>

#include "driver/CMyBonDriver.h"
#include "driver/ProcessState.h"

// Returns the driver object as its IBonDriver interface, or null when it
// cannot be allocated. The object belongs to the host until it calls Release.
extern "C" IBonDriver* CreateBonDriver() {
    try {
        ScopedLock lock(DriverLock);
        if (CurrentDriver == nullptr) CurrentDriver = new (std::nothrow) CMyBonDriver();
        return CurrentDriver;
    } catch (...) {
        return nullptr;
    }
}
