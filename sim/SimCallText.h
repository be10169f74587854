// The simulator's call log in the tracing driver's device-call form
// (DeviceCallText), so that a simulated run and a user's trace read alike
// and a log can be replayed as a report's device-calls.txt. Portable.
#pragma once

#include <string>
#include <vector>

#include "platform/DeviceCallText.h"
#include "sim/SimCallLog.h"

class SimCallText {
public:
    // The device call `call` records; false for the log's other entries
    // (the filters' fault points and the device's events).
    static bool ToDeviceCall(const SimCall& call, DeviceCall* line);
    // The device-call lines of `calls`, each ended by a line break.
    static std::string Lines(const std::vector<SimCall>& calls);
};
