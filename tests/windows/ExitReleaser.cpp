// ExitReleaser.dll: a host's wrapper library that releases the driver in its
// own DLL_PROCESS_DETACH while the process exits, as careless hosts do. It
// writes "released" to the marker file once Release has returned, so the
// test can tell a Release that came back from one that never did.
#include <windows.h>

#include "platform/IBonDriver.h"

namespace {

IBonDriver* held = nullptr;
wchar_t marker[MAX_PATH] = {};

void WriteMarker() {
    HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, "released", 8, &written, nullptr);
    CloseHandle(file);
}

}  // namespace

// Keeps `driver` to release at process exit, and where to say it returned.
extern "C" __declspec(dllexport) void HoldUntilExit(IBonDriver* driver, const wchar_t* markerPath) {
    held = driver;
    lstrcpynW(marker, markerPath, MAX_PATH);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr && held != nullptr) {
        held->Release();
        WriteMarker();
    }
    return TRUE;
}
