// The report a Wine prefix replays (simreg replay-report): the path of its
// device-calls.txt under HKEY_CURRENT_USER\Software\TesselSim\Replay, value
// "DeviceCalls". TesselSim.dll reads it once, before it creates its first
// object, and every simulated device then answers as the user's tuner did.
// Windows only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "sim/SimAnswerScript.h"

class SimReplayRegistry {
public:
    // `deviceCalls`: the full path of a report's device-calls.txt.
    static HRESULT Set(const std::wstring& deviceCalls);
    // No report replayed any more (S_FALSE when none was).
    static HRESULT Clear();
    // The path set, or empty.
    static std::wstring Get();
    // The answers of the report set, or null when none is set or its file
    // holds no device call.
    static std::shared_ptr<SimAnswerScript> Load();
};
