// SimDeviceEvents: makes a simulated tuner misbehave (SimDeviceEvent) for
// every process of the prefix at once, as unplugging a real one would.
//
// Apply does, in this order:
//   1. the registry part: Unplug moves the tuner's instance key aside and
//      Replug puts it back (SimRegistry::UnplugTuner / ReplugTuner), so the
//      system device enumerator stops or starts listing it;
//   2. records the event under HKCU\Software\TesselSim\Events: one
//      REG_MULTI_SZ value per device path, its latest events oldest first,
//      each "SEQUENCE NAME" ("17 unplug"); SEQUENCE is one counter for the
//      prefix (HKCU\Software\TesselSim, "EventSequence") that only rises;
//   3. applies it to this process's device of that path, when TesselSim.dll
//      is loaded here (SimDevice::ApplyRecorded with the sequence, so the
//      DLL's watcher, which applies every newly recorded event to the devices
//      of its own process within 100 ms, does not apply it a second time).
// A process that starts later does not replay what was recorded before it:
// its devices start plugged, flowing and with signal (an unplugged tuner is
// still out of the enumerator, so it cannot be opened).
//
// Tuners() numbers the tuners for simreg ("simreg unplug 2"): the tuner
// category's instances in the registry's enumeration order (what
// `simreg list` prints), with each unplugged tuner put back where its
// instance key name sorts among them, so a tuner keeps its number while
// unplugged. Windows only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

#include "sim/SimDeviceEvent.h"
#include "sim/SimRegistry.h"

class SimControl;

// A tuner in simreg's numbering.
struct SimTunerEntry {
    SimDeviceRecord Record;
    bool Plugged = true;  // false: moved aside by an unplug
};

// One event of the record.
struct SimRecordedEvent {
    uint64_t Sequence = 0;
    SimDeviceEvent Event = SimDeviceEvent::Count;
};

class SimDeviceEvents {
public:
    // How many events the record keeps per device path (the oldest go).
    static constexpr size_t KeptPerDevice = 32;

    // The three steps above, for the control of TesselSim.dll when it is
    // loaded in this process. Works for any path: one that names no
    // registered tuner skips the registry part.
    static HRESULT Apply(SimDeviceEvent event, const std::wstring& devicePath);
    // Same with this process's control given (null: steps 1 and 2 only).
    static HRESULT Apply(SimDeviceEvent event, const std::wstring& devicePath,
                         SimControl* control);

    // The tuners in simreg's numbering (see above); number N is [N - 1].
    static std::vector<SimTunerEntry> Tuners();

    // The recorded events of one device path, oldest first.
    static std::vector<SimRecordedEvent> Recorded(const std::wstring& devicePath);
    // The sequence of the latest event recorded in the prefix (0: none yet).
    static uint64_t LastSequence();
    // Applies to `control`'s devices every recorded event later than `after`
    // that has not been applied there yet, each device's in order; returns
    // how many it applied. What TesselSim.dll's watcher runs.
    static size_t ApplyRecorded(SimControl* control, uint64_t after);

    // Every Run of a graph holding the tuner of `devicePath` takes `ms`
    // (0 to MaxRunDelayMs) longer, in every process of the prefix (the tuner
    // filter reads it at each Run); `control` (may be null) gets it at once.
    static constexpr uint32_t MaxRunDelayMs = 60000;
    static HRESULT SetRunDelay(const std::wstring& devicePath, uint32_t ms, SimControl* control);
    // What SetRunDelay recorded for the path (0: normal speed).
    static uint32_t RunDelay(const std::wstring& devicePath);

    // Every unplugged tuner back in the enumerator, the record emptied (the
    // sequence keeps rising) and every run delay gone. Devices of running
    // processes are not touched: SimControl::Reset brings this process's back.
    static HRESULT Forget();

    // TesselSim.dll's process-wide control when the DLL is loaded in this
    // process, else null.
    static SimControl* LoadedControl();
};
