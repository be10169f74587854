// The report a Wine prefix replays (simreg replay-report): the path of its
// device-calls.txt under HKEY_CURRENT_USER\Software\TesselSim\Replay, value
// "DeviceCalls". TesselSim.dll reads it once, before it creates its first
// object, and every simulated device then answers as the user's tuner did.
// What the prefix had before the first replay (its simulated tuners and
// channel sources) is kept below it, in Before\Tuners (one string list per
// tuner: name, path, class) and Before\Channels (the sources' values), so
// that ending the replay puts it back. Windows only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "sim/SimAnswerScript.h"

class SimReplayRegistry {
public:
    // `deviceCalls`: the full path of a report's device-calls.txt.
    static HRESULT Set(const std::wstring& deviceCalls);
    // No report replayed any more (S_FALSE when none was); what was kept
    // from before goes too.
    static HRESULT Clear();
    // Keeps the prefix's simulated tuners and channel sources, unless they
    // are kept already (a replay follows another: the first one's "before"
    // is what ending them goes back to).
    static HRESULT KeepSetup();
    // Puts back the tuners and channel sources KeepSetup kept and replays no
    // report any more; S_FALSE (and nothing changed but the report) when
    // nothing was kept.
    static HRESULT RestoreSetup();
    // The path set, or empty.
    static std::wstring Get();
    // The answers of the report set, or null when none is set or its file
    // holds no device call.
    static std::shared_ptr<SimAnswerScript> Load();
};
