// The simulated tuners the driver benchmarks run against: TesselSim.dll
// registered in the prefix and loaded from the path COM loads it from, so that
// its control reaches the filters the driver builds, with `count` ISDB-T
// tuners of one name (each INI picks its own by DeviceID).
#pragma once

#include <string>
#include <vector>

#include "sim/SimControl.h"

class SimulatedTuner {
public:
    static constexpr const wchar_t* Name = L"Tessel Sim ISDB Tuner";

    // Registers the simulator at `simDllPath` and `count` tuners; on failure
    // the reason is printed and Ready() is false.
    explicit SimulatedTuner(const wchar_t* simDllPath, unsigned count = 1);

    bool Ready() const { return !devices_.empty(); }
    // The simulator's control, for the program's life.
    SimControl* Control() const { return control_; }
    // Tuner `index`'s device model, owned by the simulator for the program's life.
    SimDevice* Device(size_t index = 0) const { return devices_[index]; }
    // The INI's DeviceID that selects tuner `index`.
    const std::wstring& DeviceId(size_t index = 0) const { return deviceIds_[index]; }

private:
    SimControl* control_ = nullptr;
    std::vector<SimDevice*> devices_;
    std::vector<std::wstring> deviceIds_;
};
