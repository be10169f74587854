#include "sim/SimState.h"

const WideChar* SimState::DefaultDevicePath() { return WIDE("sim:default"); }

SimState::SimState() { devices_.emplace_back(new SimDevice(DefaultDevicePath(), log_)); }

SimState::~SimState() = default;

void SimState::Reset() {
    ScopedLock hold(lock_);
    sources_ = defaultSources_;
    for (auto& device : devices_) {
        device->Reset();
        device->SetChannelSources(sources_);
    }
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
    devices_.back()->SetChannelSources(sources_);
    devices_.back()->SetAnswerScript(script_);
    return devices_.back().get();
}

SimDevice* SimState::DefaultDevice() {
    ScopedLock hold(lock_);
    return devices_.front().get();
}

void SimState::SetChannelSources(std::shared_ptr<const SimChannelSources> sources) {
    ScopedLock hold(lock_);
    sources_ = std::move(sources);
    for (auto& device : devices_) device->SetChannelSources(sources_);
}

void SimState::SetAnswerScript(std::shared_ptr<SimAnswerScript> script) {
    ScopedLock hold(lock_);
    script_ = std::move(script);
    for (auto& device : devices_) device->SetAnswerScript(script_);
}

void SimState::SetDefaultChannelSources(std::shared_ptr<const SimChannelSources> sources) {
    ScopedLock hold(lock_);
    defaultSources_ = sources;
    SetChannelSources(std::move(sources));
}

SimCallLog* SimState::CallLog() { return &log_; }

SimCounters* SimState::Counters() { return &counters_; }

SimControl* SimProcessControl() {
    // Never destroyed: filters may still reach their device while the process
    // unloads, whatever the order of static destruction.
    static SimState* const state = new SimState;
    return state;
}
