// SimState: the SimControl implementation, holding every simulated device,
// the shared call log and the object counters. One process-wide instance is
// handed out by SimProcessControl(); tests may also make their own.
#pragma once

#include <memory>
#include <vector>

#include "platform/Locks.h"
#include "sim/SimControl.h"

class SimState final : public SimControl {
public:
    // Path of the device that answers for a null or empty path.
    static const WideChar* DefaultDevicePath();

    SimState();
    ~SimState();
    SimState(const SimState&) = delete;
    SimState& operator=(const SimState&) = delete;

    void Reset() override;
    SimDevice* Device(const WideChar* devicePath) override;
    SimDevice* DefaultDevice() override;
    SimCallLog* CallLog() override;
    SimCounters* Counters() override;
    void SetChannelSources(std::shared_ptr<const SimChannelSources> sources) override;
    void SetDefaultChannelSources(std::shared_ptr<const SimChannelSources> sources) override;
    void SetAnswerScript(std::shared_ptr<SimAnswerScript> script) override;

private:
    ReentrantLock lock_;
    SimCallLog log_;
    SimCounters counters_;
    std::vector<std::unique_ptr<SimDevice>> devices_;  // [0] is the default device
    std::shared_ptr<const SimChannelSources> sources_, defaultSources_;
    std::shared_ptr<SimAnswerScript> script_;
};
