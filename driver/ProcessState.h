// The process-wide state of the library, shared by the driver object and the
// flat exports: the module handle, the one lock that serialises the host
// interface and the exports, the one driver object and its graph, and the
// two device states that outlive a driver object (the hardware PID map and
// the card reader's reset state).
//
// ModuleHandle and DriverLock are set up by the library entry at process
// attach and taken down when the library is unloaded. At process exit they
// stay: a host's own clean-up (its DLL_PROCESS_DETACH, a global destructor)
// may still call Release after this library's detach has run, and by then
// the process's other threads are gone. CurrentDriver and CurrentGraph
// belong to the driver object (set when it starts, cleared by its Release)
// and change only under DriverLock. Nothing here has a static destructor.
#pragma once

#include <atomic>
#include <cstdint>

#include "driver/PIDMap.h"
#include "driver/SmartCardReader.h"
#include "platform/PlatformTypes.h"
#include "platform/Locks.h"

class MyFilterGraph;
class CMyBonDriver;

extern HMODULE ModuleHandle;
extern ReentrantLock& DriverLock;
extern MyFilterGraph* CurrentGraph;
extern CMyBonDriver* CurrentDriver;
// Touched only under DriverLock, by the PID-filter exports and the driver's
// reset after a tune; kept until the process ends.
extern PIDMap ProcessPidMap;
// Touched only by SCardTransmit under DriverLock (and by a rebuild, which
// has the card reset before its next command).
extern SmartCardReader ProcessCardReader;
// What the device's hardware PID filter last got, so that a graph rebuilt
// after a loss gets exactly that again. Changed under DriverLock; Switch is
// also read without it (a silent stream under the host's filter is no stall).
struct PidFilterState {
    // The last switch the device took: 1 on, 0 off, -1 while never set; and
    // the argument it was given, passed again as it was.
    std::atomic<int32_t> Switch{-1};
    uint32_t SwitchArgument = 0;
    // The one-PID "on" list is what the device got last: no reset, add or
    // remove has sent the map since the filter was switched on.
    bool OnListLast = false;
    // A tune succeeded (or is wished for) and the map reset that follows it
    // has not reached the device yet.
    bool ResetPending = false;
};
extern PidFilterState ProcessPidFilter;
// The LNB power the host last set through the export; -1 while never set.
extern std::atomic<int64_t> ProcessLnbPower;

// The library entry's two halves. `processExit`: the detach is the process's
// exit (DllMain's reserved argument set), which leaves everything in place;
// at an unload the entry first ends the driver's storage and the kept plans.
void AttachProcessState(HMODULE module);
void DetachProcessState(bool processExit);

// True once the process has begun to exit: this library's detach said so, or
// the loader is running the detach of the process's libraries (a host's
// detach may run before this library's). The other threads are gone then,
// so nothing may wait for one or for a lock one of them may have held.
bool ProcessIsExiting();

// CurrentGraph when it exists and its graph is open, else null. The graph
// stays owned by the driver object; callers use it for the current call only.
MyFilterGraph* OpenGraph();
