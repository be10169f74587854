// What can happen to a simulated tuner besides the driver's own calls: the
// ways a real tuner misbehaves. Each has a short name (the word simreg takes
// and the registry records) and is logged as the SimOp of the same name.
#pragma once

#include <cstdint>
#include <string>

#include "sim/SimCallLog.h"

enum class SimDeviceEvent : uint32_t {
    Unplug,    // removed from the bus: no TS, every control call refused
    Replug,    // back on the bus as a new device; old handles stay dead
    Stall,     // the streaming path hangs: no TS, control calls still fine
    Flow,      // the stall ends
    NoSignal,  // the antenna is gone: level 0, no TS
    Signal,    // the antenna is back
    Abort,     // the streaming filters abort their stream with an error
    // Gone as with Unplug, but neither it nor the Replug that follows tells
    // the graphs anything: some USB drivers just stop.
    SilentUnplug,
    Count      // number of events, not an event
};

// "unplug", "replug", "stall", "flow", "nosignal", "signal", "abort",
// "unplug-silent";
// static storage.
const char* SimDeviceEventName(SimDeviceEvent event);
// The event of that name (exactly as above); false for any other text.
bool ParseSimDeviceEvent(const std::string& name, SimDeviceEvent* event);
// The call-log operation that records the event.
SimOp SimOpOfEvent(SimDeviceEvent event);
