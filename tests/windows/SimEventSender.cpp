// Makes a simulated tuner misbehave from a process of its own, as simreg
// does while a host runs: SimEventSender EVENT DEVICEPATH (EVENT as
// SimDeviceEventName writes it). Exits 0 when applied, 1 when it failed,
// 2 on wrong arguments.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

#include "sim/SimDeviceEvents.h"

int main() {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == nullptr) return 2;
    SimDeviceEvent event = SimDeviceEvent::Count;
    bool parsed = count == 3;
    if (parsed) {
        const std::wstring name = args[1];
        parsed = ParseSimDeviceEvent(std::string(name.begin(), name.end()), &event);
    }
    const std::wstring path = parsed ? args[2] : L"";
    LocalFree(args);
    if (!parsed) {
        std::fprintf(stderr, "usage: SimEventSender EVENT DEVICEPATH\n");
        return 2;
    }
    const HRESULT hr = SimDeviceEvents::Apply(event, path);
    if (FAILED(hr)) std::fprintf(stderr, "SimEventSender: failed (0x%08lX)\n", static_cast<unsigned long>(hr));
    return FAILED(hr) ? 1 : 0;
}
