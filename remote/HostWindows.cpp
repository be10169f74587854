#include "remote/HostWindows.h"

BOOL CALLBACK CollectHostWindow(HWND window, LPARAM record) {
    HostWindowRecord* collected = reinterpret_cast<HostWindowRecord*>(record);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != collected->ProcessId) return TRUE;
    // Hidden owned windows are tool and helper windows, never what the user
    // looks at.
    if (GetWindow(window, GW_OWNER) != nullptr && !IsWindowVisible(window)) return TRUE;
    HostWindowList& list = collected->List;
    if (list.Count >= MaxHostWindows) return FALSE;
    list.Windows[list.Count++] = window;
    return TRUE;
}

void CollectHostWindows(DWORD processId, HostWindowList* destination) {
    if (destination == nullptr) return;
    HostWindowRecord record;
    record.ProcessId = processId;
    EnumWindows(&CollectHostWindow, reinterpret_cast<LPARAM>(&record));
    *destination = record.List;
}
