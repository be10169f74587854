// ExitReleaseHost.exe DRIVER RELEASER MARKER ORDER OPEN: a host process that
// exits with its driver still held by ExitReleaser.dll, which releases it
// from its own DLL_PROCESS_DETACH. ORDER "driver-first" loads ExitReleaser
// first, so the loader detaches the driver before it (the usual order: the
// driver's detach has run when Release comes); "releaser-first" loads the
// driver first, so Release comes before the driver's own detach. OPEN 1
// opens and tunes the tuner and waits for a chunk. A visible window makes
// the driver start its remote-key thread, which the exit terminates. Exits
// with 7 when it got as far as ExitProcess, other codes name the step that
// failed.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "platform/IBonDriver.h"

namespace {

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    return DefWindowProcW(window, message, w, l);
}

HWND MakeHostWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &WindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ExitReleaseHost";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"ExitReleaseHost", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                  100, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window != nullptr) ShowWindow(window, SW_SHOW);
    return window;
}

template <class Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool ReadOneChunk(IBonDriver* driver) {
    for (int round = 0; round < 100; ++round) {
        driver->WaitTsStream(100);
        BYTE* data = nullptr;
        DWORD size = 0, remaining = 0;
        if (driver->GetTsStream(&data, &size, &remaining) && size > 0) return true;
    }
    return false;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 6) return 2;
    const bool driverFirst = std::wcscmp(argv[4], L"driver-first") == 0;
    const bool open = std::wcscmp(argv[5], L"1") == 0;
    if (MakeHostWindow() == nullptr) return 3;
    HMODULE releaser = driverFirst ? LoadLibraryW(argv[2]) : nullptr;
    HMODULE driverModule = LoadLibraryW(argv[1]);
    if (!driverFirst) releaser = LoadLibraryW(argv[2]);
    if (driverModule == nullptr || releaser == nullptr) return 4;
    typedef IBonDriver* (*Create)();
    typedef void (*Hold)(IBonDriver*, const wchar_t*);
    Create create = Export<Create>(driverModule, "CreateBonDriver");
    Hold hold = Export<Hold>(releaser, "HoldUntilExit");
    IBonDriver* driver = create != nullptr ? create() : nullptr;
    if (driver == nullptr || hold == nullptr) return 5;
    if (open) {
        IBonDriver2* driver2 = static_cast<IBonDriver2*>(driver);
        if (!driver2->OpenTuner() || !driver2->SetChannel(0u, 0u) || !ReadOneChunk(driver))
            return 6;
    }
    hold(driver, argv[3]);
    ExitProcess(7);
}
