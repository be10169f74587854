// Which top-level windows belong to the host: collected once, when the graph
// object is built, so that the remote-key thread forwards keys only while the
// host itself is in the foreground.
#pragma once

#include <cstdint>

#include "platform/PlatformTypes.h"

constexpr uint8_t MaxHostWindows = 8;

// The windows taken, in enumeration order from the first entry.
struct HostWindowList {
    uint8_t Count = 0;
    HWND Windows[MaxHostWindows] = {};
};

// What the enumeration callback works on: the process whose windows are
// wanted and the list filled so far.
struct HostWindowRecord {
    DWORD ProcessId = 0;
    HostWindowList List;
};

// Fills *destination with up to eight top-level windows of `processId`
// (unowned ones, and owned ones only while visible). Does nothing when
// `destination` is null. Handles are not owned: they are only compared.
void CollectHostWindows(DWORD processId, HostWindowList* destination);

// The EnumWindows callback; `record` points to a HostWindowRecord. Returns
// FALSE (stop) when a qualifying window arrives with the list already full.
BOOL CALLBACK CollectHostWindow(HWND window, LPARAM record);
