// The process-wide state of the library: its module handle, the one lock that
// serialises the host interface and the exports, and the one graph object.
// ModuleHandle and DriverLock are set up by the library entry at process
// attach and taken down at detach; CurrentGraph belongs to the driver object
// that created it (set at its construction, destroyed by its Release).
#pragma once

#include "platform/PlatformTypes.h"
#include "platform/ReentrantLock.h"

class MyFilterGraph;
class CMyBonDriver;

extern HMODULE ModuleHandle;
extern ReentrantLock& DriverLock;
extern MyFilterGraph* CurrentGraph;
// The one driver object of the process, or null; guarded by DriverLock.
extern CMyBonDriver* CurrentDriver;
