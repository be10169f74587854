// SimControl: how test programs and tools drive the simulated Tessel tuner.
// TesselSim.dll exports the process-wide instance as SimGetControl(), so a
// program that loads the DLL shares the state its COM objects use:
//
//   SimControl* sim = SimGetControl();
//   sim->Reset();
//   sim->Device(path)->ArmFault(SimOp::SetFrequency, E_FAIL, 1);
//   ...
//   std::vector<SimCall> calls = sim->CallLog()->Entries();
//
// Every pointer it returns stays owned by the control and valid until the
// process ends. Thread-safe.
#pragma once

#include <memory>

#include "platform/PlatformTypes.h"
#include "sim/SimAnswerScript.h"
#include "sim/SimCallLog.h"
#include "sim/SimChannelSources.h"
#include "sim/SimCounters.h"
#include "sim/SimDevice.h"

class SimControl {
public:
    // Every device back to power-on defaults (plugged, flowing, with signal),
    // the call log emptied, the counters zeroed. Devices are kept, so
    // pointers held elsewhere stay valid.
    virtual void Reset() = 0;

    // The device known by `devicePath` (compared exactly), created on first
    // use. A null or empty path gives the default device. Never null.
    virtual SimDevice* Device(const WideChar* devicePath) = 0;
    // The device used by tuner filters that never learnt their path.
    virtual SimDevice* DefaultDevice() = 0;

    // The log shared by all devices.
    virtual SimCallLog* CallLog() = 0;
    // Creation counters of the sim COM objects.
    virtual SimCounters* Counters() = 0;

    // What every channel of every device, present and future, carries from
    // the next tune on (null: every channel live with the synthetic stream).
    // Reset returns to the default sources.
    virtual void SetChannelSources(std::shared_ptr<const SimChannelSources> sources) = 0;
    // The sources the process starts with and Reset returns to; TesselSim.dll
    // sets them from the registry (simreg) before it creates its first object.
    virtual void SetDefaultChannelSources(std::shared_ptr<const SimChannelSources> sources) = 0;

    // A replayed report's answers for every device, present and future
    // (null: none); TesselSim.dll sets them from the registry (simreg
    // replay-report) before it creates its first object. Reset keeps them.
    virtual void SetAnswerScript(std::shared_ptr<SimAnswerScript> script) = 0;

protected:
    ~SimControl() = default;
};

// The process-wide control (TesselSim.dll's SimGetControl() returns this).
SimControl* SimProcessControl();
