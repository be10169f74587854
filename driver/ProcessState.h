// The process-wide state of the library, shared by the driver object and the
// flat exports: the module handle, the one lock that serialises the host
// interface and the exports, the one driver object and its graph, and the
// two device states that outlive a driver object (the hardware PID map and
// the card reader's reset state).
//
// ModuleHandle and DriverLock are set up by the library entry at process
// attach and taken down at detach. CurrentDriver and CurrentGraph belong to
// the driver object (set at its construction, cleared by its Release) and
// change only under DriverLock.
#pragma once

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
// Touched only by SCardTransmit under DriverLock.
extern SmartCardReader ProcessCardReader;

// The library entry's two halves.
void AttachProcessState(HMODULE module);
void DetachProcessState();

// CurrentGraph when it exists and its graph is open, else null. The graph
// stays owned by the driver object; callers use it for the current call only.
MyFilterGraph* OpenGraph();
