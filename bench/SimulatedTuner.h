// The simulated tuner the driver benchmarks run against: TesselSim.dll
// registered in the prefix and loaded from the path COM loads it from, so that
// its control reaches the filters the driver builds, with one ISDB-T tuner.
#pragma once

#include <string>

#include "sim/SimControl.h"

class SimulatedTuner {
public:
    static constexpr const wchar_t* Name = L"Tessel Sim ISDB Tuner";

    // Registers the simulator at `simDllPath` and one tuner; on failure the
    // reason is printed and Ready() is false.
    explicit SimulatedTuner(const wchar_t* simDllPath);

    bool Ready() const { return device_ != nullptr; }
    // The tuner's device model, owned by the simulator for the program's life.
    SimDevice* Device() const { return device_; }
    // The INI's DeviceID that selects the tuner.
    const std::wstring& DeviceId() const { return deviceId_; }

private:
    SimDevice* device_ = nullptr;
    std::wstring deviceId_;
};
