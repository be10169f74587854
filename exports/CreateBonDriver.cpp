// The exported factory. The plug-in serves one driver object per process: a
// second call while it lives returns that object instead of replacing the
// graph under it, and a call after its Release starts the same object afresh.
#include "driver/CMyBonDriver.h"
#include "driver/ProcessState.h"

// Returns the driver object as its IBonDriver interface, or null when it
// cannot be made (or the process is exiting). The object belongs to the host
// until it calls Release.
extern "C" IBonDriver* CreateBonDriver() {
    if (ProcessIsExiting()) return nullptr;
    try {
        ScopedLock lock(DriverLock);
        return CMyBonDriver::StartShared();
    } catch (...) {
        return nullptr;
    }
}
