// The remote-control key thread: while the graph object lives, it reads the
// tuner's remote every 250 ms (only while one of the host's windows is in the
// foreground) and sends the host's foreground window WM_COMMAND with the
// command of the key. It stops when the graph's StopThreadEvent is signalled
// and signals ThreadExitedEvent as its last act.
#pragma once

#include "platform/PlatformTypes.h"

class MyFilterGraph;

// Wait between two polls, also the longest time the thread takes to notice
// its stop signal (plus one poll).
constexpr DWORD RemoteKeyPollMilliseconds = 250;

// Thread function for _beginthreadex; `graph` is the MyFilterGraph, which
// outlives the thread (its destructor waits for it). Returns 0.
unsigned __stdcall RemoteKeyThread(void* graph);
