#include "sim/SimState.h"

const WideChar* SimState::DefaultDevicePath() { return WIDE("sim:default"); }

SimState::SimState() { devices_.emplace_back(new SimDevice(DefaultDevicePath(), log_)); }

SimState::~SimState() = default;

void SimState::Reset() {
    ScopedLock hold(lock_);
    for (auto& device : devices_) device->Reset();
    log_.Clear();
    counters_.Clear();
}

SimDevice* SimState::Device(const WideChar* devicePath) {
    if (!devicePath || !*devicePath) return DefaultDevice();
    const SimText path(devicePath);
    ScopedLock hold(lock_);
    for (auto& device : devices_)
        if (device->Path() == path) return device.get();
    devices_.emplace_back(new SimDevice(path, log_));
    return devices_.back().get();
}

SimDevice* SimState::DefaultDevice() {
    ScopedLock hold(lock_);
    return devices_.front().get();
}

SimCallLog* SimState::CallLog() { return &log_; }

SimCounters* SimState::Counters() { return &counters_; }

SimControl* SimProcessControl() {
    // Never destroyed: filters may still reach their device while the process
    // unloads, whatever the order of static destruction.
    static SimState* const state = new SimState;
    return state;
}
