// A wait for one kernel object that keeps handling messages other threads
// send to the waiting thread's windows. The graph's destructor runs on a host
// thread that may own the window the remote-key thread is blocked sending
// to; a plain wait there would never end.
#pragma once

#include "platform/PlatformTypes.h"

// Waits without a time-out until `object` is signalled, meanwhile running the
// window procedures of sent messages (posted messages stay queued for the
// host). Returns false when the wait itself failed (e.g. a null handle).
bool WaitDispatchingSentMessages(HANDLE object);
// The same for the first of `count` objects (at most MAXIMUM_WAIT_OBJECTS - 1).
bool WaitDispatchingSentMessages(const HANDLE* objects, DWORD count);
