#include "bench/SimulatedTuner.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "sim/SimRegistry.h"

SimulatedTuner::SimulatedTuner(const wchar_t* simDllPath) {
    HMODULE sim = LoadLibraryW(simDllPath);
    if (sim == nullptr || FAILED(SimRegistry::RegisterServer(simDllPath))) {
        std::printf("the simulator cannot be registered\n");
        return;
    }
    auto getControl = reinterpret_cast<SimControl* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(sim, "SimGetControl")));
    if (getControl == nullptr) return;
    SimControl* control = getControl();
    control->Reset();
    std::vector<SimDeviceRecord> tuners;
    if (FAILED(SimRegistry::Clear()) ||
        FAILED(SimRegistry::AddTuners(1, Name, SimRegistry::DefaultPathTemplate(), &tuners)) ||
        tuners.empty()) {
        std::printf("no tuner could be registered\n");
        return;
    }
    // The instance identifier is hexadecimal; its last digit selects the tuner.
    const std::wstring& path = tuners[0].devicePath;
    const size_t end = path.rfind(L'#');
    deviceId_ = std::to_wstring(std::stoi(path.substr(end - 1, 1), nullptr, 16));
    device_ = control->Device(path.c_str());
}
