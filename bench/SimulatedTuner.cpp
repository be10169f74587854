#include "bench/SimulatedTuner.h"

#include <windows.h>

#include <cstdio>

#include "sim/SimRegistry.h"

SimulatedTuner::SimulatedTuner(const wchar_t* simDllPath, unsigned count) {
    HMODULE sim = LoadLibraryW(simDllPath);
    if (sim == nullptr || FAILED(SimRegistry::RegisterServer(simDllPath))) {
        std::printf("the simulator cannot be registered\n");
        return;
    }
    auto getControl = reinterpret_cast<SimControl* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(sim, "SimGetControl")));
    if (getControl == nullptr) return;
    control_ = getControl();
    control_->Reset();
    std::vector<SimDeviceRecord> tuners;
    if (FAILED(SimRegistry::Clear()) ||
        FAILED(SimRegistry::AddTuners(count, Name, SimRegistry::DefaultPathTemplate(), &tuners)) ||
        tuners.size() != count) {
        std::printf("the simulated tuners could not be registered\n");
        return;
    }
    for (const SimDeviceRecord& tuner : tuners) {
        // The instance identifier is hexadecimal; its last digit selects the tuner.
        const std::wstring& path = tuner.devicePath;
        const size_t end = path.rfind(L'#');
        deviceIds_.push_back(std::to_wstring(std::stoi(path.substr(end - 1, 1), nullptr, 16)));
        devices_.push_back(control_->Device(path.c_str()));
    }
}
